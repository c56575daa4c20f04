// tava.so as the program uses it, through the real ALSA library. The test's own ALSA configuration adds a
// file PCM over null with a description ("DSD capture"), which receives exactly the frames the host writes,
// and two listed PCMs that must not be opened: one over a card that does not exist, one that converts.

#include "tava.h"
#include "tavo.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <limits>
#include <memory>
#include <string>
#include <thread>
#include <vector>

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

fs::path g_dir;     // the test's temporary folder
fs::path g_capture; // what the capture PCM writes

constexpr double kDsd64 = 2822400.0;
constexpr uint32_t kDsd64PairBytesPerSecond = 2822400 / 8 * 2;

void WriteAlsaConfig() {
    std::ofstream conf(g_dir / "extra.conf");
    conf << "pcm.dsdcapture { type file slave.pcm \"null\" file \"" << g_capture.string()
         << "\" format \"raw\" hint { show on description \"DSD capture\" } }\n"
         << "pcm.gonedac { type file slave.pcm { type hw card 7 } file \"" << (g_dir / "gone.raw").string()
         << "\" format \"raw\" hint { show on description \"Gone DAC\" } }\n"
         << "pcm.converter { type plug slave.pcm \"null\" hint { show on description \"Converter\" } }\n";
}

// The device numbers of the drivers, -1 where not listed; count gets the list length.
int DeviceNumber(const char *driver, int *count = nullptr) {
    int found = -1;
    TavaDeviceInfo info;
    uint32_t n = 0;
    for (; Tava_ASIO_GetDeviceInfo(n, &info); ++n)
        if (std::strcmp(info.driver, driver) == 0) found = static_cast<int>(n);
    if (count) *count = static_cast<int>(n);
    return found;
}

std::vector<uint8_t> ReadFile(const fs::path &path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
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
    std::vector<std::vector<uint8_t>> periods; // output thread writes; read after Stop
    std::atomic<int> calls{0};
    std::atomic<uint32_t> length{0};
    std::atomic<bool> forbidden{false}; // set by the test: no call may come any more
    std::atomic<bool> inCall{false};    // inside a call (with sleepMs only)
    std::atomic<int> forbiddenCalls{0};
    std::atomic<int> wrongArgs{0};
    std::atomic<int64_t> firstCallNs{0}; // steady clock at the first call
    std::atomic<int64_t> pastDataNs{0};  // steady clock at the first call past the data
    int sleepMs = 0;                     // a slow procedure: each call sleeps this long before it returns
    uint32_t expectedChannel = 0;

    static uint32_t Proc(int input, uint32_t channel, void *buffer, uint32_t length, void *user) {
        auto *f = static_cast<Feeder *>(user);
        const int64_t now = Clock::now().time_since_epoch().count();
        if (f->calls.load() == 0) f->firstCallNs.store(now);
        if (f->pos >= f->data.size() && f->pastDataNs.load() == 0) f->pastDataNs.store(now);
        if (f->forbidden.load()) f->forbiddenCalls.fetch_add(1);
        if (input != 0 || channel != f->expectedChannel) f->wrongArgs.fetch_add(1);
        f->length.store(length);
        const int call = f->calls.fetch_add(1);
        uint32_t n = static_cast<uint32_t>(std::min<size_t>(length, f->data.size() - f->pos));
        if (f->shortCalls && call % 3 == 1 && n > 0) n = n / 2 + 1;
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
            if (f->forbidden.load()) f->forbiddenCalls.fetch_add(1); // still inside after it was forbidden
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

// The pair (left, right bytes interleaved) at pairChannel of a DSD_U32_BE capture of `channels` channels, as
// the program delivered it; the other channels must hold silence.
std::vector<uint8_t> PairFromU32Be(const std::vector<uint8_t> &capture, uint32_t channels,
                                   uint32_t pairChannel) {
    const size_t frameBytes = 4 * channels;
    std::vector<uint8_t> pair;
    for (size_t f = 0; f + frameBytes <= capture.size(); f += frameBytes) {
        for (uint32_t c = 0; c < channels; ++c) {
            if (c == pairChannel || c == pairChannel + 1) continue;
            for (int i = 0; i < 4; ++i) EXPECT_EQ(capture[f + 4 * c + i], 0x69) << "channel " << c;
        }
        const uint8_t *l = &capture[f + 4 * pairChannel], *r = l + 4;
        for (int i = 0; i < 4; ++i) pair.insert(pair.end(), {l[i], r[i]});
    }
    return pair;
}

class Host : public ::testing::Test {
  protected:
    void SetUp() override {
        device = DeviceNumber("dsdcapture");
        ASSERT_GE(device, 0);
    }
    void TearDown() override {
        if (Tava_ASIO_IsStarted()) Tava_ASIO_Stop();
        Tava_ASIO_Free();
    }
    // Init, DSD mode, rate, the pair at channel with the feeder's procedure.
    void Open(double rate, Feeder &feeder, uint32_t channel = 0) {
        ASSERT_TRUE(Tava_ASIO_Init(device, 1));
        ASSERT_TRUE(Tava_ASIO_SetDSD(1));
        ASSERT_TRUE(Tava_ASIO_SetRate(rate));
        feeder.expectedChannel = channel;
        ASSERT_TRUE(Tava_ASIO_ChannelEnable(0, channel, Feeder::Proc, &feeder));
        ASSERT_TRUE(Tava_ASIO_ChannelJoin(0, channel + 1, static_cast<int>(channel)));
        ASSERT_TRUE(Tava_ASIO_ChannelSetFormat(0, channel, TAVA_FORMAT_DSD_MSB));
    }
    // Feeders outlive TearDown, which stops the output that may still call them after a failed assertion.
    Feeder &NewFeeder() { return *feeders.emplace_back(std::make_unique<Feeder>()); }
    int device = -1;
    std::vector<std::unique_ptr<Feeder>> feeders;
};

TEST_F(Host, Devices_ListTheDescribedCapturePcmButNotNullOrFrontEnds) {
    int count = 0;
    ASSERT_GE(DeviceNumber("dsdcapture", &count), 0);
    TavaDeviceInfo info;
    ASSERT_TRUE(Tava_ASIO_GetDeviceInfo(static_cast<uint32_t>(device), &info));
    EXPECT_STREQ(info.name, "DSD capture");
    const char *name = info.name;
    for (int n = 0; n < count; ++n) {
        ASSERT_TRUE(Tava_ASIO_GetDeviceInfo(static_cast<uint32_t>(n), &info));
        EXPECT_STRNE(info.driver, "null"); // listed by ALSA with a description, but no sound device
    }
    EXPECT_FALSE(Tava_ASIO_GetDeviceInfo(static_cast<uint32_t>(count), &info));
    EXPECT_EQ(Tava_ASIO_ErrorGetCode(), TAVO_ERROR_DEVICE);
    // A new enumeration keeps the texts handed out before.
    ASSERT_TRUE(Tava_ASIO_GetDeviceInfo(0, &info));
    EXPECT_STREQ(name, "DSD capture");
    EXPECT_EQ(DeviceNumber("dsdcapture"), device) << "device numbers are stable";
}

TEST_F(Host, Init_RefusesBadNumbersUnopenableAndConvertingPcmsAndASecondInit) {
    int count = 0;
    DeviceNumber("dsdcapture", &count);
    const int gone = DeviceNumber("gonedac"), converter = DeviceNumber("converter");
    ASSERT_GE(gone, 0);
    ASSERT_GE(converter, 0);
    const struct {
        int device;
        int code;
    } refused[] = {{count, TAVO_ERROR_DEVICE},
                   {-1, TAVO_ERROR_DEVICE},
                   {gone, TAVO_ERROR_DRIVER},
                   {converter, TAVO_ERROR_DRIVER}};
    for (const auto &r : refused) {
        EXPECT_FALSE(Tava_ASIO_Init(r.device, 0)) << r.device;
        EXPECT_EQ(Tava_ASIO_ErrorGetCode(), r.code) << r.device;
        EXPECT_FALSE(Tava_ASIO_IsStarted());
        EXPECT_EQ(Tava_ASIO_ErrorGetCode(), TAVO_ERROR_INIT) << "a refused Init leaves the host closed";
    }
    ASSERT_TRUE(Tava_ASIO_Init(device, 0));
    EXPECT_FALSE(Tava_ASIO_Init(device, 0));
    EXPECT_EQ(Tava_ASIO_ErrorGetCode(), TAVO_ERROR_ALREADY);
    EXPECT_TRUE(Tava_ASIO_Free());
    EXPECT_FALSE(Tava_ASIO_Free());
    EXPECT_EQ(Tava_ASIO_ErrorGetCode(), TAVO_ERROR_INIT);
    ASSERT_TRUE(Tava_ASIO_Init(device, 1)) << "the device is free again after Free";
}

TEST_F(Host, Calls_BeforeInitFailWithCode8) {
    const std::pair<const char *, std::function<int()>> calls[] = {
        {"Free", [] { return Tava_ASIO_Free(); }},
        {"SetDSD", [] { return Tava_ASIO_SetDSD(1); }},
        {"CheckRate", [] { return Tava_ASIO_CheckRate(kDsd64); }},
        {"SetRate", [] { return Tava_ASIO_SetRate(kDsd64); }},
        {"GetRate", [] { return static_cast<int>(Tava_ASIO_GetRate()); }},
        {"ChannelEnable", [] { return Tava_ASIO_ChannelEnable(0, 0, Feeder::Proc, nullptr); }},
        {"ChannelJoin", [] { return Tava_ASIO_ChannelJoin(0, 1, 0); }},
        {"ChannelSetFormat", [] { return Tava_ASIO_ChannelSetFormat(0, 0, TAVA_FORMAT_DSD_MSB); }},
        {"Start", [] { return Tava_ASIO_Start(0, 0); }},
        {"Stop", [] { return Tava_ASIO_Stop(); }},
        {"IsStarted", [] { return Tava_ASIO_IsStarted(); }},
        {"ChannelPause", [] { return Tava_ASIO_ChannelPause(0, 0); }},
        {"ChannelReset", [] { return Tava_ASIO_ChannelReset(0, -1, 3); }},
    };
    for (const auto &[name, call] : calls) {
        EXPECT_EQ(call(), 0) << name;
        EXPECT_EQ(Tava_ASIO_ErrorGetCode(), TAVO_ERROR_INIT) << name;
    }
}

TEST_F(Host, Rates_EveryDsdRateChecksOutAndNothingElseInDsdMode) {
    ASSERT_TRUE(Tava_ASIO_Init(device, 0));
    ASSERT_TRUE(Tava_ASIO_SetDSD(1));
    for (double rate :
         {2822400.0, 5644800.0, 11289600.0, 22579200.0, 3072000.0, 6144000.0, 12288000.0, 24576000.0})
        EXPECT_TRUE(Tava_ASIO_CheckRate(rate)) << rate;
    for (double rate : {44100.0, 0.0, -kDsd64, kDsd64 + 0.5, 45158400.0, std::nan(""),
                        std::numeric_limits<double>::infinity()}) {
        EXPECT_FALSE(Tava_ASIO_CheckRate(rate)) << rate;
        EXPECT_EQ(Tava_ASIO_ErrorGetCode(), TAVO_ERROR_SPEAKER) << rate;
    }
    ASSERT_TRUE(Tava_ASIO_SetRate(5644800.0));
    EXPECT_EQ(Tava_ASIO_GetRate(), 5644800.0);
    EXPECT_FALSE(Tava_ASIO_SetRate(44100.0));
    EXPECT_EQ(Tava_ASIO_ErrorGetCode(), TAVO_ERROR_SPEAKER);
    EXPECT_EQ(Tava_ASIO_GetRate(), 5644800.0) << "a refused rate leaves the rate set";

    // Out of DSD mode, rates are PCM rates.
    ASSERT_TRUE(Tava_ASIO_SetDSD(0));
    EXPECT_TRUE(Tava_ASIO_CheckRate(44100.0));
    EXPECT_FALSE(Tava_ASIO_CheckRate(44100.5));
}

TEST_F(Host, Channels_StartNeedsAnEnabledPairInDsdModeAtASupportedRate) {
    Feeder &feeder = NewFeeder();
    ASSERT_TRUE(Tava_ASIO_Init(device, 1));
    EXPECT_FALSE(Tava_ASIO_ChannelEnable(1, 0, Feeder::Proc, &feeder));
    EXPECT_EQ(Tava_ASIO_ErrorGetCode(), TAVO_ERROR_ILLPARAM);
    EXPECT_FALSE(Tava_ASIO_ChannelSetFormat(0, 0, 32));
    EXPECT_EQ(Tava_ASIO_ErrorGetCode(), TAVO_ERROR_FORMAT);
    EXPECT_FALSE(Tava_ASIO_Start(0, 0));
    EXPECT_EQ(Tava_ASIO_ErrorGetCode(), TAVO_ERROR_NOCHAN);
    ASSERT_TRUE(Tava_ASIO_ChannelEnable(0, 0, Feeder::Proc, &feeder));
    ASSERT_TRUE(Tava_ASIO_ChannelJoin(0, 1, 0));
    EXPECT_FALSE(Tava_ASIO_Start(0, 0));
    EXPECT_EQ(Tava_ASIO_ErrorGetCode(), TAVO_ERROR_FORMAT) << "no output outside DSD mode";
    ASSERT_TRUE(Tava_ASIO_SetDSD(1));
    EXPECT_FALSE(Tava_ASIO_Start(0, 0));
    EXPECT_EQ(Tava_ASIO_ErrorGetCode(), TAVO_ERROR_SPEAKER) << "no rate set";
    ASSERT_TRUE(Tava_ASIO_SetRate(kDsd64));
    EXPECT_FALSE(Tava_ASIO_Stop());
    EXPECT_EQ(Tava_ASIO_ErrorGetCode(), TAVO_ERROR_START);

    ASSERT_TRUE(Tava_ASIO_Start(0, 0));
    EXPECT_TRUE(Tava_ASIO_IsStarted());
    EXPECT_FALSE(Tava_ASIO_Start(0, 0));
    EXPECT_EQ(Tava_ASIO_ErrorGetCode(), TAVO_ERROR_START);
    EXPECT_FALSE(Tava_ASIO_SetRate(5644800.0)) << "the running output keeps its rate";
    EXPECT_EQ(Tava_ASIO_ErrorGetCode(), TAVO_ERROR_START);
    EXPECT_TRUE(WaitFor([&] { return feeder.calls.load() > 0; }));
    ASSERT_TRUE(Tava_ASIO_Stop());
    EXPECT_FALSE(Tava_ASIO_IsStarted());
    EXPECT_EQ(Tava_ASIO_ErrorGetCode(), TAVO_OK);
    EXPECT_FALSE(Tava_ASIO_Stop());
    EXPECT_EQ(Tava_ASIO_ErrorGetCode(), TAVO_ERROR_START);
    // Free while started stops first.
    ASSERT_TRUE(Tava_ASIO_Start(0, 0));
    EXPECT_TRUE(Tava_ASIO_Free());
    EXPECT_FALSE(Tava_ASIO_IsStarted());
}

// The capture holds exactly the delivered bytes in DSD_U32_BE layout, short deliveries and paused periods
// filled with silence; with the pair above channel 0 the device gets more channels, the others silent.
TEST_F(Host, Play_CaptureHoldsDeliveredBytesWithSilenceForShortAndPausedPeriods) {
    for (uint32_t pairChannel : {0u, 2u}) {
        SCOPED_TRACE(pairChannel);
        Feeder &feeder = NewFeeder();
        feeder.data = TestData(kDsd64PairBytesPerSecond / 4);
        Open(kDsd64, feeder, pairChannel);
        ASSERT_TRUE(Tava_ASIO_Start(0, 0));

        ASSERT_TRUE(WaitFor([&] { return feeder.calls.load() >= 8; }));
        ASSERT_TRUE(Tava_ASIO_ChannelPause(0, pairChannel));
        const int callsAtPause = feeder.calls.load();
        std::this_thread::sleep_for(std::chrono::milliseconds(150));
        EXPECT_EQ(feeder.calls.load(), callsAtPause) << "no calls while paused";
        EXPECT_TRUE(Tava_ASIO_IsStarted());
        ASSERT_TRUE(Tava_ASIO_ChannelReset(0, -1, TAVA_RESET_PAUSE));
        ASSERT_TRUE(WaitFor([&] { return feeder.calls.load() > callsAtPause; }));

        // Past the data: a few more periods of nothing delivered.
        ASSERT_TRUE(WaitFor([&] { return feeder.pastDataNs.load() != 0; }));
        const int callsPast = feeder.calls.load();
        ASSERT_TRUE(WaitFor([&] { return feeder.calls.load() >= callsPast + 3; }));
        ASSERT_TRUE(Tava_ASIO_ChannelReset(0, -1, TAVA_RESET_ENABLE | TAVA_RESET_JOIN));
        ASSERT_TRUE(Tava_ASIO_Stop());
        ASSERT_TRUE(Tava_ASIO_Free()); // closes the capture file

        const std::vector<uint8_t> capture = ReadFile(g_capture);
        const uint32_t channels = pairChannel + 2;
        ASSERT_EQ(capture.size() % (4 * channels), 0u);
        const std::vector<uint8_t> pair = PairFromU32Be(capture, channels, pairChannel);
        const uint32_t length = feeder.length.load();
        ASSERT_GT(length, 0u);
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
        EXPECT_GE(silent, 3u) << "paused periods are played as silence";
        EXPECT_EQ(feeder.wrongArgs.load(), 0) << "called with input 0 and the enabled channel";

        // All the data is there, in order, once the silence after short deliveries is taken out.
        std::vector<uint8_t> delivered;
        for (uint8_t b : pair)
            if (b != 0x69) delivered.push_back(b);
        EXPECT_EQ(delivered, feeder.data);
    }
}

TEST_F(Host, Reset_NoCallAfterResetReturnsAndTheOutputRunsOnInSilence) {
    for (int round = 0; round < 5; ++round) {
        SCOPED_TRACE(round);
        Feeder &feeder = NewFeeder();
        feeder.data = TestData(kDsd64PairBytesPerSecond);
        feeder.sleepMs = 8; // Reset meets a call in flight, and must wait for it
        if (round == 0)
            Open(kDsd64, feeder);
        else {
            feeder.expectedChannel = 0;
            ASSERT_TRUE(Tava_ASIO_ChannelEnable(0, 0, Feeder::Proc, &feeder));
            ASSERT_TRUE(Tava_ASIO_ChannelJoin(0, 1, 0));
        }
        ASSERT_TRUE(Tava_ASIO_Start(0, 0));
        ASSERT_TRUE(WaitFor([&] { return feeder.calls.load() >= 3 + round && feeder.inCall.load(); }));
        ASSERT_TRUE(Tava_ASIO_ChannelReset(0, -1, TAVA_RESET_ENABLE | TAVA_RESET_JOIN));
        feeder.forbidden.store(true);
        std::this_thread::sleep_for(std::chrono::milliseconds(80));
        EXPECT_TRUE(Tava_ASIO_IsStarted());
        ASSERT_TRUE(Tava_ASIO_Stop());
        EXPECT_EQ(feeder.forbiddenCalls.load(), 0);
        EXPECT_FALSE(Tava_ASIO_Start(0, 0));
        EXPECT_EQ(Tava_ASIO_ErrorGetCode(), TAVO_ERROR_NOCHAN) << "Reset undid the enable";
    }
    // A pause survives neither a Reset of the channel nor a new enable: the next start calls the procedure.
    Feeder &feeder = NewFeeder();
    ASSERT_TRUE(Tava_ASIO_ChannelEnable(0, 0, Feeder::Proc, &feeder));
    ASSERT_TRUE(Tava_ASIO_ChannelJoin(0, 1, 0));
    ASSERT_TRUE(Tava_ASIO_ChannelPause(0, 0));
    ASSERT_TRUE(Tava_ASIO_ChannelReset(0, -1, TAVA_RESET_ENABLE | TAVA_RESET_JOIN));
    ASSERT_TRUE(Tava_ASIO_ChannelEnable(0, 0, Feeder::Proc, &feeder));
    ASSERT_TRUE(Tava_ASIO_ChannelJoin(0, 1, 0));
    ASSERT_TRUE(Tava_ASIO_Start(0, 0));
    EXPECT_TRUE(WaitFor([&] { return feeder.calls.load() > 0; }));
}

// A PCM that never blocks is paced by the clock: the procedure is asked for the data past one second of
// DSD64 about one second after it was first asked (less the one buffer the host keeps ahead).
TEST_F(Host, Pacing_OneSecondOfDsd64TakesAboutOneSecond) {
    Feeder &feeder = NewFeeder();
    feeder.shortCalls = false;
    feeder.data = TestData(kDsd64PairBytesPerSecond);
    Open(kDsd64, feeder);
    ASSERT_TRUE(Tava_ASIO_Start(0, 0));
    ASSERT_TRUE(WaitFor([&] { return feeder.pastDataNs.load() != 0; }, std::chrono::seconds(10)));
    const double seconds = static_cast<double>(feeder.pastDataNs.load() - feeder.firstCallNs.load()) *
                           Clock::period::num / Clock::period::den;
    RecordProperty("seconds", std::to_string(seconds));
    EXPECT_GT(seconds, 0.8);
    EXPECT_LT(seconds, 1.6);
}

} // namespace

int main(int argc, char **argv) {
    ::testing::InitGoogleTest(&argc, argv);
    // The configuration must be in place before the first ALSA call reads it.
    std::string dir = (fs::temp_directory_path() / "tava-test-XXXXXX").string();
    if (!mkdtemp(dir.data())) return 2;
    g_dir = dir;
    g_capture = g_dir / "out.raw";
    WriteAlsaConfig();
    const std::string path = "/usr/share/alsa/alsa.conf:" + (g_dir / "extra.conf").string();
    setenv("ALSA_CONFIG_PATH", path.c_str(), 1);
    setenv("GS_TAVA_LOG", "1", 0); // the host's reasons for refusals, in the test log
    const int result = RUN_ALL_TESTS();
    std::error_code ec;
    fs::remove_all(g_dir, ec);
    return result;
}
