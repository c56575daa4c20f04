// The settings file "lp.is": the device, channel and display options saved between runs.

#include "settings.h"

#include "library.h"
#include "platform/platform.h"

#include <unistd.h>

// --- state: main thread, written during start-up, read afterwards
DeviceRecord DeviceCaps;
int OutputDevice = 0;
uint8_t OutputChannel = 0;
uint8_t ViewCover = 2;
uint8_t CoverTrack = 0;
uint8_t BlendPicture = 1;

SavedState Saved{};
// --- end of state

namespace {

// A settings file holds one short name and eight bytes; anything this large is not ours.
constexpr size_t MaxSettingsFileSize = 64 * 1024;

void PutUnit(std::string &out, uint16_t unit) {
    out += char(unit & 0xFF);
    out += char(unit >> 8);
}

} // namespace

bool SavedValuesInRange() {
    const auto &v = Saved.Values;
    return v[1] == 1 && v[2] <= 1 && v[3] <= 1 && v[4] <= 2 && v[5] <= 1 && v[6] <= 1;
}

std::string EncodeSettings(std::string_view device_name, const std::array<uint8_t, 7> &values) {
    std::string out;
    const uint32_t magic = uint32_t(SettingsMagic);
    for (int i = 0; i < 4; ++i) out += char((magic >> (8 * i)) & 0xFF);
    for (char16_t unit : ToUtf16(device_name)) PutUnit(out, unit);
    PutUnit(out, u'\r');
    PutUnit(out, u'\n');
    for (uint8_t v : values) out += char(v);
    out += char(0xFF);
    return out;
}

bool DecodeSettings(std::string_view bytes, std::string &device_name, std::array<uint8_t, 7> &values) {
    if (bytes.size() < 5) return false;
    auto byte = [&](size_t i) -> uint32_t { return static_cast<unsigned char>(bytes[i]); };
    const uint32_t magic = byte(0) | byte(1) << 8 | byte(2) << 16 | byte(3) << 24;
    if (magic != uint32_t(SettingsMagic)) return false;

    size_t pos = 4;
    auto unit_at = [&](size_t i) -> char16_t { return char16_t(byte(i) | byte(i + 1) << 8); };
    std::u16string name;
    bool ended = false;
    while (!ended && pos + 1 < bytes.size()) {
        const char16_t unit = unit_at(pos);
        pos += 2;
        if (unit == u'\r') {
            if (pos + 1 < bytes.size() && unit_at(pos) == u'\n') pos += 2;
            ended = true;
        } else if (unit == u'\n' || unit == 0) {
            ended = true;
        } else {
            name += unit;
        }
    }
    // A name without its line end runs to the end of the file; an odd last byte is half a code unit.
    if (!ended) pos = bytes.size();

    device_name = FromUtf16(name);
    for (uint8_t &v : values) v = pos < bytes.size() ? uint8_t(byte(pos++)) : 0;
    return true;
}

void EstablishListFolder(const std::string &folder) {
    ListFolder = folder + "lpli/";
    if (!IsDirectory(ListFolder)) CreateFolder(ListFolder);
}

void EstablishListFolder(const std::string &program_folder, const std::string &data_folder) {
    // Portable use: lpli/ stays beside the executable when it is there and writable, or can be made.
    // Writability is found by trying (access on one already there, else making it), which also
    // answers right for a read-only mount.
    // /usr (not /usr/local) belongs to the package manager, which removes the package whole: the
    // lists never go there, even for root, who could write it.
    const bool packaged =
        program_folder.rfind("/usr/", 0) == 0 && program_folder.rfind("/usr/local/", 0) != 0;
    const std::string beside = program_folder + "lpli/";
    if (!packaged && (IsDirectory(beside) ? access(beside.c_str(), W_OK) == 0 : CreateFolder(beside))) {
        ListFolder = beside;
        return;
    }
    // An installed program: the user's data folder, made with its parents on first use.
    const std::string base = data_folder + "Tonmark/tm20/";
    for (size_t slash = base.find('/', 1); slash != std::string::npos; slash = base.find('/', slash + 1)) {
        const std::string folder = base.substr(0, slash);
        if (!IsDirectory(folder)) CreateFolder(folder);
    }
    EstablishListFolder(base);
}

void ReadSettingsFile() {
    Saved.Loaded = false;
    const std::string path = ListFolder + SettingsFileName;
    if (FileSize(path) < 5) return; // missing (-1), a folder (-2) or too short to hold anything
    std::string bytes;
    if (!ReadFileWhole(path, bytes, MaxSettingsFileSize)) return;
    Saved.Loaded = DecodeSettings(bytes, Saved.DeviceName, Saved.Values);
}

void LoadSettings() {
    // Linux: ListFolder lies beside the executable as on Windows ("<exe folder>/lpli/", the folder
    // found through /proc/self/exe) when that folder can be written; an installed program's lists go
    // to the XDG data folder instead.
    EstablishListFolder(ExecutableFolder(), LocalAppDataFolder());
    ReadSettingsFile();
    SleepMs(20);
}

WriteResult SaveSettings() {
    const std::array<uint8_t, 7> values = {OutputChannel,     DeviceCaps.Dsd[0], DeviceCaps.Dsd[1],
                                           DeviceCaps.Dsd[2], ViewCover,         CoverTrack,
                                           BlendPicture};
    const std::string bytes = EncodeSettings(DeviceCaps.Name, values);
    // Linux: the Windows program truncates the old file and writes into it; here the bytes go to a
    // new file that replaces the old one whole, so that a failed write never leaves a truncated one.
    const std::string path = ListFolder + SettingsFileName;
    const WriteResult result =
        WriteFileWhole(path, bytes.data(), bytes.size()) ? WriteResult{} : WriteFailure(path);
    SleepMs(20);
    return result;
}
