// What the playback tests share to judge a capture: test tracks of a given length, the byte pairs a
// DSD capture device received, and the comparison of those with the tracks' data.
#pragma once

#include "dsd_testfiles.h"

#include <cstdint>
#include <string>
#include <vector>

// A track of about `seconds` and three bytes more per channel: not a whole number of periods.
TestDsdShape Shape(TestDsdKind kind, uint32_t rate, double seconds, uint32_t seed, uint32_t channels = 2);

// The byte-interleaved pair as the program delivered it, from the raw bytes of a DSD_U32_BE stereo
// capture.
std::vector<uint8_t> PairFromCapture(const std::string &raw);
// The playback bytes of the tracks, one after the other.
std::vector<uint8_t> ExpectedBytes(const std::vector<TestDsdShape> &tracks);
// Empty when `pair` is DSD silence (0x69), then exactly the expected bytes, then only silence;
// otherwise what is wrong, with the offset.
std::string CheckCapture(const std::vector<uint8_t> &pair, const std::vector<uint8_t> &expected);
inline std::string CheckCapture(const std::vector<uint8_t> &pair, const std::vector<TestDsdShape> &tracks) {
    return CheckCapture(pair, ExpectedBytes(tracks));
}
// For a capture of silence, then the start of `data`, then anything: how much of data that is, and
// the rest of the capture in `after`.
size_t HeardPart(const std::vector<uint8_t> &pair, const std::vector<uint8_t> &data,
                 std::vector<uint8_t> &after);
