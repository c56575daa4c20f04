// Sound cards: the card of a hardware PCM name, and who holds a playback device open, from the
// kernel's ALSA files under /proc/asound.

#include "platform/files.h"
#include "platform/system.h"

#include <unistd.h>

#include <charconv>
#include <string_view>

namespace {

// A whole decimal number of at most nine digits (card, device and process numbers), else -1.
int SmallNumber(std::string_view text) {
    int value = -1;
    if (text.empty() || text.size() > 9) return -1;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    return error == std::errc{} && end == text.data() + text.size() ? value : -1;
}

// A card given by number or by id ("PCH", "DAC"): proc + "asound/<id>" is the kernel's link to
// "card<N>".
int CardNumber(std::string_view value, const std::string &proc) {
    if (value.size() >= 2 && value.front() == '"' && value.back() == '"')
        value = value.substr(1, value.size() - 2);
    if (const int n = SmallNumber(value); n >= 0) return n;
    if (value.empty() || value.find('/') != std::string_view::npos || value == "." || value == "..")
        return -1;
    char link[64];
    const ssize_t n = readlink((proc + "asound/" + std::string(value)).c_str(), link, sizeof link - 1);
    if (n <= 0) return -1;
    const std::string_view target(link, static_cast<size_t>(n));
    return target.starts_with("card") ? SmallNumber(target.substr(4)) : -1;
}

// The owner's process id of one substream's status text, 0 when it is closed.
int OwnerPid(std::string_view status) {
    constexpr std::string_view key = "owner_pid";
    for (size_t at = 0; at < status.size();) {
        size_t end = status.find('\n', at);
        if (end == std::string_view::npos) end = status.size();
        std::string_view line = status.substr(at, end - at);
        at = end + 1;
        if (!line.starts_with(key)) continue;
        const size_t colon = line.find(':');
        if (colon == std::string_view::npos) continue;
        line.remove_prefix(colon + 1);
        while (!line.empty() && line.front() == ' ') line.remove_prefix(1);
        while (!line.empty() && (line.back() == ' ' || line.back() == '\r')) line.remove_suffix(1);
        const int pid = SmallNumber(line);
        return pid > 0 ? pid : 0;
    }
    return 0;
}

} // namespace

HardwarePcm ParseHardwarePcm(const std::string &pcm, const std::string &proc) {
    constexpr std::string_view prefix = "hw:";
    std::string_view args(pcm);
    if (!args.starts_with(prefix)) return {};
    args.remove_prefix(prefix.size());
    // Arguments by name (CARD=, DEV=, SUBDEV=) or by position (card, device, subdevice).
    std::string_view card, device;
    for (int position = 0; !args.empty(); ++position) {
        const size_t comma = args.find(',');
        std::string_view arg = args.substr(0, comma);
        args = comma == std::string_view::npos ? std::string_view{} : args.substr(comma + 1);
        if (arg.starts_with("CARD="))
            card = arg.substr(5);
        else if (arg.starts_with("DEV="))
            device = arg.substr(4);
        else if (arg.find('=') != std::string_view::npos)
            continue; // SUBDEV= and the like
        else if (position == 0)
            card = arg;
        else if (position == 1)
            device = arg;
    }
    HardwarePcm hw;
    hw.Card = CardNumber(card, proc);
    hw.Device = device.empty() ? 0 : SmallNumber(device);
    if (hw.Card < 0 || hw.Device < 0) return {};
    return hw;
}

DeviceHolder SoundDeviceHolder(int card, int device, const std::string &proc) {
    DeviceHolder holder;
    if (card < 0 || device < 0) return holder;
    const std::string pcm =
        proc + "asound/card" + std::to_string(card) + "/pcm" + std::to_string(device) + "p/sub";
    std::string status;
    // The substreams are numbered from 0 without gaps; a hardware device is busy once all are open.
    for (int sub = 0; sub < 64 && ReadFileWhole(pcm + std::to_string(sub) + "/status", status, 1 << 16);
         ++sub) {
        holder.Pid = OwnerPid(status);
        if (holder.Pid == 0) continue;
        if (ReadFileWhole(proc + std::to_string(holder.Pid) + "/comm", holder.Name, 4096) &&
            !holder.Name.empty() && holder.Name.back() == '\n')
            holder.Name.pop_back();
        return holder;
    }
    return holder;
}
