// tava.so as the program uses it, through the real ALSA library. The test's own ALSA configuration adds a
// file PCM over null with a description ("DSD capture"), which receives exactly the frames the host writes,
// and two listed PCMs that must not be opened: one over a card that does not exist, one that converts.

#include "capture.h"
#include "fixtures.h"
#include "output.h"
#include "sdm.h"
#include "tava.h"
#include "tavo.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <functional>
#include <iterator>
#include <limits>
#include <memory>
#include <string>
#include <thread>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

std::string g_capture; // what the capture PCM writes
std::string g_home;    // the folder of the test's ALSA configuration

constexpr double kDsd64 = 2822400.0;
constexpr uint32_t kDsd64PairBytesPerSecond = 2822400 / 8 * 2;

// The device number of the driver, -1 where not listed; count gets the list length.
int DeviceNumber(const char *driver, int *count = nullptr) {
    int found = -1;
    TavaDeviceInfo info;
    uint32_t n = 0;
    for (; Tava_ASIO_GetDeviceInfo(n, &info); ++n)
        if (std::strcmp(info.driver, driver) == 0) found = static_cast<int>(n);
    if (count) *count = static_cast<int>(n);
    return found;
}

// Waits up to timeout for done(); true when it came true.
bool WaitFor(const std::function<bool()> &done, std::chrono::milliseconds timeout = std::chrono::seconds(5)) {
    const auto end = Clock::now() + timeout;
    while (!done()) {
        if (Clock::now() > end) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return true;
}

// A program's procedure: delivers data in order, every third call fewer bytes than asked (an odd number, so a
// short delivery ends inside a frame), and scribbles over the rest of the buffer, which the host must not
// play. Records each call's period as the device should play it.
struct Feeder {
    std::vector<uint8_t> data;
    size_t pos = 0;
    bool shortCalls = true;
    int sleepMs = 0;      // a slow procedure: each call sleeps this long before it returns
    uint32_t channel = 0; // the channel it is enabled on
    std::vector<std::vector<uint8_t>> periods; // output thread writes; read after Stop
    std::atomic<bool> forbidden{false};        // set by the test: no call may come any more
    std::atomic<bool> inCall{false};           // inside a call (with sleepMs only)
    std::atomic<int> calls{0}, faults{0}; // faults: calls with wrong arguments, or (parts) while forbidden
    std::atomic<int64_t> firstCallNs{0};  // steady clock at the first call
    std::atomic<int64_t> pastDataNs{0};   // and at the first call past the data

    static uint32_t Proc(int input, uint32_t channel, void *buffer, uint32_t length, void *user) {
        auto *f = static_cast<Feeder *>(user);
        const int64_t now = Clock::now().time_since_epoch().count();
        if (f->calls.load() == 0) f->firstCallNs.store(now);
        if (f->pos >= f->data.size() && f->pastDataNs.load() == 0) f->pastDataNs.store(now);
        if (f->forbidden.load() || input != 0 || channel != f->channel) f->faults.fetch_add(1);
        uint32_t n = static_cast<uint32_t>(std::min<size_t>(length, f->data.size() - f->pos));
        if (f->calls.fetch_add(1) % 3 == 1 && f->shortCalls && n > 0) n = n / 2 + 1;
        auto *out = static_cast<uint8_t *>(buffer);
        if (n > 0) std::memcpy(out, f->data.data() + f->pos, n);
        std::memset(out + n, 0x00, length - n);
        f->pos += n;
        std::vector<uint8_t> period(out, out + n);
        period.resize(length, 0x69);
        f->periods.push_back(std::move(period));
        if (f->sleepMs) {
            f->inCall.store(true);
            std::this_thread::sleep_for(std::chrono::milliseconds(f->sleepMs));
            if (f->forbidden.load()) f->faults.fetch_add(1); // still inside after it was forbidden
            f->inCall.store(false);
        }
        return n;
    }
};

// Bytes that never equal DSD silence, so that a period of silence cannot be mistaken for data.
std::vector<uint8_t> TestData(size_t n) {
    std::vector<uint8_t> d(n);
    uint32_t x = 12345;
    for (auto &b : d) {
        x = x * 1103515245u + 12345u;
        b = static_cast<uint8_t>(x >> 16);
        if (b == 0x69) b = 0x96;
    }
    return d;
}

class Host : public ::testing::Test {
  protected:
    void SetUp() override { ASSERT_GE(device = DeviceNumber("dsdcapture"), 0); }
    void TearDown() override {
        if (Tava_ASIO_IsStarted()) Tava_ASIO_Stop();
        Tava_ASIO_Free();
    }
    // Init in DSD mode at DSD64.
    void Open() {
        ASSERT_TRUE(Tava_ASIO_Init(device, 1));
        ASSERT_TRUE(Tava_ASIO_SetDSD(1));
        ASSERT_TRUE(Tava_ASIO_SetRate(kDsd64));
    }
    // A new feeder, enabled with its pair at channel. Feeders outlive TearDown, which stops the output that
    // may still call them after a failed assertion.
    Feeder &Enable(uint32_t channel = 0) {
        Feeder &f = *feeders.emplace_back(std::make_unique<Feeder>());
        f.channel = channel;
        EXPECT_TRUE(Tava_ASIO_ChannelEnable(0, channel, Feeder::Proc, &f));
        EXPECT_TRUE(Tava_ASIO_ChannelJoin(0, channel + 1, static_cast<int>(channel)));
        EXPECT_TRUE(Tava_ASIO_ChannelSetFormat(0, channel, TAVA_FORMAT_DSD_MSB));
        return f;
    }
    int device = -1;
    std::vector<std::unique_ptr<Feeder>> feeders;
};

// The call failed, with that code.
testing::AssertionResult Refused(int result, int code) {
    if (!result && Tava_ASIO_ErrorGetCode() == code) return testing::AssertionSuccess();
    return testing::AssertionFailure() << "result " << result << ", code " << Tava_ASIO_ErrorGetCode();
}

// The capture PCM is listed with its description, null is not; device numbers and the texts handed out stay
// as they were through a new enumeration. Init refuses bad numbers (23), PCMs it cannot open (3), and a
// second Init (14); before Init, and after a refused one, every call fails with 8. A PCM that converts opens
// (for converted PCM).
TEST_F(Host, Devices_ListedAndInitRefusesBadNumbersUnopenableAndConvertingPcms) {
    int count = 0;
    DeviceNumber("dsdcapture", &count);
    TavaDeviceInfo info;
    ASSERT_TRUE(Tava_ASIO_GetDeviceInfo(static_cast<uint32_t>(device), &info));
    EXPECT_STREQ(info.name, "DSD capture");
    const char *name = info.name;
    EXPECT_EQ(DeviceNumber("null"), -1) << "listed by ALSA with a description, but no sound device";
    EXPECT_TRUE(Refused(Tava_ASIO_GetDeviceInfo(static_cast<uint32_t>(count), &info), TAVO_ERROR_DEVICE));
    EXPECT_EQ(DeviceNumber("dsdcapture"), device);
    EXPECT_STREQ(name, "DSD capture");

    // clang-format off
    const std::function<int()> calls[] = {
        [] { return Tava_ASIO_Free(); }, [] { return Tava_ASIO_SetDSD(1); },
        [] { return Tava_ASIO_CheckRate(kDsd64); }, [] { return Tava_ASIO_SetRate(kDsd64); },
        [] { return static_cast<int>(Tava_ASIO_GetRate()); }, [] { return Tava_ASIO_ChannelJoin(0, 1, 0); },
        [] { return Tava_ASIO_ChannelEnable(0, 0, Feeder::Proc, nullptr); },
        [] { return Tava_ASIO_ChannelSetFormat(0, 0, TAVA_FORMAT_DSD_MSB); }, [] { return Tava_ASIO_Start(0, 0); },
        [] { return Tava_ASIO_Stop(); }, [] { return Tava_ASIO_IsStarted(); },
        [] { return Tava_ASIO_ChannelPause(0, 0); }, [] { return Tava_ASIO_ChannelReset(0, -1, 3); },
    };
    // clang-format on
    const int gone = DeviceNumber("gonedac"), converter = DeviceNumber("converter");
    ASSERT_GE(std::min(gone, converter), 0);
    const int refused[][2] = {{count, TAVO_ERROR_DEVICE}, {-1, TAVO_ERROR_DEVICE}, {gone, TAVO_ERROR_DRIVER}};
    for (const auto &[number, code] : refused) {
        EXPECT_TRUE(Refused(Tava_ASIO_Init(number, 0), code)) << number;
        for (size_t i = 0; i < std::size(calls); ++i) EXPECT_TRUE(Refused(calls[i](), TAVO_ERROR_INIT)) << i;
    }
    ASSERT_TRUE(Tava_ASIO_Init(converter, 0));
    EXPECT_TRUE(Tava_ASIO_Free());
    ASSERT_TRUE(Tava_ASIO_Init(device, 0));
    EXPECT_TRUE(Refused(Tava_ASIO_Init(device, 0), TAVO_ERROR_ALREADY));
    EXPECT_TRUE(Tava_ASIO_Free());
    ASSERT_TRUE(Tava_ASIO_Init(device, 1)) << "the device is free again after Free";
}

// In DSD mode every DSD rate checks out and nothing else (25); out of it, rates are PCM rates. Start needs an
// enabled pair, DSD mode and a rate; the running output keeps its rate; Free while started stops first.
TEST_F(Host, Start_NeedsAnEnabledPairInDsdModeAtACheckedRate) {
    ASSERT_TRUE(Tava_ASIO_Init(device, 1));
    EXPECT_TRUE(Refused(Tava_ASIO_ChannelEnable(1, 0, Feeder::Proc, nullptr), TAVO_ERROR_ILLPARAM));
    EXPECT_TRUE(Refused(Tava_ASIO_ChannelSetFormat(0, 0, 32), TAVO_ERROR_FORMAT));
    EXPECT_TRUE(Refused(Tava_ASIO_Start(0, 0), TAVO_ERROR_NOCHAN));
    Feeder &feeder = Enable();
    EXPECT_TRUE(Refused(Tava_ASIO_Start(0, 0), TAVO_ERROR_FORMAT)) << "no output outside DSD mode";
    EXPECT_TRUE(Tava_ASIO_CheckRate(44100.0));
    EXPECT_FALSE(Tava_ASIO_CheckRate(44100.5));
    ASSERT_TRUE(Tava_ASIO_SetDSD(1));
    EXPECT_TRUE(Refused(Tava_ASIO_Start(0, 0), TAVO_ERROR_SPEAKER)) << "no rate set";
    for (double rate :
         {2822400.0, 5644800.0, 11289600.0, 22579200.0, 3072000.0, 6144000.0, 12288000.0, 24576000.0})
        EXPECT_TRUE(Tava_ASIO_CheckRate(rate)) << rate;
    for (double rate : {44100.0, 0.0, -kDsd64, kDsd64 + 0.5, 45158400.0, std::nan(""),
                        std::numeric_limits<double>::infinity()})
        EXPECT_TRUE(Refused(Tava_ASIO_CheckRate(rate), TAVO_ERROR_SPEAKER)) << rate;
    ASSERT_TRUE(Tava_ASIO_SetRate(kDsd64));
    EXPECT_TRUE(Refused(Tava_ASIO_SetRate(44100.0), TAVO_ERROR_SPEAKER));
    EXPECT_EQ(Tava_ASIO_GetRate(), kDsd64) << "a refused rate leaves the rate set";
    EXPECT_TRUE(Refused(Tava_ASIO_Stop(), TAVO_ERROR_START));

    ASSERT_TRUE(Tava_ASIO_Start(0, 0));
    EXPECT_TRUE(Tava_ASIO_IsStarted());
    EXPECT_TRUE(Refused(Tava_ASIO_Start(0, 0), TAVO_ERROR_START));
    EXPECT_TRUE(Refused(Tava_ASIO_SetRate(5644800.0), TAVO_ERROR_START))
        << "the running output keeps its rate";
    EXPECT_TRUE(WaitFor([&] { return feeder.calls.load() > 0; }));
    ASSERT_TRUE(Tava_ASIO_Stop());
    EXPECT_FALSE(Tava_ASIO_IsStarted());
    EXPECT_EQ(Tava_ASIO_ErrorGetCode(), TAVO_OK);
    // A pause survives neither a Reset of the channel nor a new enable: the next start calls the procedure.
    ASSERT_TRUE(Tava_ASIO_ChannelPause(0, 0));
    ASSERT_TRUE(Tava_ASIO_ChannelReset(0, -1, TAVA_RESET_ENABLE | TAVA_RESET_JOIN));
    Feeder &again = Enable();
    ASSERT_TRUE(Tava_ASIO_Start(0, 0));
    EXPECT_TRUE(WaitFor([&] { return again.calls.load() > 0; }));
    EXPECT_TRUE(Tava_ASIO_Free());
    EXPECT_FALSE(Tava_ASIO_IsStarted());
}

// The capture holds exactly the delivered bytes in DSD_U32_BE layout, short deliveries and paused periods
// filled with silence; with the pair above channel 0 the device gets more channels, the others silent. Reset
// meets a call in flight and returns only after it; no call follows, and the output runs on in silence.
TEST_F(Host, Play_CaptureHoldsDeliveredBytesWithSilenceForShortPausedAndResetPeriods) {
    for (uint32_t pairChannel : {0u, 2u}) {
        SCOPED_TRACE(pairChannel);
        Open();
        Feeder &feeder = Enable(pairChannel);
        feeder.data = TestData(kDsd64PairBytesPerSecond / 4);
        feeder.sleepMs = 8;
        ASSERT_TRUE(Tava_ASIO_Start(0, 0));
        ASSERT_TRUE(WaitFor([&] { return feeder.calls.load() >= 8; }));
        ASSERT_TRUE(Tava_ASIO_ChannelPause(0, pairChannel));
        const int callsAtPause = feeder.calls.load();
        std::this_thread::sleep_for(std::chrono::milliseconds(150));
        EXPECT_EQ(feeder.calls.load(), callsAtPause) << "no calls while paused";
        ASSERT_TRUE(Tava_ASIO_ChannelReset(0, -1, TAVA_RESET_PAUSE));
        // Past the data: a few more periods of nothing delivered.
        ASSERT_TRUE(WaitFor([&] { return feeder.pastDataNs.load() != 0; }));
        const int callsPast = feeder.calls.load();
        ASSERT_TRUE(WaitFor([&] { return feeder.calls.load() >= callsPast + 3 && feeder.inCall.load(); }));
        ASSERT_TRUE(Tava_ASIO_ChannelReset(0, -1, TAVA_RESET_ENABLE | TAVA_RESET_JOIN));
        feeder.forbidden.store(true);
        std::this_thread::sleep_for(std::chrono::milliseconds(80));
        EXPECT_TRUE(Tava_ASIO_IsStarted());
        ASSERT_TRUE(Tava_ASIO_Stop());
        EXPECT_TRUE(Refused(Tava_ASIO_Start(0, 0), TAVO_ERROR_NOCHAN)) << "Reset undid the enable";
        ASSERT_TRUE(Tava_ASIO_Free()); // closes the capture file
        EXPECT_EQ(feeder.faults.load(), 0) << "calls with wrong arguments, or after Reset returned";

        // The pair (left, right bytes interleaved) from the capture's frames; the other channels are silent.
        std::ifstream in(g_capture, std::ios::binary);
        const std::vector<uint8_t> capture{std::istreambuf_iterator<char>(in),
                                           std::istreambuf_iterator<char>()};
        const size_t frameBytes = 4 * (pairChannel + 2);
        ASSERT_EQ(capture.size() % frameBytes, 0u);
        std::vector<uint8_t> pair;
        for (size_t f = 0; f < capture.size(); f += frameBytes) {
            for (size_t i = 0; i < 4 * pairChannel; ++i) ASSERT_EQ(capture[f + i], 0x69) << "byte " << f + i;
            const uint8_t *l = &capture[f + 4 * pairChannel], *r = l + 4;
            for (int i = 0; i < 4; ++i) pair.insert(pair.end(), {l[i], r[i]});
        }
        const size_t length = feeder.periods.at(0).size();
        ASSERT_EQ(length % 8, 0u) << "whole DSD_U32 stereo frames";
        ASSERT_EQ(pair.size() % length, 0u) << "whole periods";

        // Every period is either the next call's period or silence (paused, or after Reset).
        size_t next = 0, silent = 0;
        for (size_t at = 0; at < pair.size(); at += length) {
            const std::vector<uint8_t> period(pair.begin() + static_cast<long>(at),
                                              pair.begin() + static_cast<long>(at + length));
            if (next < feeder.periods.size() && period == feeder.periods[next])
                ++next;
            else if (std::all_of(period.begin(), period.end(), [](uint8_t b) { return b == 0x69; }))
                ++silent;
            else
                FAIL() << "period at byte " << at << " is neither the next delivery nor silence";
        }
        EXPECT_EQ(next, feeder.periods.size()) << "every call's period is in the capture";
        EXPECT_GE(silent, 6u) << "paused periods, and those after Reset, are played as silence";
    }
}

// A PCM that never blocks is paced by the clock: the procedure is asked for the data past one second of
// DSD64 about one second after it was first asked (less the one buffer the host keeps ahead).
TEST_F(Host, Pacing_OneSecondOfDsd64TakesAboutOneSecond) {
    Open();
    Feeder &feeder = Enable();
    feeder.shortCalls = false;
    feeder.data = TestData(kDsd64PairBytesPerSecond);
    ASSERT_TRUE(Tava_ASIO_Start(0, 0));
    ASSERT_TRUE(WaitFor([&] { return feeder.pastDataNs.load() != 0; }, std::chrono::seconds(10)));
    const double seconds = static_cast<double>(feeder.pastDataNs.load() - feeder.firstCallNs.load()) *
                           Clock::period::num / Clock::period::den;
    RecordProperty("seconds", std::to_string(seconds));
    EXPECT_GT(seconds, 0.8);
    EXPECT_LT(seconds, 1.6);
}

// A device that takes no DSD format plays converted PCM at the highest rate of the DSD's family it takes,
// while a DSD device plays natively and keeps its volume at 1. The WAV holds exactly what the converter
// gives offline for the same bits: no frame lost, doubled or changed on the way.
TEST_F(Host, PcmOnly_WavEqualsTheConverterRunOffline) {
    const int pcmOnly = DeviceNumber("pcmonly");
    ASSERT_GE(pcmOnly, 0);
    const double half = 0.5, tooLoud = 1.5;
    for (const auto &[number, path] :
         {std::pair{device, TAVA_PATH_NATIVE}, std::pair{pcmOnly, TAVA_PATH_PCM}}) {
        ASSERT_TRUE(Tava_ASIO_Init(number, 1));
        for (double rate : {kDsd64, 22579200.0, 3072000.0, 44100.0}) {
            TavaRateInfo info{rate, 99, 99, 99};
            ASSERT_TRUE(Tava_ASIO_Future(TAVA_FUTURE_RATE_INFO, &info));
            const bool pcm = path == TAVA_PATH_PCM, dsd = rate != 44100.0;
            EXPECT_EQ(info.path, dsd ? path : TAVA_PATH_NONE) << rate;
            EXPECT_EQ(info.pcmRate, pcm && dsd ? (rate == 3072000.0 ? 384000u : 352800u) : 0u) << rate;
            EXPECT_EQ(info.pcmBits, pcm && dsd ? 32u : 0u) << rate;
        }
        EXPECT_EQ(Tava_ASIO_Future(TAVA_FUTURE_VOLUME, const_cast<double *>(&half)), path == TAVA_PATH_PCM);
        EXPECT_TRUE(Refused(Tava_ASIO_Future(TAVA_FUTURE_VOLUME, const_cast<double *>(&tooLoud)),
                            TAVO_ERROR_ILLPARAM));
        if (path == TAVA_PATH_NATIVE) {
            ASSERT_TRUE(Tava_ASIO_Free());
        }
    }
    // Full volume again for the comparison below; the device stays open from above.
    const double full = 1.0;
    ASSERT_TRUE(Tava_ASIO_Future(TAVA_FUTURE_VOLUME, const_cast<double *>(&full)));
    ASSERT_TRUE(Tava_ASIO_SetDSD(1));
    ASSERT_TRUE(Tava_ASIO_SetRate(kDsd64));
    Feeder &feeder = Enable();
    feeder.shortCalls = false;
    const auto samples = static_cast<size_t>(0.3 * kDsd64);
    const std::vector<uint8_t> bits = SdmModulate(
        2822400, [](size_t n) { return 0.5 * std::sin(2 * M_PI * 997.0 * n / kDsd64); }, samples, 5);
    feeder.data = SdmPair(bits, bits);
    ASSERT_TRUE(Tava_ASIO_Start(0, 0));
    ASSERT_TRUE(WaitFor([&] { return feeder.pastDataNs.load() != 0; }));
    const int callsPast = feeder.calls.load();
    ASSERT_TRUE(WaitFor([&] { return feeder.calls.load() >= callsPast + 4; }));
    ASSERT_TRUE(Tava_ASIO_Stop());
    ASSERT_TRUE(Tava_ASIO_Free());

    Wav wav;
    ASSERT_TRUE(ReadWav(PcmOnlyWav(g_home), wav));
    EXPECT_EQ(wav.rate, 352800u);
    EXPECT_EQ(wav.bits, 32u);
    ASSERT_EQ(wav.channels, 2u);
    std::vector<uint8_t> input = feeder.data;
    input.resize(input.size() / 8 * 8 + 8 * 4000, 0x69);
    std::string why;
    tava::PcmConverter *c = tava::PcmCreate(
        {2822400, 352800, false, tava::PcmFormat::S32Le, 32, 2, 0, static_cast<uint32_t>(input.size())}, why);
    ASSERT_NE(c, nullptr) << why;
    std::vector<uint8_t> offline(tava::PcmMaxFrames(c) * 8);
    offline.resize(8 * tava::PcmConvert(c, input.data(), static_cast<uint32_t>(input.size()), false, 1.0,
                                        offline.data()));
    tava::PcmDestroy(c);
    // Both without their leading and trailing zero frames: the output's start depends on when it began.
    auto trim = [](const std::vector<uint8_t> &v) {
        size_t from = 0, to = v.size() / 8 * 8;
        auto zero = [&](size_t at) {
            return std::all_of(&v[at], &v[at] + 8, [](uint8_t b) { return b == 0; });
        };
        while (from < to && zero(from)) from += 8;
        while (to > from && zero(to - 8)) to -= 8;
        return std::vector<uint8_t>(v.begin() + static_cast<long>(from), v.begin() + static_cast<long>(to));
    };
    const std::vector<uint8_t> heard = trim(wav.data), expected = trim(offline);
    EXPECT_GT(expected.size(), 8 * 352800 / 4);
    ASSERT_EQ(heard.size(), expected.size());
    EXPECT_TRUE(heard == expected) << "the WAV differs from the offline conversion";
}

} // namespace

int main(int argc, char **argv) {
    ::testing::InitGoogleTest(&argc, argv);
    // The configuration must be in place before the first ALSA call reads it.
    const TempFolder dir;
    g_capture = dir.path + "out.raw";
    g_home = dir.path;
    UseCaptureConfig(dir.path, g_capture, GoneDevice | ConverterDevice | PcmOnlyDevice);
    setenv("GS_TAVA_LOG", "1", 0); // the host's reasons for refusals, in the test log
    return RUN_ALL_TESTS();
}
