// The output device: the probe of a device's DSD rates, the listing for the device window and the
// saved-device check, against a stand-in for the output library.

#include "fake_engine.h"

#include "audio/audio.h"
#include "library/settings.h"

#include <gtest/gtest.h>

#include <algorithm>

TEST(DeviceProbe, TestsRatesUpwardsUntilTheFirstRefusalAndAlwaysCloses) {
    fake::Install({{"Skips 5.6", true, true, {2'822'400.0, 11'289'600.0}},
                   {"No DSD", true, false, fake::AllRates},
                   {"Busy", false, true, fake::AllRates}});
    const struct {
        bool opened;
        std::array<uint8_t, 4> dsd;
        std::vector<std::string> calls;
    } expected[] = {
        // The device's name first: its card is reserved for the probe.
        {true, {1, 0, 0, 0}, {"info 0", "init 0", "dsd 1", "rate 2822400", "rate 5644800", "dsd 0", "free"}},
        {true, {0, 0, 0, 0}, {"info 1", "init 1", "dsd 1", "free"}},
        {false, {0, 0, 0, 0}, {"info 2", "init 2", "free"}},
    };
    for (int n = 0; n < 3; ++n) {
        fake::Calls.clear();
        std::array<uint8_t, 4> dsd{9, 9, 9, 9};
        EXPECT_EQ(ProbeDsdRates(n, dsd), expected[n].opened) << n;
        EXPECT_EQ(dsd, expected[n].dsd) << n;
        EXPECT_EQ(fake::Calls, expected[n].calls) << n;
    }
}

TEST(DeviceListing, ListsTheFirstTwelveDevicesProbedAndLeavesNoneOpen) {
    std::vector<FakeDevice> devices(13, FakeDevice{"DAC", true, true, fake::AllRates});
    devices[1] = {"Refuses DSD", true, false, fake::AllRates};
    devices[2] = {"Cannot open", false, true, fake::AllRates};
    devices[3] = {"Only 5.6", true, true, {5'644'800.0}};
    fake::Install(devices);

    ListedDevice device;
    int n = 0;
    for (; ListOutputDevice(n, device); ++n) {
        EXPECT_EQ(device.Row.Number, n);
        EXPECT_EQ(device.Row.Name, devices[size_t(n)].name);
        EXPECT_EQ(device.Row.Dsd,
                  (n == 0 || n > 3 ? std::array<uint8_t, 4>{1, 1, 1, 1} : std::array<uint8_t, 4>{}))
            << n;
        EXPECT_EQ(device.Opened, n != 2) << n;
        // None of them is a hardware PCM that another program could hold.
        EXPECT_EQ(device.BusyNote, "") << n;
    }
    EXPECT_EQ(n, 12);
    for (const std::string &call : fake::Calls) EXPECT_NE(call, "info 12");
    EXPECT_EQ(fake::Open, -1) << "no device stays open";

    fake::Install({{"Only one", true, true, fake::AllRates}});
    EXPECT_TRUE(ListOutputDevice(0, device));
    EXPECT_FALSE(ListOutputDevice(1, device)) << "past the last device";
}

// A device that takes DSD 2.8 MHz bit-perfect is offered only the rates it takes bit-perfect, as
// before conversion existed; one that converts 2.8 MHz is offered every rate it converts.
TEST(DeviceListing, KeepsEachDeviceToOneKindOfOutput) {
    const std::set<double> upper = {11'289'600.0, 22'579'200.0};
    FakeDevice dop{"DoP", true, true, fake::AllRates};
    dop.dop = true;
    FakeDevice mixed{"Native below 11.3", true, true, fake::AllRates, 2, upper};
    FakeDevice pcm{"PCM only", true, true, fake::AllRates, 2, fake::AllRates};
    pcm.pcm_rate = 88'200;
    FakeDevice silent{"No rate info", true, true, {2'822'400.0}};
    silent.rate_info = false;
    const struct {
        FakeDevice device;
        std::array<uint8_t, 4> dsd;
        uint32_t path, pcm_rate;
    } cases[] = {
        {{"Native", true, true, fake::AllRates}, {1, 1, 1, 1}, TAVA_PATH_NATIVE, 0},
        {dop, {1, 1, 1, 1}, TAVA_PATH_DOP, 0},
        {mixed, {1, 1, 0, 0}, TAVA_PATH_NATIVE, 0},
        {pcm, {1, 1, 1, 1}, TAVA_PATH_PCM, 88'200},
        {silent, {1, 0, 0, 0}, TAVA_PATH_NATIVE, 0},
        {{"Refuses DSD", true, false, fake::AllRates}, {}, TAVA_PATH_NONE, 0},
        {{"Cannot open", false, true, fake::AllRates}, {}, TAVA_PATH_NONE, 0},
    };
    for (const auto &c : cases) {
        fake::Install({c.device});
        ListedDevice listed;
        ASSERT_TRUE(ListOutputDevice(0, listed));
        EXPECT_EQ(listed.Row.Dsd, c.dsd) << c.device.name;
        EXPECT_EQ(listed.Route.path, c.path) << c.device.name;
        EXPECT_EQ(listed.Route.pcmRate, c.pcm_rate) << c.device.name;
        EXPECT_EQ(listed.Route.pcmBits, c.pcm_rate ? 24u : 0u) << c.device.name;
    }
}

TEST(SavedDeviceCheck, AcceptsTheNamedDeviceAmongTheFirstTwelveWhenItsRatesAndChannelsFitTheSavedValues) {
    const std::set<double> lower3 = {2'822'400.0, 5'644'800.0, 11'289'600.0};
    std::vector<FakeDevice> thirteen(13, FakeDevice{"DAC", true, true, fake::AllRates});
    thirteen[12].name = "USB DAC";
    // The saved bytes: channel, DSD 2.8/5.6/11.3 flags, view, cover track, blend.
    constexpr std::array<uint8_t, 7> usual = {0, 1, 1, 1, 2, 0, 1};
    auto with = [&](size_t i, uint8_t v) {
        std::array<uint8_t, 7> saved = usual;
        saved[i] = v;
        return saved;
    };
    struct Case {
        const char *what;
        std::vector<FakeDevice> devices;
        std::array<uint8_t, 7> saved;
        bool accepted;
    } cases[] = {
        {"unchanged", {{"Other", true, true, fake::AllRates}, {"USB DAC", true, true, lower3}}, usual, true},
        {"22.6 MHz not compared", {{"USB DAC", true, true, fake::AllRates}}, usual, true},
        {"now refuses 5.6 MHz", {{"USB DAC", true, true, {2'822'400.0}}}, usual, false},
        {"now takes 5.6 MHz too", {{"USB DAC", true, true, lower3}}, {0, 1, 0, 0, 2, 0, 1}, false},
        {"cannot be opened", {{"USB DAC", false, true, lower3}}, usual, false},
        {"gone", {{"USB DAC 2", true, true, lower3}}, usual, false},
        {"thirteenth", thirteen, usual, false},
        {"second pair of four channels", {{"USB DAC", true, true, lower3, 4}}, with(0, 2), true},
        {"second pair of two channels", {{"USB DAC", true, true, lower3, 2}}, with(0, 2), false},
        {"last channel alone", {{"USB DAC", true, true, lower3, 4}}, with(0, 3), false},
        {"no DSD at all, as saved", {{"USB DAC", true, false, {}}}, {0, 0, 0, 0, 2, 0, 1}, false},
        {"converts every rate", {{"USB DAC", true, true, fake::AllRates, 2, fake::AllRates}}, usual, true},
        {"now converts 11.3 MHz", {{"USB DAC", true, true, fake::AllRates, 2, {11'289'600.0}}}, usual, false},
        {"rate flag 2", {{"USB DAC", true, true, lower3}}, with(3, 2), false},
        {"view 3", {{"USB DAC", true, true, lower3}}, with(4, 3), false},
        {"cover track 2", {{"USB DAC", true, true, lower3}}, with(5, 2), false},
        {"blend 255", {{"USB DAC", true, true, lower3}}, with(6, 255), false},
    };
    for (const Case &c : cases) {
        fake::Install(c.devices);
        Saved.DeviceName = "USB DAC";
        Saved.Values = c.saved;
        DeviceCaps = {};
        OutputDevice = -1;
        EXPECT_EQ(CheckSavedDevice(), c.accepted) << c.what;
        EXPECT_EQ(fake::Open, -1) << c.what << ": no device stays open";
        for (const std::string &call : fake::Calls) EXPECT_NE(call, "info 12") << c.what;
        if (c.accepted) {
            EXPECT_EQ(DeviceCaps.Name, "USB DAC") << c.what;
            EXPECT_EQ(OutputDevice, int(c.devices.size()) - 1) << c.what;
            EXPECT_EQ(DeviceCaps.Number, OutputDevice) << c.what;
        }
    }
}

TEST(OutputVolume, OnlyAnOutputThatConvertsTakesAGainWhichTheNextSuchOutputKeeps) {
    fake::Install(
        {{"DAC", true, true, fake::AllRates}, {"PCM", true, true, fake::AllRates, 2, fake::AllRates}});
    auto open = [](int n) {
        CloseOutputForChange();
        OutputDevice = n;
        fake::Calls.clear();
        return OpenOutputDevice();
    };
    auto volume_calls = [] {
        return std::count_if(fake::Calls.begin(), fake::Calls.end(),
                             [](const std::string &call) { return call.rfind("volume", 0) == 0; });
    };
    ASSERT_TRUE(open(0));
    EXPECT_FALSE(OutputConverts());
    EXPECT_FALSE(SetOutputVolume(0.5));
    EXPECT_EQ(OutputVolume(), 1.0);

    ASSERT_TRUE(open(1));
    EXPECT_TRUE(OutputConverts());
    EXPECT_EQ(volume_calls(), 0) << "full gain is where every output starts";
    for (auto [asked, held] : {std::pair{1.5, 1.0}, {-2.0, 0.0}, {0.25, 0.25}}) {
        EXPECT_TRUE(SetOutputVolume(asked)) << asked;
        EXPECT_EQ(OutputVolume(), held) << asked;
    }
    ASSERT_TRUE(open(1));
    EXPECT_EQ(fake::Calls.back(), "volume 0.25") << "given again to the output opened anew";
    ASSERT_TRUE(open(0));
    EXPECT_EQ(OutputVolume(), 1.0);
    EXPECT_EQ(volume_calls(), 0);
    CloseOutputForChange();
    EXPECT_EQ(fake::Open, -1);
}
