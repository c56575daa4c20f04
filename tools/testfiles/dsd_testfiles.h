// Writes DSF and DFF test files with a known pseudo-random payload, and gives the bytes that a
// playback stream of such a file must deliver (stereo, byte-interleaved, oldest bit most significant;
// a mono file doubled; more channels: front left and right).
//
// The payload is a pure function of (seed, channel, byte index), so the expected bytes of any range
// are computed without the file, and files of any size are written in pieces: memory use does not
// grow with the length (DSD512 tracks of several hundred megabytes are written in about a second).
#ifndef DSD_TESTFILES_H
#define DSD_TESTFILES_H

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

enum class TestDsdKind {
    DsfLsb, // DSF, 1 bit per sample: oldest bit least significant
    DsfMsb, // DSF, 8 bits per sample: oldest bit most significant
    Dff,    // DSDIFF 1.5, uncompressed
};

struct TestDsdShape {
    TestDsdKind kind = TestDsdKind::DsfLsb;
    uint32_t rate = 2'822'400;        // DSD samples per second and channel
    uint32_t channels = 2;            // 1..6
    uint64_t samples = 8 * 4096 * 2;  // per channel; a DFF holds whole bytes only (samples rounded down to 8)
    uint64_t stated_samples = 0;      // DSF: if not 0, the header's count; the blocks hold `samples`
    uint64_t junk = 0;                // bytes of junk after the file's end as its header states it
    uint32_t seed = 1;                // selects the payload
    std::vector<std::string> dff_ids; // DFF channel ids (4 characters each); empty: the usual ones
    bool dst = false;                 // DFF: marked DST-compressed, with a "DST " sound chunk
    bool dff_abss = true;             // DFF: a start time (ABSS) after CMPR; `wavpack` 5.6 takes a DFF only
                                      // without one (it misses the pad byte of the odd-sized CMPR before it)
};

// Writes the file at path; false when it cannot be written.
bool TestDsd_WriteFile(const TestDsdShape &shape, const std::string &path);

// The whole file in memory.
std::vector<uint8_t> TestDsd_Bytes(const TestDsdShape &shape);

// Offset of the first sound byte in the file: everything before it is header.
uint64_t TestDsd_HeaderSize(const TestDsdShape &shape);

// Bytes that a playback stream of the file delivers: 2 per whole byte (8 samples) of a channel.
uint64_t TestDsd_PlayLength(const TestDsdShape &shape);

// Bytes [offset, offset + size) of the playback stream, into out.
void TestDsd_Expected(const TestDsdShape &shape, uint64_t offset, size_t size, uint8_t *out);
std::vector<uint8_t> TestDsd_Expected(const TestDsdShape &shape, uint64_t offset, size_t size);

// Byte index of channel c of the payload, oldest bit most significant.
uint8_t TestDsd_Byte(uint32_t seed, uint32_t channel, uint64_t index);

#endif
