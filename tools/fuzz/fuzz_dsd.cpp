// libFuzzer target for the DSD reader: the input, behind a fixed 4-byte magic ("DSD " for the DSF
// target, "FRM8" for the DFF one, so that each stays inside its format), is opened as a memory stream
// for playback and for probing and read to its end, as the program would.
//
// The input sits in a block of exactly its size, so the sanitizers catch any read past it. Besides
// crashes, a stream that delivers other than its length, or more than the file could hold, or a
// refusal with a code other than 41/44, stops the run.

#include "tavd.h"
#include "tavo.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>

#if defined(FUZZ_DSF)
#define FUZZ_MAGIC "DSD "
#elif defined(FUZZ_DFF)
#define FUZZ_MAGIC "FRM8"
#else
#error "define FUZZ_DSF or FUZZ_DFF"
#endif

namespace {

constexpr uint32_t Play = 0x80200210;
constexpr uint32_t Probe = 0x80200000;

void Check(bool ok) {
    if (!ok) abort();
}

void Exercise(const uint8_t *file, size_t size, uint32_t flags) {
    TavoHandle h = Tavd_DSD_StreamCreateFile(1, file, 0, size, flags, 0);
    if (!h) {
        int code = Tavo_ErrorGetCode();
        Check(code == TAVO_ERROR_FILEFORM || code == TAVO_ERROR_CODEC);
        return;
    }
    uint64_t length = Tavo_ChannelGetLength(h, 0);
    // Two bytes out per byte of a channel: even a doubled mono file gives at most twice its size.
    Check(length <= 2 * uint64_t{size});
    float rate = 0, freq = 0;
    Check(Tavo_ChannelGetAttribute(h, TAVO_ATTRIB_DSDRATE, &rate) == 1);
    Check(Tavo_ChannelGetAttribute(h, TAVO_ATTRIB_FREQ, &freq) == 1);
    Check(rate >= 2'822'400 && freq * 32 == rate);

    static uint8_t buf[1 << 16];
    if (!(flags & TAVO_DSD_RAW)) {
        Check(Tavo_ChannelGetData(h, buf, sizeof buf) == -1 && Tavo_ErrorGetCode() == TAVO_ERROR_NOTAVAIL);
    } else {
        uint64_t total = 0;
        for (uint32_t request = 4099;; request = request == 4099 ? sizeof buf : 4099) {
            int32_t got = Tavo_ChannelGetData(h, buf, request);
            Check(got >= 0 && got % 2 == 0);
            if (got == 0) break;
            total += static_cast<uint64_t>(got);
        }
        Check(total == length);
        // Back to the middle, and on to the end again.
        uint64_t middle = length / 4 * 2;
        Check(Tavo_ChannelSetPosition(h, middle, 0) == 1);
        total = middle;
        for (int32_t got; (got = Tavo_ChannelGetData(h, buf, sizeof buf)) > 0;)
            total += static_cast<uint64_t>(got);
        Check(total == length);
    }
    Tavo_StreamFree(h);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    static const bool ready = Tavo_Init(0, 44100, 0, nullptr, nullptr) == 1;
    Check(ready);
    std::unique_ptr<uint8_t[]> file(new uint8_t[4 + size]);
    memcpy(file.get(), FUZZ_MAGIC, 4);
    if (size) memcpy(file.get() + 4, data, size);
    Exercise(file.get(), 4 + size, Play);
    Exercise(file.get(), 4 + size, Probe);
    return 0;
}
