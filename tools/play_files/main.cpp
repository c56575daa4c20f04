// play_files DEVICE [FILE...] [--list2 FILE...]
//
// The developers' harness: starts the engine as the program does, opens the output device DEVICE
// (its name as the output host lists it, or its ALSA PCM name), probes FILEs into List 1 and those
// after --list2 into List 2, plays from the start, and exits 0 once playback has ended by itself and
// the player is idle again. Exits 1, with the reason on standard error, when playback cannot start;
// 2 for a wrong command line or a missing engine; 3 when the output ran dry before the data ended.
// There is no window: the display table holds only PostFinish, through which the audio thread asks
// for the end, and ShowMessage, which prints the messages.

#include "audio/audio.h"
#include "audio/internal.h"
#include "library/library.h"
#include "library/settings.h"
#include "platform/files.h"

#include <atomic>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace {

std::atomic<bool> FinishAsked{false};
std::vector<std::string> Reasons; // the message boxes shown, main thread

bool PostFinish() {
    FinishAsked.store(true, std::memory_order_release);
    return true;
}
void PrintMessage(const std::string &title, const std::string &text, uint32_t) {
    Reasons.push_back(title + ": " + text);
    std::fprintf(stderr, "play_files: %s: %s\n", title.c_str(), text.c_str());
}
const PlaybackDisplay NoWindow = {.PostFinish = PostFinish, .ShowMessage = PrintMessage};

bool BindFromAnywhere() {
    const std::string here = ExecutableFolder();
    for (const std::string &folder :
         {here + "../engine/", here + "engine/", LocalAppDataFolder() + "Tonmark/tm20/"})
        if (BindEngine(folder) == BindOk) return true;
    return false;
}

// The device's number, matched against its listed name or its ALSA name; -1 when not listed.
int FindDevice(const std::string &wanted) {
    TavaDeviceInfo info;
    for (uint32_t n = 0; EngineFn.Tava_ASIO_GetDeviceInfo(n, &info); ++n)
        if (wanted == info.name || wanted == info.driver) return static_cast<int>(n);
    return -1;
}

// Which DSD rates the device plays, tested as the start-up's saved-device check does.
void ReadDeviceCaps(int device) {
    DeviceCaps = DeviceRecord{};
    DeviceCaps.Number = static_cast<uint8_t>(device);
    TavaDeviceInfo info;
    if (EngineFn.Tava_ASIO_GetDeviceInfo(static_cast<uint32_t>(device), &info)) DeviceCaps.Name = info.name;
    if (!EngineFn.Tava_ASIO_Init(device, 0)) return;
    if (EngineFn.Tava_ASIO_SetDSD(1)) {
        for (size_t i = 0; i < std::size(DsdRates) && EngineFn.Tava_ASIO_CheckRate(DsdRates[i]); ++i)
            DeviceCaps.Dsd[i] = 1;
        EngineFn.Tava_ASIO_SetDSD(0);
    }
    EngineFn.Tava_ASIO_Free();
}

int Fail(int code, const std::string &why) {
    std::fprintf(stderr, "play_files: %s\n", why.c_str());
    return code;
}

} // namespace

int main(int argc, char **argv) {
    if (argc < 2) return Fail(2, "usage: play_files DEVICE [FILE...] [--list2 FILE...]");
    std::vector<std::string> list1, list2;
    bool second = false;
    for (int i = 2; i < argc; ++i) {
        if (std::strcmp(argv[i], "--list2") == 0)
            second = true;
        else
            (second ? list2 : list1).push_back(argv[i]);
    }

    if (!BindFromAnywhere())
        return Fail(2, "the engine libraries are not in ../engine/, engine/ or the data folder");
    if (!ReservePlaybackMemory()) return Fail(2, "cannot reserve the playback memory");
    Display = &NoWindow;

    // The engine as the event loop opens it.
    EngineFn.Tava_ASIO_SetUnicode(1);
    EngineFn.Tavo_SetConfig(42, 1);
    const int device = FindDevice(argv[1]);
    if (device < 0) return Fail(1, std::string("no such device: ") + argv[1]);
    ReadDeviceCaps(device);
    OutputDevice = device;
    OutputChannel = 0;
    ViewCover = 0;
    EngineFn.Tavo_Init(0, 44'100, 0x1000, nullptr, nullptr);
    EngineFn.Tavo_SetDevice(0);
    EngineFn.Tavo_SetConfig(1, 0);
    if (!EngineFn.Tava_ASIO_Init(OutputDevice, 1) || !EngineFn.Tava_ASIO_SetDSD(1))
        return Fail(1, std::string("cannot open ") + argv[1] + " for DSD (engine error " +
                           std::to_string(EngineFn.Tava_ASIO_ErrorGetCode()) + ")");

    // The lists, through the probe and the append of the list model.
    for (int list : {1, 2}) {
        for (const std::string &path : list == 1 ? list1 : list2) {
            const ProbedTrack probe = ProbeTrack(path, ExtensionOf(path));
            if (probe && AppendEntry(list, probe.Entry) >= 0)
                AcceptRunRate(probe.Entry);
            else
                std::fprintf(stderr, "play_files: refused: %s\n", path.c_str());
        }
    }

    if (!StartPlayback({1, 0}, false)) {
        const std::string why = Reasons.empty() ? "nothing to play" : Reasons.back();
        EngineFn.Tava_ASIO_Free();
        return Fail(1, "playback did not start: " + why);
    }
    int result = 0;
    while (!PlaybackIdle()) {
        // Like timer 119, the request stands until playback has ended: FinishPlayback does nothing
        // while the audio thread is still on its way out.
        if (FinishAsked.load(std::memory_order_acquire)) FinishPlayback();
        // What the view's refresh does when the output runs out while the decoder still delivers.
        if (Memory.OutputDry.load(std::memory_order_acquire) == 1 &&
            Transport.PlayState.load(std::memory_order_acquire) != 2) {
            result = Fail(3, "the output ran dry while the tracks were still being read");
            TransportStop();
        }
        SleepMs(20);
    }
    EngineFn.Tava_ASIO_Free();
    EngineFn.Tavo_Free();
    ReleasePlaybackMemory();
    UnbindEngine();
    return result;
}
