// The program's entry and its one way out.

#include "app.h"

#include "audio/audio.h"
#include "library/library.h"
#include "platform/gui.h"
#include "platform/platform.h"
#include "resources.h"

#include <csignal>
#include <cstdlib>
#include <cstring>

// --- state: main thread
std::vector<std::string> LaunchFiles;
bool ChooseDeviceAtStart = false;
// --- end of state

namespace {

// The stop icon and the system-modal flag of the check messages (Windows' 0x1010); the layer shows
// every box modal and above the other windows.
constexpr uint32_t SystemStop = MessageIconStop | 0x1000;

} // namespace

void Shutdown() {
    ReleaseMprisName();
    // No thread outlives the program, and the card goes back to the desktop's sound server.
    CloseOutputAtExit();
    FreeGui();
    UnbindEngine();
    ReleasePlaybackMemory();
    std::exit(0);
}

void RunProgram(int argc, char **argv) {
    // Under a file size limit (ulimit -f) a write past it would end the program by SIGXFSZ; ignored,
    // the write fails with EFBIG and is reported like any failed write of the list files.
    std::signal(SIGXFSZ, SIG_IGN);
    std::vector<char *> names;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--choose-device") == 0)
            ChooseDeviceAtStart = true;
        else
            names.push_back(argv[i]);
    }
    LaunchFiles = LocalPathsOfArguments(int(names.size()), names.data());
    // Windows, drawing, images and fonts. Without a display nothing can be shown: the reason goes to
    // standard error.
    if (!InitGui()) {
        MessageBox("System", "Cannot open the display", SystemStop);
        Shutdown();
    }

    if (!ProcessorsSufficient(MachineProcessorCount(), ProcessProcessorCount())) {
        MessageBox("System", "Slow system #B (CPU count)", SystemStop);
        Shutdown();
    }
    uint64_t total = 0, available = 0;
    MemoryStatus(total, available); // a failed query reads 0 bytes and so fails the check
    if (!MemorySufficient(total, available)) {
        MessageBox("System", "Slow system #C (memory status)", SystemStop);
        Shutdown();
    }

    // Another player of the family owns the engine files and the device: leave without a word,
    // before anything is written. The files it was started with (a double-click in a file manager)
    // go to that player.
    if (AnotherPlayerRunning()) {
        HandFilesToRunningPlayer(LaunchFiles);
        Shutdown();
    }

    // Linux: the engine goes to the XDG data folder (LocalAppDataFolder) + "Tonmark/tm20/", in place
    // of the local application data folder; an unknown home leaves the paths relative.
    std::string base = LocalAppDataFolder();
    if (!base.empty() && base.back() != '/') base += '/';
    const BindResult bound = BindEngine(DeployEngineLibraries(base));
    if (bound != BindOk) {
        MessageBox("Zentra", BindErrorText(bound), MessageIconStop);
        Shutdown();
    }

    // Linux: "Lucida Calligraphy" is TeX Gyre Chorus, carried in the executable, registered for this
    // process only and asked for under the Windows name through a private alias; the other Windows
    // faces are aliased to free ones. A failure leaves the system's substitutes.
    const ResourceBytes font = Resource(ResCalligraphyFont);
    RegisterPrivateFont(font.data, font.size);
    AddFontAliases("TeX Gyre Chorus");

    // The transport's state (audio/) and the model containers (the play lists, PlaylistNames,
    // LibraryOne, the drive menu; library/) are program-wide objects that exist, empty, from the start.

    RunVisibleStart();
    Shutdown();
}
