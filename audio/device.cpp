// The output device: listing, probing, opening and closing, and the engine's configuration at
// start-up.

#include "audio.h"

#include "library/settings.h"
#include "platform/reserve.h"

namespace {

// --- state: main thread
TavaRateInfo OutputRoute{}; // how the open output takes DSD 2.8 MHz; path NONE while none is open
double Volume = 1.0;        // the gain of an output that converts, as last set
// --- end of state

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

bool ProbeDsdRates(int n, std::array<uint8_t, 4> &dsd, int pair, TavaRateInfo *route) {
    dsd = {};
    TavaRateInfo first{};
    // Linux: the desktop's sound server lends us the card for the probe.
    ReserveDeviceCard(n);
    const bool opened = EngineFn.Tava_ASIO_Init(n, 0) != 0;
    // Enabling a channel without a procedure only asks whether the pair fits the device's channels.
    const bool fits =
        opened && (pair < 0 || EngineFn.Tava_ASIO_ChannelEnable(0, uint32_t(pair), nullptr, nullptr));
    if (fits && EngineFn.Tava_ASIO_SetDSD(1)) {
        for (size_t i = 0; i < dsd.size() && EngineFn.Tava_ASIO_CheckRate(DsdRates[i]); ++i) {
            TavaRateInfo info{};
            info.rate = DsdRates[i];
            // An output library that cannot say takes every rate natively, as before conversion existed.
            if (!EngineFn.Tava_ASIO_Future(TAVA_FUTURE_RATE_INFO, &info)) info.path = TAVA_PATH_NATIVE;
            if (i == 0) first = info;
            // A device keeps to one kind of output: one that plays DSD 2.8 MHz bit-perfect is not
            // offered the rates it could only convert.
            if ((info.path == TAVA_PATH_PCM) != (first.path == TAVA_PATH_PCM)) break;
            dsd[i] = 1;
        }
        EngineFn.Tava_ASIO_SetDSD(0);
    }
    EngineFn.Tava_ASIO_Free();
    ReleaseSoundCard();
    if (route) *route = dsd[0] ? first : TavaRateInfo{DsdRates[0], TAVA_PATH_NONE, 0, 0};
    return opened;
}

bool ListOutputDevice(int n, ListedDevice &device) {
    device = {};
    if (!OutputDeviceName(n, device.Row.Name)) return false;
    device.Row.Number = uint8_t(n);
    device.Opened = ProbeDsdRates(n, device.Row.Dsd, -1, &device.Route);
    // Linux: a device another program holds says which.
    if (!device.Opened) device.BusyNote = DeviceBusyNote(n);
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
    return OpenOutputDevice();
}

bool OpenOutputDevice() {
    OutputRoute = {};
    // Linux: the desktop's sound server lends us the card while the device is open; CloseOutputAtExit
    // or CloseOutputForChange gives it back.
    ReserveDeviceCard(OutputDevice);
    if (!EngineFn.Tava_ASIO_Init(OutputDevice, 1) || !EngineFn.Tava_ASIO_SetDSD(1)) return false;
    TavaRateInfo info{};
    info.rate = DsdRates[0];
    if (EngineFn.Tava_ASIO_Future(TAVA_FUTURE_RATE_INFO, &info)) OutputRoute = info;
    // The output library starts every output at full gain.
    if (OutputConverts() && Volume != 1.0) EngineFn.Tava_ASIO_Future(TAVA_FUTURE_VOLUME, &Volume);
    return true;
}

void CloseOutputForChange() {
    CloseOutputDevice();
    ReleaseSoundCard();
}

void ShowOutputError() {
    ShowEngineError(EngineFn.Tava_ASIO_ErrorGetCode());
}

bool OutputConverts() {
    return OutputRoute.path == TAVA_PATH_PCM;
}

double OutputVolume() {
    return OutputConverts() ? Volume : 1.0;
}

bool SetOutputVolume(double gain) {
    if (!OutputConverts()) return false;
    double clamped = gain < 0.0 ? 0.0 : gain > 1.0 ? 1.0 : gain;
    if (!EngineFn.Tava_ASIO_Future(TAVA_FUTURE_VOLUME, &clamped)) return false;
    Volume = clamped;
    return true;
}

void CloseOutputDevice() {
    OutputRoute = {};
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
