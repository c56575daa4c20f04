// The tests' capture device, and judging a capture against the test tracks.

#include "capture.h"

#include "fixtures.h"

#include <cstdlib>
#include <cstring>

void WriteCaptureConfig(const std::string &home, const std::string &capture, unsigned extras) {
    auto hint = [](const char *description) {
        return std::string(" hint { show on description \"") + description + "\" } }\n";
    };
    std::string config = "pcm.dsdcapture { type file slave.pcm \"null\" file \"" + capture +
                         "\" format \"raw\"" + hint("DSD capture");
    if (extras & GoneDevice)
        config += "pcm.gonedac { type file slave.pcm { type hw card 7 } file \"" + home +
                  "gone.raw\" format \"raw\"" + hint("Gone DAC");
    if (extras & ConverterDevice)
        config += "pcm.converter { type plug slave.pcm \"null\"" + hint("Converter");
    // A plug with a fixed linear slave format refuses every DSD format and converts nothing else; the WAV
    // header records the rate and width the host chose.
    if (extras & PcmOnlyDevice)
        config += "pcm.pcmwav { type file slave.pcm \"null\" file \"" + PcmOnlyWav(home) +
                  "\" format \"wav\" }\npcm.pcmonly { type plug slave { pcm \"pcmwav\" format S32_LE }" +
                  hint("PCM only");
    WriteBytes(home + ".asoundrc", config);
}

void UseCaptureConfig(const std::string &folder, const std::string &capture, unsigned extras) {
    WriteCaptureConfig(folder, capture, extras);
    setenv("ALSA_CONFIG_PATH", ("/usr/share/alsa/alsa.conf:" + folder + ".asoundrc").c_str(), 1);
}

TestDsdShape Shape(TestDsdKind kind, uint32_t rate, double seconds, uint32_t seed, uint32_t channels) {
    TestDsdShape s;
    s.kind = kind;
    s.rate = rate;
    s.channels = channels;
    s.samples = static_cast<uint64_t>(seconds * rate) / 8 * 8 + 8 * 3;
    s.seed = seed;
    return s;
}

std::vector<uint8_t> PairFromCapture(const std::string &raw) {
    // DSD_U32_BE stereo: four bytes of the left channel, oldest first, then four of the right.
    std::vector<uint8_t> pair(raw.size() / 8 * 8);
    for (size_t f = 0; f + 8 <= raw.size(); f += 8)
        for (size_t i = 0; i < 4; ++i) {
            pair[f + 2 * i] = static_cast<uint8_t>(raw[f + i]);
            pair[f + 2 * i + 1] = static_cast<uint8_t>(raw[f + 4 + i]);
        }
    return pair;
}

std::vector<uint8_t> ExpectedBytes(const std::vector<TestDsdShape> &tracks) {
    std::vector<uint8_t> all;
    for (const TestDsdShape &t : tracks) {
        const std::vector<uint8_t> bytes = TestDsd_Expected(t, 0, TestDsd_PlayLength(t));
        all.insert(all.end(), bytes.begin(), bytes.end());
    }
    return all;
}

std::string CheckCapture(const std::vector<uint8_t> &pair, const std::vector<uint8_t> &expected) {
    if (expected.size() < 64) return "tracks too short to find in the capture";
    if (pair.size() < expected.size()) return "the capture is shorter than the tracks";
    // The data begins where its first 64 bytes are found; everything before must be silence.
    size_t start = 0;
    while (std::memcmp(&pair[start], expected.data(), 64) != 0)
        if (++start + expected.size() > pair.size())
            return "the tracks' data is not in the capture (" + std::to_string(pair.size()) + " bytes)";
    for (size_t i = 0; i < pair.size(); ++i) {
        const bool data = i >= start && i < start + expected.size();
        if (pair[i] != (data ? expected[i - start] : 0x69))
            return "byte " + std::to_string(i) + (data ? " of the data differs" : " is not silence") +
                   " (data at " + std::to_string(start) + ", " + std::to_string(expected.size()) + " bytes)";
    }
    return "";
}

size_t HeardPart(const std::vector<uint8_t> &pair, const std::vector<uint8_t> &data,
                 std::vector<uint8_t> &after) {
    size_t begin = 0, heard = 0;
    while (begin < pair.size() && pair[begin] == 0x69) ++begin;
    while (begin + heard < pair.size() && heard < data.size() && pair[begin + heard] == data[heard]) ++heard;
    after.assign(pair.begin() + long(begin + heard), pair.end());
    return heard;
}

bool ReadWav(const std::string &path, Wav &wav) {
    const std::string bytes = ReadBytes(path);
    auto u32 = [&](size_t at) {
        return at + 4 <= bytes.size() ? static_cast<uint32_t>(static_cast<uint8_t>(bytes[at])) |
                                            static_cast<uint32_t>(static_cast<uint8_t>(bytes[at + 1])) << 8 |
                                            static_cast<uint32_t>(static_cast<uint8_t>(bytes[at + 2])) << 16 |
                                            static_cast<uint32_t>(static_cast<uint8_t>(bytes[at + 3])) << 24
                                      : 0u;
    };
    if (bytes.size() < 12 || bytes.compare(0, 4, "RIFF") != 0 || bytes.compare(8, 4, "WAVE") != 0)
        return false;
    bool haveFormat = false;
    for (size_t at = 12; at + 8 <= bytes.size();) {
        const std::string id = bytes.substr(at, 4);
        const size_t size = u32(at + 4), body = at + 8;
        if (id == "fmt " && size >= 16 && body + 16 <= bytes.size()) {
            wav.channels = u32(body + 2) & 0xFFFF;
            wav.rate = u32(body + 4);
            wav.bits = u32(body + 14) & 0xFFFF;
            haveFormat = true;
        } else if (id == "data") {
            // The size may still be what was written at the start; the file's end bounds it.
            const size_t n =
                size == 0 || size == 0xFFFFFFFF ? bytes.size() - body : std::min(size, bytes.size() - body);
            wav.data.assign(bytes.begin() + static_cast<long>(body),
                            bytes.begin() + static_cast<long>(body + n));
            return haveFormat;
        }
        at = body + size + (size & 1);
    }
    return false;
}
