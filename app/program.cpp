// The program's entry and its one way out.

#include "app.h"

#include "audio/audio.h"
#include "library/library.h"
#include "platform/gui.h"
#include "platform/platform.h"
#include "resources.h"

#include <csignal>
#include <cstdio>
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

// What --help prints, and an unknown option to standard error; the data folder's place follows it.
constexpr const char *Usage = R"(Usage: Groovestone-lp-dsd [OPTION]... [FILE... | FOLDER]
Play DSF, DFF and WavPack DSD recordings natively as DSD, bit-perfect and without gaps.

The files named (DSF, DFF or WV, as paths or file:// URIs) are added as a drop on List 1 adds them,
whatever view is shown; a single folder fills List 1 with its own music files. While a player runs, a
new start hands its files to that player and ends.

Options:
  --choose-device   open the device window, then the options, before the main window
  --help            print this text and exit
  --version         print the name and version and exit
  --                end the options: every argument after it is a file or folder

Keys of the main window:
  P                       play (while idle)
  Space                   pause and resume; play while idle
  N                       next track
  S                       stop
  Left / Right            seek 10 s back / forward in the track heard
  Up / Down               scroll the list panel by six rows
  Delete                  remove the selected entry (while idle)
  Ctrl+Up / Ctrl+Down     move the selected entry (while idle)
  Ctrl+C                  empty both lists

Lists and settings are kept in lpli/ beside the executable when its folder can be written;
otherwise in )";

void PrintUsage(FILE *to) {
    std::fputs(Usage, to);
    // The folder as this account resolves it; an unknown home leaves it relative.
    std::string base = LocalAppDataFolder();
    if (!base.empty() && base.back() != '/') base += '/';
    std::fprintf(to, "%sTonmark/tm20/lpli/.\n", base.c_str());
}

[[noreturn]] void PrintHelp() {
    PrintUsage(stdout);
    std::exit(0);
}

[[noreturn]] void PrintVersion() {
    std::printf("Groovestone DSD %s\n", GS_VERSION);
    std::exit(0);
}

// The command line's options, each applied as it is met. An option that needs the display or the
// settings only notes its wish here; RunProgram acts on it in its place.
struct CommandLineOption {
    const char *Name;
    void (*Apply)();
};
const CommandLineOption Options[] = {
    {"--choose-device", [] { ChooseDeviceAtStart = true; }},
    {"--help", PrintHelp},
    {"--version", PrintVersion},
};

// Applies the options and gives the arguments that name files or folders. "--" ends the options;
// a lone "-" is a name. An unknown option prints the usage to standard error and ends with 2.
std::vector<char *> ApplyOptions(int argc, char **argv) {
    std::vector<char *> names;
    bool options = true;
    for (int i = 1; i < argc; ++i) {
        char *arg = argv[i];
        if (!options || arg[0] != '-' || arg[1] == '\0') {
            names.push_back(arg);
            continue;
        }
        if (std::strcmp(arg, "--") == 0) {
            options = false;
            continue;
        }
        const CommandLineOption *option = nullptr;
        for (const CommandLineOption &o : Options)
            if (std::strcmp(arg, o.Name) == 0) option = &o;
        if (!option) {
            std::fprintf(stderr, "Groovestone-lp-dsd: unknown option '%s'\n", arg);
            PrintUsage(stderr);
            std::exit(2);
        }
        option->Apply();
    }
    return names;
}

} // namespace

void Shutdown(int code) {
    ReleaseMprisName();
    // No thread outlives the program, and the card goes back to the desktop's sound server.
    CloseOutputAtExit();
    FreeGui();
    UnbindEngine();
    ReleasePlaybackMemory();
    std::exit(code);
}

void RunProgram(int argc, char **argv) {
    // Under a file size limit (ulimit -f) a write past it would end the program by SIGXFSZ; ignored,
    // the write fails with EFBIG and is reported like any failed write of the list files.
    std::signal(SIGXFSZ, SIG_IGN);
    // The options come first: --help and --version need no display.
    std::vector<char *> names = ApplyOptions(argc, argv);
    LaunchFiles = LocalPathsOfArguments(int(names.size()), names.data());
    // Windows, drawing, images and fonts. Without a display nothing can be shown: the reason goes to
    // standard error, and the exit code says the player did not run.
    if (!InitGui()) {
        MessageBox("System", "Cannot open the display", SystemStop);
        Shutdown(1);
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
    // go to that player. The process names find a copy under one of the family's names; where a
    // session bus exists its player name finds one under any name, a copy renamed by its user.
    if (AnotherPlayerRunning() || !ClaimMprisName()) {
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
