// The output device's sound card: taken from the desktop's sound server before the device is opened,
// and the process named that holds a device that could not be opened.

#include "audio.h"

#include "platform/reserve.h"
#include "platform/system.h"

#include <unistd.h>

namespace {

constexpr const char *ApplicationName = "Groovestone DSD";

// The card and device of output device n: a hardware PCM's, else card -1.
HardwarePcm DeviceCard(int n) {
    TavaDeviceInfo info{};
    if (n < 0 || !EngineFn.Tava_ASIO_GetDeviceInfo || !EngineFn.Tava_ASIO_GetDeviceInfo(uint32_t(n), &info) ||
        !info.driver)
        return {};
    return ParseHardwarePcm(info.driver);
}

} // namespace

bool ReserveDeviceCard(int n) {
    const HardwarePcm hw = DeviceCard(n);
    return hw.Card < 0 || ReserveSoundCard(hw.Card, ApplicationName);
}

std::string DeviceBusyNote(int n) {
    const HardwarePcm hw = DeviceCard(n);
    if (hw.Card < 0) return "";
    const DeviceHolder holder = SoundDeviceHolder(hw.Card, hw.Device);
    // Our own open device is no other program's doing.
    if (holder.Pid == 0 || holder.Pid == getpid()) return "";
    std::string note = "  (busy: ";
    if (!holder.Name.empty()) note += holder.Name + ", ";
    return note + "pid " + std::to_string(holder.Pid) + ")";
}
