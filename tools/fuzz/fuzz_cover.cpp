// libFuzzer target of the cover pictures: the input is written as a picture file and loaded as the
// turntable loads a cover (LoadImageFile: PNG through libpng, JPEG through libjpeg, behind our error
// handling). No display is opened: decoding makes cairo image surfaces only.
//
// Besides crashes and leaks, the run stops when a picture loads with a size the loader must refuse,
// or when a failed load leaves an image behind.

#include "fuzz_files.h"
#include "platform/gui.h"

#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    static const std::string path = FuzzFolder() + "cover";
    constexpr int Cover = 1;
    FuzzWriteFile(path, data, size);
    if (LoadImageFile(Cover, path)) {
        const int w = ImageWidth(Cover), h = ImageHeight(Cover);
        FuzzCheck(w > 0 && h > 0 && w <= 16384 && h <= 16384 && int64_t(w) * h <= int64_t(1) << 26,
                  "a picture of a size the loader refuses was loaded");
        FreeImage(Cover);
    }
    FuzzCheck(!IsImage(Cover), "a failed load left an image behind");
    return 0;
}
