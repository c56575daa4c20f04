// A sigma-delta modulator for test signals: samples of a signal in, DSD bits out, as a recorder's modulator
// makes them. Random bytes carry no tones; a converter is judged on bits that do.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

// One channel of signal(n) (n counts DSD samples; |signal| <= 0.5 is 50 % modulation) at dsdRate, through an
// error-feedback modulator of the given order (5 to 8) whose noise transfer function has its zeros spread
// over 0 to 20 kHz (scaled for the 48 kHz family) and a gain of at most 1.5 above. Bytes hold 8 samples, the
// oldest in the most significant bit; samples is rounded up to whole bytes.
std::vector<uint8_t> SdmModulate(uint32_t dsdRate, const std::function<double(size_t n)> &signal,
                                 size_t samples, int order = 7);

// Byte-interleaved pair from two channels of equal length.
std::vector<uint8_t> SdmPair(const std::vector<uint8_t> &left, const std::vector<uint8_t> &right);

// Writes a stereo DSF file of the pair (byte-interleaved, oldest bit in each byte's most significant bit) at
// dsdRate: blocks of 4096 bytes per channel, bits least significant first, the last block padded with
// silence. False when the file cannot be written.
bool WriteDsf(const std::string &path, uint32_t dsdRate, const std::vector<uint8_t> &pair);
