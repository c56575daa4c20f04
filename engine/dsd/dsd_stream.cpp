// tavd.so's streams: a checked DSF/DFF layout over a source, or a WavPack decoder, read into the stream's
// stereo layout (left byte, right byte, oldest bit most significant), and handed to the core as a stream.
//
// Threads: Tavd_DSD_StreamCreateFile runs on the program's main thread (probes, track opening); the
// stream procedures run on whichever thread calls the core for that handle, one call at a time per
// stream (the core serialises them). A stream's state is touched only by its own calls.

#include "dsd.h"
#include "tavd.h"
#include "tavo_stream.h"

#include <algorithm>
#include <cstdint>
#include <new>

namespace {

// File sources are read through a scratch buffer of this size, allocated once per stream: big enough
// that each pread moves a lot, small enough to stay in the processor's cache while it is interleaved.
// Its size never depends on anything a file says.
constexpr size_t ScratchSize = 256 * 1024;
static_assert(ScratchSize >= 4096 * 6, "a whole block group of the widest DSF fits");

struct DsdStream {
    DsdSource src;
    DsdLayout layout;
    bool play = false;          // TAVO_DSD_RAW: deliver the samples; otherwise a probe without data
    uint64_t frame = 0;         // next byte of each channel to deliver (the stream position / 2)
    uint8_t *scratch = nullptr; // ScratchSize bytes for file sources; null for memory
    DsdWavPack *wv = nullptr;   // the decoder of a WavPack playback stream; null otherwise
};

// DSF: blocks of block_size bytes per channel, one block of every channel in turn. Whole block groups
// are read (the header check made sure that every group holding a delivered byte is there, padding
// included); the left and right blocks of each group are interleaved into out.
bool ReadDsf(DsdStream *s, uint8_t *out, uint64_t n) {
    const DsdLayout &l = s->layout;
    const uint64_t block = l.block_size, group = block * l.channels;
    uint64_t k = s->frame;
    while (n > 0) {
        uint64_t first = k / block, at = k % block;
        uint64_t blocks = (at + n + block - 1) / block;
        if (!s->src.mem) blocks = std::min<uint64_t>(blocks, ScratchSize / group);
        const uint8_t *p = DsdSource_Get(&s->src, l.data_offset + first * group, s->scratch, blocks * group);
        if (!p) return false;
        for (uint64_t i = 0; i < blocks && n > 0; ++i, p += group, at = 0) {
            uint64_t take = std::min(block - at, n);
            Dsd_Interleave(out, p + l.left * block + at, p + l.right * block + at, take, l.lsb_first);
            out += 2 * take;
            n -= take;
            k += take;
        }
    }
    return true;
}

// DFF: frames of one byte per channel, already most significant bit first.
bool ReadDff(DsdStream *s, uint8_t *out, uint64_t n) {
    const DsdLayout &l = s->layout;
    const uint32_t ch = l.channels;
    uint64_t off = l.data_offset + s->frame * ch;
    if (ch == 2 && l.left == 0 && l.right == 1) {
        // Already the stream's layout: straight into the caller's buffer.
        return DsdSource_Read(&s->src, off, out, 2 * n) == static_cast<int64_t>(2 * n);
    }
    while (n > 0) {
        uint64_t take = s->src.mem ? n : std::min<uint64_t>(n, ScratchSize / ch);
        const uint8_t *p = DsdSource_Get(&s->src, off, s->scratch, take * ch);
        if (!p) return false;
        if (ch == 1)
            Dsd_Interleave(out, p, p, take, false);
        else
            Dsd_Gather(out, p, take, ch, l.left, l.right);
        out += 2 * take;
        off += take * ch;
        n -= take;
    }
    return true;
}

// Called on the thread that pulls data. Delivers whole frames only: an odd length delivers one byte
// less than asked (the program always asks for even sizes), so left and right never slip.
int32_t StreamRead(void *state, void *buffer, uint32_t length) {
    auto *s = static_cast<DsdStream *>(state);
    if (!s->play) {
        TavoStream_SetError(TAVO_ERROR_NOTAVAIL);
        return -1;
    }
    uint64_t n = std::min<uint64_t>(std::min<uint32_t>(length, INT32_MAX) / 2, s->layout.frames - s->frame);
    if (n == 0) return 0;
    auto *out = static_cast<uint8_t *>(buffer);
    bool ok = s->wv                                      ? DsdWavPack_Read(s->wv, out, n)
              : s->layout.container == DSD_CONTAINER_DSF ? ReadDsf(s, out, n)
                                                         : ReadDff(s, out, n);
    if (!ok) {
        // The file became unreadable or shorter after it was checked.
        TavoStream_SetError(TAVO_ERROR_FILEOPEN);
        return -1;
    }
    s->frame += n;
    return static_cast<int32_t>(2 * n);
}

// pos is a byte position of the stream's data, at most its length. A probe has no data to move in;
// its position only has to be valid.
int StreamSeek(void *state, uint64_t pos) {
    auto *s = static_cast<DsdStream *>(state);
    uint64_t length = s->play ? 2 * s->layout.frames : s->layout.frames;
    if (pos > length || (s->play && pos % 2 != 0)) {
        TavoStream_SetError(TAVO_ERROR_ILLPARAM);
        return 0;
    }
    if (s->play) {
        if (s->wv && !DsdWavPack_Seek(s->wv, pos / 2)) {
            TavoStream_SetError(TAVO_ERROR_FILEOPEN);
            return 0;
        }
        s->frame = pos / 2;
    }
    return 1;
}

// Where in the file the next left byte comes from.
uint64_t StreamFilePosition(void *state) {
    const auto *s = static_cast<DsdStream *>(state);
    if (s->wv) return DsdWavPack_FilePosition(s->wv);
    const DsdLayout &l = s->layout;
    uint64_t k = s->frame, block = l.block_size;
    return s->src.base + l.data_offset + k / block * block * l.channels + l.left * block + k % block;
}

void StreamClose(void *state) {
    auto *s = static_cast<DsdStream *>(state);
    DsdWavPack_Close(s->wv);
    DsdSource_Close(&s->src);
    delete[] s->scratch;
    delete s;
}

constexpr TavoStreamProcs StreamProcs = {StreamRead, StreamSeek, StreamFilePosition, StreamClose};

// --- per thread: the reason of this thread's last refusal, null after a success
thread_local const char *LastReason = nullptr;

TavoHandle Fail(DsdSource *src, int code, const char *reason) {
    DsdSource_Close(src);
    TavoStream_SetError(code);
    LastReason = reason;
    return 0;
}

} // namespace

// Called on the program's main thread. freq asks other readers for a PCM rate; this one delivers raw
// DSD only, so it is not used. For memory (mem 1) the block is file[0, length): offset is not used.
extern "C" __attribute__((visibility("default"))) TavoHandle
Tavd_DSD_StreamCreateFile(int mem, const void *file, uint64_t offset, uint64_t length, uint32_t flags,
                          uint32_t freq) {
    (void)freq;
    DsdSource src;
    LastReason = nullptr;
    if (!file) return Fail(&src, TAVO_ERROR_ILLPARAM, "no file");
    if (mem)
        DsdSource_OpenMemory(&src, file, length);
    else if (int rc = DsdSource_OpenFile(&src, static_cast<const char *>(file), offset, length))
        return Fail(&src, rc, "the file cannot be opened");

    const bool play = (flags & TAVO_DSD_RAW) != 0;
    DsdLayout layout;
    DsdWavPack *wv = nullptr;
    const char *reason = nullptr;
    if (Dsd_IsWavPack(&src)) {
        if (int rc = DsdWavPack_Open(&src, play, &layout, &wv, &reason)) return Fail(&src, rc, reason);
        // A probe has what it needs: the decoder goes at once.
        if (!play) {
            DsdWavPack_Close(wv);
            wv = nullptr;
        }
    } else if (int rc = Dsd_ParseHeader(&src, &layout, &reason)) {
        return Fail(&src, rc, reason);
    }

    auto *s = new (std::nothrow) DsdStream;
    if (!s) {
        DsdWavPack_Close(wv);
        return Fail(&src, TAVO_ERROR_MEM, "out of memory");
    }
    s->play = play;
    s->wv = wv;
    // Only a playback stream of a DSF or DFF file reads through the scratch buffer; probes deliver
    // nothing, and the WavPack decoder has its own.
    if (!mem && play && !wv && !(s->scratch = new (std::nothrow) uint8_t[ScratchSize])) {
        delete s;
        return Fail(&src, TAVO_ERROR_MEM, "out of memory");
    }
    s->src = src;
    s->layout = layout;

    // Playback delivers 2 bytes (left, right) per 8 samples of a channel; a probe's length is half
    // that. A sample count that is not a multiple of 8 leaves a partial last byte, which is not
    // delivered: only whole bytes are. Either way length / bytes_per_second is the playing time.
    TavoStreamInfo info{};
    info.length = s->play ? 2 * layout.frames : layout.frames;
    info.bytes_per_second = (s->play ? 2.0 : 1.0) * layout.rate / 8.0;
    info.frequency = static_cast<float>(layout.rate / 32);
    info.dsd_rate = static_cast<float>(layout.rate);
    info.file_size = src.size;
    info.is_file = mem ? 0 : 1;
    return TavoStream_Register(&StreamProcs, s, &info);
}

extern "C" __attribute__((visibility("default"))) const char *Tavd_DSD_ErrorGetText(void) {
    return LastReason ? LastReason : "";
}
