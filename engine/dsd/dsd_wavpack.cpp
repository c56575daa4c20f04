// WavPack files holding DSD, decoded by libwavpack in its native DSD mode: each "sample" it returns is
// one byte of a channel, oldest bit most significant, whatever the layout of the DSF or DFF that was
// compressed. The library reads the source through our own callbacks, so a file and a block of memory
// are read alike, with pread and without a file position shared with anyone.
//
// Threads: as the rest of tavd.so, a WavPack stream is touched by one call at a time (the core
// serialises them); libwavpack keeps all its state in the context, so streams decode side by side.

#include "dsd.h"
#include "dsd_rates.h"
#include "tavo.h"

#include <wavpack/wavpack.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <new>

namespace {

// Samples handed to libwavpack per call, all channels together: the decoded ints (4 bytes each) stay
// in the processor's cache while they are picked into the stream's pairs.
constexpr uint32_t DecodeSamples = 64 * 1024;
constexpr uint32_t MaxChannels = 6;

// What the library reads through: a copy of the stream's source (the stream owns its file) and the
// read position, with the one byte that the library may push back.
struct Reader {
    DsdSource src;
    uint64_t pos = 0;
    int pushed = -1; // a byte pushed back, read before the source's; -1 for none
};

int32_t ReadBytes(void *id, void *data, int32_t count) {
    auto *r = static_cast<Reader *>(id);
    if (count <= 0) return 0;
    auto *out = static_cast<uint8_t *>(data);
    int32_t done = 0;
    if (r->pushed >= 0) {
        *out++ = static_cast<uint8_t>(r->pushed);
        r->pushed = -1;
        ++r->pos;
        if (++done == count) return done;
    }
    int64_t got = DsdSource_Read(&r->src, r->pos, out, static_cast<size_t>(count - done));
    if (got < 0) return done; // the library takes a short read as the end of the file
    r->pos += static_cast<uint64_t>(got);
    return done + static_cast<int32_t>(got);
}

int64_t GetPos(void *id) {
    return static_cast<int64_t>(static_cast<Reader *>(id)->pos);
}

int SetPosAbs(void *id, int64_t pos) {
    auto *r = static_cast<Reader *>(id);
    if (pos < 0 || static_cast<uint64_t>(pos) > r->src.size) return -1;
    r->pos = static_cast<uint64_t>(pos);
    r->pushed = -1;
    return 0;
}

int SetPosRel(void *id, int64_t delta, int mode) {
    auto *r = static_cast<Reader *>(id);
    const int64_t size = static_cast<int64_t>(r->src.size), pos = static_cast<int64_t>(r->pos);
    int64_t from = mode == SEEK_SET ? 0 : mode == SEEK_CUR ? pos : mode == SEEK_END ? size : -1;
    if (from < 0 || delta < -from || delta > size - from) return -1;
    return SetPosAbs(id, from + delta);
}

// Only the byte just read is ever pushed back.
int PushBackByte(void *id, int c) {
    auto *r = static_cast<Reader *>(id);
    if (r->pos == 0 || r->pushed >= 0) return EOF;
    --r->pos;
    r->pushed = c & 0xFF;
    return c;
}

int64_t GetLength(void *id) {
    return static_cast<int64_t>(static_cast<Reader *>(id)->src.size);
}
int CanSeek(void *) {
    return 1;
}
int32_t WriteBytes(void *, void *, int32_t) {
    return 0;
}
int TruncateHere(void *) {
    return -1;
}
int CloseSource(void *) {
    return 0; // the stream closes its source itself
}

WavpackStreamReader64 ReaderProcs = {ReadBytes,    WriteBytes, GetPos,  SetPosAbs,    SetPosRel,
                                     PushBackByte, GetLength,  CanSeek, TruncateHere, CloseSource};

} // namespace

struct DsdWavPack {
    Reader reader;
    WavpackContext *wpc = nullptr;
    uint32_t channels = 0;
    uint32_t left = 0, right = 0;
    int errors = 0;             // the library's count of damaged blocks when the stream was opened
    int32_t *decoded = nullptr; // DecodeSamples ints, for playback streams
};

bool Dsd_IsWavPack(const DsdSource *src) {
    uint8_t magic[4];
    return DsdSource_Read(src, 0, magic, 4) == 4 && memcmp(magic, "wvpk", 4) == 0;
}

int DsdWavPack_Open(const DsdSource *src, bool play, DsdLayout *layout, DsdWavPack **out,
                    const char **reason) {
    *out = nullptr;
    *reason = "out of memory";
    auto *wv = new (std::nothrow) DsdWavPack;
    if (!wv) return TAVO_ERROR_MEM;
    wv->reader.src = *src;
    char error[80] = "";
    wv->wpc = WavpackOpenFileInputEx64(&ReaderProcs, &wv->reader, nullptr, error, OPEN_DSD_NATIVE, 0);
    auto refuse = [wv, reason](int code, const char *why) {
        DsdWavPack_Close(wv);
        *reason = why;
        return code;
    };
    if (!wv->wpc) return refuse(TAVO_ERROR_FILEFORM, "the WavPack file is damaged");
    WavpackContext *wpc = wv->wpc;

    // Only DSD plays: a PCM file is refused as any file of another format is.
    const int channels = WavpackGetNumChannels(wpc);
    const uint32_t rate = WavpackGetNativeSampleRate(wpc);
    const int64_t samples = WavpackGetNumSamples64(wpc);
    if (!(WavpackGetQualifyMode(wpc) & QMODE_DSD_AUDIO) || WavpackGetBytesPerSample(wpc) != 1)
        return refuse(TAVO_ERROR_FILEFORM, "not a DSD file");
    if (channels < 1 || channels > static_cast<int>(MaxChannels) || !IsDsdRate(rate) || samples < 0)
        return refuse(TAVO_ERROR_FILEFORM, "its header is damaged or of a kind not supported");

    // Whole bytes: of a DSF whose last byte held fewer than 8 samples, `wavpack` keeps that byte and
    // not the count, so it is delivered here (a DSF's own reader leaves it out).
    const uint64_t frames = static_cast<uint64_t>(samples);

    // The header's count is only a promise: a file cut short must be refused now, as a DSF or DFF
    // shorter than its header says is, not stop in the middle of the track. Reaching the last byte
    // finds the last block and decodes it.
    if (frames > 0) {
        const char *cut = "the file is shorter than its header says";
        if (!WavpackSeekSample64(wpc, static_cast<int64_t>(frames - 1)))
            return refuse(TAVO_ERROR_FILEFORM, cut);
        int32_t last[MaxChannels];
        if (WavpackUnpackSamples(wpc, last, 1) != 1 || WavpackGetNumErrors(wpc) != 0 ||
            !WavpackSeekSample64(wpc, 0))
            return refuse(TAVO_ERROR_FILEFORM, cut);
    }
    wv->errors = WavpackGetNumErrors(wpc);

    wv->channels = static_cast<uint32_t>(channels);
    // The library orders the channels by the channel mask: front left and right come first.
    wv->left = 0;
    wv->right = channels > 1 ? 1 : 0;
    if (play && !(wv->decoded = new (std::nothrow) int32_t[DecodeSamples]))
        return refuse(TAVO_ERROR_MEM, "out of memory");

    *layout = DsdLayout{};
    layout->container = DSD_CONTAINER_WV;
    layout->channels = wv->channels;
    layout->rate = rate;
    layout->samples = frames * 8;
    layout->frames = frames;
    layout->block_size = 1;
    layout->left = wv->left;
    layout->right = wv->right;
    *out = wv;
    *reason = nullptr;
    return TAVO_OK;
}

bool DsdWavPack_Read(DsdWavPack *wv, uint8_t *out, uint64_t n) {
    if (!wv->wpc || !wv->decoded) return false;
    const uint32_t ch = wv->channels, per_call = DecodeSamples / ch;
    while (n > 0) {
        uint32_t want = static_cast<uint32_t>(std::min<uint64_t>(n, per_call));
        uint32_t got = WavpackUnpackSamples(wv->wpc, wv->decoded, want);
        // A damaged block decodes as silence of the library's own: the stream stops with a read
        // error instead of playing it.
        if (got != want || WavpackGetNumErrors(wv->wpc) != wv->errors) {
            WavpackCloseFile(wv->wpc);
            wv->wpc = nullptr;
            return false;
        }
        const int32_t *p = wv->decoded;
        for (uint32_t i = 0; i < got; ++i, p += ch) {
            *out++ = static_cast<uint8_t>(p[wv->left]);
            *out++ = static_cast<uint8_t>(p[wv->right]);
        }
        n -= got;
    }
    return true;
}

bool DsdWavPack_Seek(DsdWavPack *wv, uint64_t frame) {
    if (!wv->wpc) return false;
    if (WavpackSeekSample64(wv->wpc, static_cast<int64_t>(frame))) return true;
    // After a failed seek the library's context may not be used again: the stream reads no more.
    WavpackCloseFile(wv->wpc);
    wv->wpc = nullptr;
    return false;
}

uint64_t DsdWavPack_FilePosition(const DsdWavPack *wv) {
    return wv->reader.src.base + wv->reader.pos;
}

void DsdWavPack_Close(DsdWavPack *wv) {
    if (!wv) return;
    if (wv->wpc) WavpackCloseFile(wv->wpc);
    delete[] wv->decoded;
    delete wv;
}
