/* The DSD rates the engine takes, in samples per second and channel: DSD64 to DSD512 of the 44.1 kHz
 * family, then of the 48 kHz family. tavd.so refuses files at any other rate; tava.so sets a device
 * only to these, and keeps what it learns about a device per row of this table.
 *
 * Not part of the program's interface: only the libraries of the engine include this header. Its
 * constant follows the output host's naming (kName). */
#ifndef DSD_RATES_H
#define DSD_RATES_H

#include <array>
#include <cstdint>

inline constexpr std::array<uint32_t, 8> kDsdRates = {2'822'400, 5'644'800, 11'289'600, 22'579'200,
                                                      3'072'000, 6'144'000, 12'288'000, 24'576'000};

#endif
