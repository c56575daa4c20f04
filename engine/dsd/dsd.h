// The DSD reader's insides: where a stream's bytes come from, the layout read from a DSF or DFF
// header, the WavPack decoder, and the kernels that turn the file's sound bytes into the stream's stereo
// bytes.
//
// tavd.so is stateless apart from its open streams: every procedure here works on what it is given,
// so streams may be read on different threads at once. The only shared data are constant tables.
#ifndef DSD_H
#define DSD_H

#include <cstddef>
#include <cstdint>

// --- Sources (dsd_source.cpp)

// A stream's bytes: a part of an open file, or a block of memory that the caller keeps alive.
// Immutable after opening; reads use pread, so a source has no position of its own.
struct DsdSource {
    int fd = -1;                  // the open file (owned), -1 for memory
    const uint8_t *mem = nullptr; // the memory block (not owned), null for a file
    uint64_t base = 0;            // where the source's first byte is in the file
    uint64_t size = 0;            // bytes in the source
};

// Opens length bytes of a file from offset (length 0, or past the end: to the end of the file).
// TAVO_OK, or TAVO_ERROR_FILEOPEN when the file cannot be opened or is not a regular file.
int DsdSource_OpenFile(DsdSource *src, const char *path, uint64_t offset, uint64_t length);
void DsdSource_OpenMemory(DsdSource *src, const void *mem, uint64_t length);
void DsdSource_Close(DsdSource *src);

// Reads n bytes at off into buf: n, fewer where the source ends, -1 on an I/O error.
int64_t DsdSource_Read(const DsdSource *src, uint64_t off, void *buf, size_t n);

// n bytes at off, which must lie inside the source: a pointer into the memory block, or buf filled by
// a read. Null on an I/O error or a short read (a file that shrank after it was checked).
const uint8_t *DsdSource_Get(const DsdSource *src, uint64_t off, void *buf, size_t n);

// --- Header parsing (dsd_parse.cpp)

enum DsdContainer : uint8_t { DSD_CONTAINER_DSF, DSD_CONTAINER_DFF, DSD_CONTAINER_WV };

// Where the sound bytes are and how to take them. Byte k (0-based) of file channel c lies at
//   data_offset + (k / block_size) * block_size * channels + c * block_size + k % block_size,
// which covers DSF (blocks of 4096 bytes per channel) and DFF (block_size 1: byte-interleaved).
// Every byte that this formula gives for k < frames lies inside the source.
struct DsdLayout {
    DsdContainer container = DSD_CONTAINER_DSF;
    uint32_t channels = 0;    // 1..6
    uint32_t rate = 0;        // DSD samples per second and channel, one of the DSD rates
    uint64_t samples = 0;     // DSD samples per channel, as the header gives them
    uint64_t frames = 0;      // whole bytes per channel that the stream delivers: samples / 8
    uint64_t data_offset = 0; // source offset of the first sound byte
    uint32_t block_size = 0;  // DSF: 4096; DFF: 1
    bool lsb_first = false;   // DSF with 1 bit per sample: the oldest bit is the least significant
    uint32_t left = 0;        // file channel delivered as left (front left; the only one of a mono file)
    uint32_t right = 0;       // file channel delivered as right
};

// Checks the header of a DSF or DFF source and fills the layout. TAVO_OK, TAVO_ERROR_FILEFORM (41) for
// anything malformed or unsupported, TAVO_ERROR_CODEC (44) for DST-compressed DFF, TAVO_ERROR_FILEOPEN
// (2) when the source cannot be read. Reads the header a few bytes at a time (92 at most) and allocates
// nothing. A refusal's reason, for the user ("DST compression is not supported", "not a DSD file", "the
// file is shorter than its header says"...), goes to *reason when it is given: a constant text.
// One of the DSD rates the engine plays (dsd_rates.h).
bool IsDsdRate(uint32_t rate);

int Dsd_ParseHeader(const DsdSource *src, DsdLayout *layout, const char **reason = nullptr);

// --- WavPack (dsd_wavpack.cpp)

// A WavPack file holding DSD, decoded by libwavpack. Its layout has the container DSD_CONTAINER_WV, the
// channels, rate, samples, frames and the channels delivered; the offsets do not apply.
struct DsdWavPack;

// Whether the source starts as a WavPack file does ("wvpk").
bool Dsd_IsWavPack(const DsdSource *src);

// Opens the WavPack file of src, which stays open while the WavPack stream lives (the stream reads it
// through a copy of src and never closes it). Checks that it holds DSD at one of the DSD rates, 1 to 6
// channels, and that its last block is there. TAVO_OK; TAVO_ERROR_FILEFORM (41) for anything else, PCM
// included; TAVO_ERROR_MEM. With play, the stream can be read; without, it only describes the file.
// A refusal's reason goes to *reason (a constant text), as Dsd_ParseHeader gives it.
int DsdWavPack_Open(const DsdSource *src, bool play, DsdLayout *layout, DsdWavPack **wv, const char **reason);

// The next n frames as left, right byte pairs (2n bytes). False when the file cannot be read or a
// block is damaged; the stream then delivers nothing more.
bool DsdWavPack_Read(DsdWavPack *wv, uint8_t *out, uint64_t n);

// Moves to frame (at most the frame count). False when the file cannot be read there.
bool DsdWavPack_Seek(DsdWavPack *wv, uint64_t frame);

// Where the library reads next, in the file.
uint64_t DsdWavPack_FilePosition(const DsdWavPack *wv);

void DsdWavPack_Close(DsdWavPack *wv);

// --- Kernels (dsd_convert.cpp)

// out = left[0] right[0] left[1] right[1] ..., n bytes from each side (2n out). With reverse, the bits of
// each byte are reversed (least significant bit first in, most significant first out). left and right
// may be the same bytes (a mono file doubled).
void Dsd_Interleave(uint8_t *out, const uint8_t *left, const uint8_t *right, size_t n, bool reverse);

// out = in[left] in[right] of each of n frames of stride bytes (byte-interleaved channels).
void Dsd_Gather(uint8_t *out, const uint8_t *in, size_t n, uint32_t stride, uint32_t left, uint32_t right);

#endif
