// libFuzzer target for the DSD reader: the input, behind a fixed 4-byte magic ("DSD " for the DSF
// target, "FRM8" for the DFF one, "wvpk" for the WavPack one, so that each stays inside its format), is
// opened for playback and
// for probing and read to its end, as the program would: once as a memory stream and once as a file
// (a file in memory opened by its path), which reads through pread and the stream's scratch buffer.
//
// The input sits in a block of exactly its size, so the sanitizers catch any read past it. Besides
// crashes, a stream that delivers other than its length, or more than the file could hold, a refusal
// with a code other than 41/44, or a file stream that delivers other bytes than the memory stream of
// the same file, stops the run. A WavPack stream may end in a read error (a damaged block is found
// only when it is decoded), and compresses: its length is not bounded by the file's size, so only its
// first MaxWavPackRead bytes are read.

#include "tavd.h"
#include "tavo.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <sys/mman.h>
#include <unistd.h>

#if defined(FUZZ_DSF)
#define FUZZ_MAGIC "DSD "
#elif defined(FUZZ_DFF)
#define FUZZ_MAGIC "FRM8"
#elif defined(FUZZ_WV)
#define FUZZ_MAGIC "wvpk"
#else
#error "define FUZZ_DSF, FUZZ_DFF or FUZZ_WV"
#endif

namespace {

constexpr uint32_t Play = 0x80200210;
constexpr uint32_t Probe = 0x80200000;
#ifdef FUZZ_WV
constexpr bool WavPack = true;
#else
constexpr bool WavPack = false;
#endif
constexpr uint64_t MaxWavPackRead = 4 << 20;

void Check(bool ok) {
    if (!ok) abort();
}

// What a stream delivered: whether it opened (else the refusal's code), its length, and a hash of
// every byte read.
struct Outcome {
    bool opened = false;
    int code = 0;
    uint64_t length = 0;
    uint64_t hash = 14695981039346656037u;

    bool operator==(const Outcome &) const = default;
};

void Hash(Outcome &o, const uint8_t *p, size_t n) {
    for (size_t i = 0; i < n; ++i) o.hash = (o.hash ^ p[i]) * 1099511628211u;
}

// `file` is the memory block (mem = 1) or a path (mem = 0).
Outcome Exercise(int mem, const void *file, size_t size, uint32_t flags) {
    Outcome o;
    TavoHandle h = Tavd_DSD_StreamCreateFile(mem, file, 0, mem ? size : 0, flags, 0);
    if (!h) {
        o.code = Tavo_ErrorGetCode();
        Check(o.code == TAVO_ERROR_FILEFORM || o.code == TAVO_ERROR_CODEC);
        return o;
    }
    o.opened = true;
    uint64_t length = o.length = Tavo_ChannelGetLength(h, 0);
    // Two bytes out per byte of a channel: even a doubled mono file gives at most twice its size.
    Check(WavPack || length <= 2 * uint64_t{size});
    float rate = 0, freq = 0;
    Check(Tavo_ChannelGetAttribute(h, TAVO_ATTRIB_DSDRATE, &rate) == 1);
    Check(Tavo_ChannelGetAttribute(h, TAVO_ATTRIB_FREQ, &freq) == 1);
    Check(rate >= 2'822'400 && freq * 32 == rate);

    static uint8_t buf[1 << 16];
    if (!(flags & TAVO_DSD_RAW)) {
        Check(Tavo_ChannelGetData(h, buf, sizeof buf) == -1 && Tavo_ErrorGetCode() == TAVO_ERROR_NOTAVAIL);
    } else {
        uint64_t total = 0;
        const uint64_t limit = WavPack ? std::min(length, MaxWavPackRead) : length;
        bool failed = false;
        for (uint32_t request = 4099; total < limit || !WavPack;
             request = request == 4099 ? sizeof buf : 4099) {
            int32_t got = Tavo_ChannelGetData(h, buf, request);
            if (WavPack && got == -1) {
                Check(Tavo_ErrorGetCode() == TAVO_ERROR_FILEOPEN);
                failed = true;
                break;
            }
            Check(got >= 0 && got % 2 == 0);
            if (got == 0) break;
            Hash(o, buf, size_t(got));
            total += static_cast<uint64_t>(got);
        }
        Check(failed || total == limit);
        if (WavPack && limit < length) {
            Tavo_StreamFree(h);
            return o;
        }
        // Back to the middle, and on to the end again.
        uint64_t middle = length / 4 * 2;
        if (Tavo_ChannelSetPosition(h, middle, 0) != 1) {
            Check(WavPack && Tavo_ErrorGetCode() == TAVO_ERROR_FILEOPEN);
        } else {
            total = middle;
            int32_t got;
            while ((got = Tavo_ChannelGetData(h, buf, sizeof buf)) > 0) {
                Hash(o, buf, size_t(got));
                total += static_cast<uint64_t>(got);
            }
            Check(WavPack ? got == 0 || got == -1 : total == length);
        }
    }
    Tavo_StreamFree(h);
    return o;
}

// A file in memory for the file streams, opened by its path as the program opens a track.
int FileInMemory() {
    static const int fd = memfd_create("fuzz_dsd", MFD_CLOEXEC);
    Check(fd >= 0);
    return fd;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    static const bool ready = Tavo_Init(0, 44100, 0, nullptr, nullptr) == 1;
    Check(ready);
    std::unique_ptr<uint8_t[]> file(new uint8_t[4 + size]);
    memcpy(file.get(), FUZZ_MAGIC, 4);
    if (size) memcpy(file.get() + 4, data, size);
    const int fd = FileInMemory();
    static const std::string path = "/proc/self/fd/" + std::to_string(fd);
    Check(ftruncate(fd, 0) == 0 && pwrite(fd, file.get(), 4 + size, 0) == ssize_t(4 + size));
    for (uint32_t flags : {Play, Probe})
        Check(Exercise(1, file.get(), 4 + size, flags) == Exercise(0, path.c_str(), 4 + size, flags));
    return 0;
}
