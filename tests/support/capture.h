// The tests' DSD capture device and the judging of what it received: the ALSA configuration that adds
// the device, test tracks of a given length, the byte pairs the device received, and the comparison
// of those with the tracks' data.
#pragma once

#include "dsd_testfiles.h"

#include <cstdint>
#include <string>
#include <vector>

// More devices of the configuration, beside the capture device.
enum CaptureExtras : unsigned {
    GoneDevice = 1,      // "gonedac" ("Gone DAC"): listed, but its card is not there, so it never opens
    ConverterDevice = 2, // "converter" ("Converter"): a plug over null, which converts
    PcmOnlyDevice = 4, // "pcmonly" ("PCM only"): takes no DSD format, only S32_LE PCM, written to PcmOnlyWav
};
// The WAV file that the "pcmonly" device of the configuration in home writes.
inline std::string PcmOnlyWav(const std::string &home) {
    return home + "pcmonly.wav";
}
// Writes the ALSA configuration of the DSD capture device "dsdcapture" ("DSD capture") as the
// .asoundrc of the home folder `home`, for a program started with HOME set to it: a file PCM over the
// null plugin, which takes every format and rate and writes the frames unchanged into `capture`.
void WriteCaptureConfig(const std::string &home, const std::string &capture, unsigned extras = 0);
// The same, in `folder`, and ALSA in this process reads it beside the system's configuration
// (ALSA_CONFIG_PATH): before the process's first ALSA call.
void UseCaptureConfig(const std::string &folder, const std::string &capture, unsigned extras = 0);

// A track of about `seconds` and three bytes more per channel: not a whole number of periods.
TestDsdShape Shape(TestDsdKind kind, uint32_t rate, double seconds, uint32_t seed, uint32_t channels = 2);

// A WAV file as ALSA's file PCM writes it (also the extensible format): its format and its sample bytes.
struct Wav {
    uint32_t rate = 0, channels = 0, bits = 0; // bits: of a sample's container
    std::vector<uint8_t> data;
};
// False when path is no readable PCM WAV.
bool ReadWav(const std::string &path, Wav &wav);

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
