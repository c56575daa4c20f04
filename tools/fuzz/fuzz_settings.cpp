// libFuzzer target of the settings file "lp.is": the input, as it is and behind the file's magic, is
// written as the file and read by the program's own start-up reader (ReadSettingsFile).
//
// Besides crashes, the run stops when the reader loads a file without the magic or refuses one with
// it, changes the saved state on a refusal, returns a device name holding a line end or longer than
// the file could hold, or reads values that do not come back through the writer.

#include "fuzz_files.h"
#include "library/library.h"
#include "library/settings.h"
#include "platform/text.h"

#include <cstring>
#include <string>

namespace {

void ReadAsSettings(const std::string &bytes) {
    FuzzWriteFile(ListFolder + SettingsFileName, reinterpret_cast<const uint8_t *>(bytes.data()),
                  bytes.size());
    const std::array<uint8_t, 7> stale = {1, 2, 3, 4, 5, 6, 7};
    Saved.DeviceName = "stale";
    Saved.Values = stale;
    ReadSettingsFile();

    const uint8_t magic[4] = {0x99, 0x3C, 0x34, 0x01};
    const bool ours = bytes.size() >= 5 && memcmp(bytes.data(), magic, 4) == 0;
    FuzzCheck(Saved.Loaded == ours, "the magic does not decide whether the file loads");
    if (!Saved.Loaded) {
        FuzzCheck(Saved.DeviceName == "stale" && Saved.Values == stale,
                  "a refused file changed the saved state");
        return;
    }
    FuzzCheck(!HasLineEnd(Saved.DeviceName), "the device name holds a line end");
    FuzzCheck(ToUtf16(Saved.DeviceName).size() <= (bytes.size() - 4) / 2,
              "the device name is longer than the file");
    std::string name;
    std::array<uint8_t, 7> values{};
    FuzzCheck(DecodeSettings(EncodeSettings(Saved.DeviceName, Saved.Values), name, values) &&
                  name == Saved.DeviceName && values == Saved.Values,
              "the settings do not come back through the writer");
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    if (ListFolder.empty()) ListFolder = FuzzFolder();
    const std::string input(reinterpret_cast<const char *>(data), size);
    ReadAsSettings(input);
    ReadAsSettings(std::string("\x99\x3C\x34\x01", 4) + input);
    return 0;
}
