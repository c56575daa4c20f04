// The DSD-to-PCM path of the output host, without ALSA: which devices get DoP, which PCM rate a device gets,
// and the converter's level, silence, fades and determinism, on bits of a real sigma-delta modulator.

#include "fixtures.h"
#include "output.h"
#include "sdm.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <filesystem>
#include <set>

namespace {

using tava::PcmFormat;

constexpr uint32_t kDsd64 = 2822400;

TEST(OutputPcm, IsUsbAudioCard_OnlyCardsWithAUsbIdInTheProcTree) {
    const TempFolder dir;
    const std::string proc = dir.path + "proc/";
    std::filesystem::create_directories(proc + "asound/card0");
    std::filesystem::create_directories(proc + "asound/card2");
    WriteBytes(proc + "asound/card2/usbid", "20b1:3008\n");
    std::filesystem::create_directory_symlink("card2", proc + "asound/DAC");
    const std::pair<const char *, bool> cases[] = {
        {"hw:2,0", true},         {"hw:2", true},        {"hw:CARD=DAC,DEV=0", true},
        {"hw:DAC,0", true},       {"hw:0,0", false},     {"hw:1,0", false},
        {"hw:CARD=card0", false}, {"plughw:2,0", false}, {"default", false},
        {"hw:../../2", false},    {"hw:", false},
    };
    for (const auto &[driver, usb] : cases) EXPECT_EQ(tava::IsUsbAudioCard(driver, proc), usb) << driver;
}

TEST(OutputPcm, ChoosePcmRate_HighestOfTheFamilyElseResampled) {
    struct Case {
        double dsdRate;
        std::set<uint32_t> takes;
        uint32_t rate; // 0: none
        bool resampled;
    };
    const Case cases[] = {
        {kDsd64, {44100, 88200, 176400, 352800, 384000}, 352800, false},
        {kDsd64, {44100, 48000, 88200, 176400}, 176400, false},
        {22579200, {88200, 96000}, 88200, false},
        {6144000, {96000, 192000, 352800}, 192000, false},
        {kDsd64, {48000, 96000, 192000}, 192000, true},
        {kDsd64, {48000}, 48000, true},
        {3072000, {44100, 88200}, 88200, true},
        {kDsd64, {44100}, 44100, true},
        {kDsd64, {8000, 22050}, 0, false},
        {44100, {44100, 88200}, 0, false},
    };
    for (const Case &c : cases) {
        const auto got = tava::ChoosePcmRate(c.dsdRate, [&](uint32_t r) { return c.takes.count(r) > 0; });
        EXPECT_EQ(got ? got->rate : 0, c.rate) << c.dsdRate << " to " << c.rate;
        if (got) {
            EXPECT_EQ(got->resampled, c.resampled) << c.dsdRate << " to " << c.rate;
        }
    }
}

struct Converter {
    tava::PcmConverter *c = nullptr;
    size_t frameBytes;
    explicit Converter(const tava::PcmSetup &setup) : frameBytes(2 * tava::PcmSampleBytes(setup.format)) {
        std::string why;
        c = tava::PcmCreate(setup, why);
        EXPECT_NE(c, nullptr) << why;
    }
    ~Converter() { tava::PcmDestroy(c); }
    // pair converted in calls of the given sizes in steps (cycled), as the device's bytes.
    std::vector<uint8_t> Run(const std::vector<uint8_t> &pair, const std::vector<uint32_t> &steps,
                             bool silent = false, double gain = 1.0) {
        const uint32_t stepBytes = tava::PcmPairBytesPerStep(c);
        std::vector<uint8_t> out, frames(tava::PcmMaxFrames(c) * 8 * 4);
        size_t at = 0;
        for (size_t i = 0; at < pair.size(); ++i) {
            const uint32_t bytes = std::min<uint32_t>(steps[i % steps.size()] * stepBytes,
                                                      static_cast<uint32_t>(pair.size() - at));
            const uint32_t n = tava::PcmConvert(c, pair.data() + at, bytes, silent, gain, frames.data());
            out.insert(out.end(), frames.begin(), frames.begin() + long(n * frameBytes));
            at += bytes;
        }
        return out;
    }
};

tava::PcmSetup PcmSetupFor(uint32_t rate, PcmFormat format = PcmFormat::S32Le, uint32_t bits = 24,
                           bool resampled = false) {
    return {kDsd64, rate, resampled, format, bits, 2, 0, 4096 * 8};
}

// A tone of the given frequency and modulation on both channels, as DSD64 bytes of the pair.
std::vector<uint8_t> Tone(double frequency, double amplitude, double seconds) {
    const auto samples = static_cast<size_t>(seconds * kDsd64);
    auto signal = [&](size_t n) { return amplitude * std::sin(2 * M_PI * frequency * n / kDsd64); };
    const std::vector<uint8_t> ch = SdmModulate(kDsd64, signal, samples, 5);
    return SdmPair(ch, ch);
}

// Left channel's samples from S32_LE stereo frames, in [-1, 1).
std::vector<double> Left(const std::vector<uint8_t> &bytes) {
    std::vector<double> x;
    for (size_t i = 0; i + 8 <= bytes.size(); i += 8) {
        int32_t v;
        std::memcpy(&v, &bytes[i], 4);
        x.push_back(v * 0x1p-31);
    }
    return x;
}

// The amplitude of the tone at frequency (cycles per sample) in x[from, to), by least squares.
double Amplitude(const std::vector<double> &x, double frequency, size_t from, size_t to) {
    double s = 0, c = 0;
    for (size_t i = from; i < to; ++i)
        s += x[i] * std::sin(2 * M_PI * frequency * i), c += x[i] * std::cos(2 * M_PI * frequency * i);
    return 2 * std::hypot(s, c) / static_cast<double>(to - from);
}

// Gain 0 dB on every output: a 50 % modulation sine reads -6.02 dBFS (amplitude 0.5) at the base rate, its
// multiples, through the resampler, and in each sample format; the volume scales it.
TEST(OutputPcm, Convert_FiftyPercentSineReadsMinusSixDbOnEveryOutput) {
    const std::vector<uint8_t> pair = Tone(1000, 0.5, 0.25);
    struct Case {
        uint32_t rate;
        PcmFormat format;
        bool resampled;
        double gain;
    };
    const Case cases[] = {{352800, PcmFormat::S32Le, false, 1.0},
                          {176400, PcmFormat::S24_3Le, false, 1.0},
                          {88200, PcmFormat::S24Le, false, 1.0},
                          {48000, PcmFormat::S32Le, true, 1.0},
                          {352800, PcmFormat::S24_3Le, false, 0.5}};
    for (const Case &c : cases) {
        Converter conv(PcmSetupFor(c.rate, c.format, 24, c.resampled));
        const std::vector<uint8_t> out = conv.Run(pair, {4096}, false, c.gain);
        const size_t sampleBytes = tava::PcmSampleBytes(c.format);
        std::vector<double> left;
        for (size_t i = 0; i + 2 * sampleBytes <= out.size(); i += 2 * sampleBytes) {
            int32_t v = 0;
            std::memcpy(&v, &out[i], sampleBytes);
            if (c.format == PcmFormat::S24_3Le) v = (v << 8) >> 8; // sign of the third byte
            left.push_back(c.format == PcmFormat::S32Le ? v * 0x1p-31 : v * 0x1p-23);
        }
        // The first 50 ms (settling) stay out; whole periods of the tone inside.
        const size_t from = c.rate / 20, to = from + c.rate / 10;
        ASSERT_GT(left.size(), to) << c.rate;
        EXPECT_NEAR(20 * std::log10(Amplitude(left, 1000.0 / c.rate, from, to) / c.gain), -6.0206, 0.01)
            << c.rate << " at " << c.gain;
    }
}

// Same bytes whatever the calls' sizes and after a reset: the filters carry their state across calls, the
// dither restarts. DSD silence converts to exact zeros before, after and between music, and a pause fades the
// music to zero within the held-back tail instead of cutting it.
TEST(OutputPcm, Convert_SplitCallsSameBytesSilenceExactZeroPauseFades) {
    Converter conv(PcmSetupFor(352800));
    std::vector<uint8_t> pair(8 * 2000, 0x69);
    const std::vector<uint8_t> tone = Tone(3000, 0.5, 0.05);
    pair.insert(pair.end(), tone.begin(), tone.end());
    pair.resize(pair.size() + 8 * 6000, 0x69);
    pair.resize(pair.size() / 8 * 8);

    const std::vector<uint8_t> whole = conv.Run(pair, {4096});
    for (const auto &steps : std::vector<std::vector<uint32_t>>{{1}, {7, 300, 2}, {1000, 13}}) {
        tava::PcmReset(conv.c);
        EXPECT_EQ(conv.Run(pair, steps), whole) << steps.front();
    }
    const std::vector<double> x = Left(whole);
    ASSERT_EQ(x.size(), pair.size() / 2);
    size_t first = 0, last = x.size();
    while (first < x.size() && x[first] == 0.0) ++first;
    while (last > 0 && x[last - 1] == 0.0) --last;
    EXPECT_GE(first, 4 * 2000u - 4 * 80) << "leading silence is exactly zero (up to the filters' reach)";
    EXPECT_LE(last, x.size() - 4 * 5000) << "trailing silence is exactly zero";
    EXPECT_GT(last - first, tone.size() / 2) << "the music is there";

    // Paused halfway through the tone: the output falls to zero over the held-back tail, without a step.
    tava::PcmReset(conv.c);
    const size_t half = tone.size() / 2 / 8 * 8;
    std::vector<uint8_t> played =
        conv.Run(std::vector<uint8_t>(tone.begin(), tone.begin() + long(half)), {64});
    const std::vector<uint8_t> paused = conv.Run(std::vector<uint8_t>(8 * 512, 0x69), {64}, true);
    played.insert(played.end(), paused.begin(), paused.end());
    const std::vector<double> p = Left(played);
    const size_t pauseAt = half / 2;
    double peak = 0, largestStep = 0;
    for (size_t i = 4 * 1000; i < pauseAt; ++i) peak = std::max(peak, std::abs(p[i]));
    for (size_t i = 4 * 1000; i + 1 < p.size(); ++i)
        largestStep = std::max(largestStep, std::abs(p[i + 1] - p[i]));
    EXPECT_NEAR(peak, 0.5, 0.01);
    EXPECT_LT(largestStep, 0.5 * 2 * M_PI * 3000 / 352800 * 1.1) << "no faster than the tone itself moves";
    EXPECT_TRUE(std::all_of(p.end() - 4 * 200, p.end(), [](double v) { return v == 0.0; }))
        << "silent while paused";
}

} // namespace
