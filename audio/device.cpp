// The output device: listing, probing, opening and closing, and the engine's configuration at
// start-up.

#include "audio.h"

#include "library/settings.h"
#include "platform/reserve.h"

namespace {

// The name of output device n as the output library lists it: false past the last device, and for
// the devices from MaxDevices on, which the library is not asked about.
bool OutputDeviceName(int n, std::string &name) {
    if (n < 0 || n >= MaxDevices) return false;
    TavaDeviceInfo info{};
    if (!EngineFn.Tava_ASIO_GetDeviceInfo(uint32_t(n), &info)) return false;
    name = info.name ? info.name : "";
    return true;
}

} // namespace

void ConfigureEngine() {
    // Wide-character texts: accepted by the engine, whose texts are UTF-8 anyway.
    EngineFn.Tava_ASIO_SetUnicode(1);
    EngineFn.Tavo_SetConfig(42, 1);
}

bool ProbeDsdRates(int n, std::array<uint8_t, 4> &dsd, int pair) {
    dsd = {};
    // Linux: the desktop's sound server lends us the card for the probe.
    ReserveDeviceCard(n);
    const bool opened = EngineFn.Tava_ASIO_Init(n, 0) != 0;
    // Enabling a channel without a procedure only asks whether the pair fits the device's channels.
    const bool fits =
        opened && (pair < 0 || EngineFn.Tava_ASIO_ChannelEnable(0, uint32_t(pair), nullptr, nullptr));
    if (fits && EngineFn.Tava_ASIO_SetDSD(1)) {
        for (size_t i = 0; i < dsd.size() && EngineFn.Tava_ASIO_CheckRate(DsdRates[i]); ++i) dsd[i] = 1;
        EngineFn.Tava_ASIO_SetDSD(0);
    }
    EngineFn.Tava_ASIO_Free();
    ReleaseSoundCard();
    return opened;
}

bool ListOutputDevice(int n, DeviceRecord &row, std::string &busy_note) {
    row = {};
    busy_note.clear();
    if (!OutputDeviceName(n, row.Name)) return false;
    row.Number = uint8_t(n);
    // Linux: a device another program holds says which.
    if (!ProbeDsdRates(n, row.Dsd)) busy_note = DeviceBusyNote(n);
    return true;
}

bool CheckSavedDevice() {
    if (!SavedValuesInRange()) return false;
    std::string name;
    for (int n = 0; OutputDeviceName(n, name); ++n) {
        if (name != Saved.DeviceName) continue;
        DeviceRecord caps;
        caps.Number = uint8_t(n);
        caps.Name = Saved.DeviceName;
        if (!ProbeDsdRates(n, caps.Dsd, Saved.Values[0])) return false;
        if (caps.Dsd[0] != Saved.Values[1] || caps.Dsd[1] != Saved.Values[2] ||
            caps.Dsd[2] != Saved.Values[3])
            return false;
        DeviceCaps = caps;
        OutputDevice = n;
        return true;
    }
    return false;
}

bool OpenOutput() {
    // The core decodes without a sound device of its own (it takes no window: nullptr); the output
    // goes through the output library.
    EngineFn.Tavo_Init(0, 44'100, 0x1000, nullptr, nullptr);
    EngineFn.Tavo_SetDevice(0);
    EngineFn.Tavo_SetConfig(1, 0);
    // Linux: the desktop's sound server lends us the card for the whole run; CloseOutputAtExit gives
    // it back.
    ReserveDeviceCard(OutputDevice);
    return EngineFn.Tava_ASIO_Init(OutputDevice, 1) && EngineFn.Tava_ASIO_SetDSD(1);
}

void CloseOutputDevice() {
    if (EngineFn.Tava_ASIO_Free) EngineFn.Tava_ASIO_Free();
}

void CloseEngineCore() {
    EngineFn.Tavo_Free();
}

void AbandonOutput() {
    EndAudioThread();
    // A stopped and freed output reports that it no longer runs; the bound keeps a broken one from
    // holding the program forever.
    for (int tries = 0; tries < 3 && EngineFn.Tava_ASIO_IsStarted() == 1; ++tries) {
        EngineFn.Tava_ASIO_Stop();
        EngineFn.Tava_ASIO_Free();
    }
    CloseEngineCore();
}

void CloseOutputAtExit() {
    // No thread outlives the program: one still running is asked to end and waited for.
    EndAudioThread();
    // The card goes back to the desktop's sound server once our device is closed.
    CloseOutputDevice();
    ReleaseSoundCard();
}
