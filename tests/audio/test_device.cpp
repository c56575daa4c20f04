// The output device: the probe of a device's DSD rates, the listing for the device window and the
// saved-device check, against a stand-in for the output library.

#include "fake_engine.h"

#include "audio/audio.h"
#include "library/settings.h"

#include <gtest/gtest.h>

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

    DeviceRecord row;
    std::string busy_note;
    int n = 0;
    for (; ListOutputDevice(n, row, busy_note); ++n) {
        EXPECT_EQ(row.Number, n);
        EXPECT_EQ(row.Name, devices[size_t(n)].name);
        EXPECT_EQ(row.Dsd, (n == 0 || n > 3 ? std::array<uint8_t, 4>{1, 1, 1, 1} : std::array<uint8_t, 4>{}))
            << n;
        // None of them is a hardware PCM that another program could hold.
        EXPECT_EQ(busy_note, "") << n;
    }
    EXPECT_EQ(n, 12);
    for (const std::string &call : fake::Calls) EXPECT_NE(call, "info 12");
    EXPECT_EQ(fake::Open, -1) << "no device stays open";

    fake::Install({{"Only one", true, true, fake::AllRates}});
    EXPECT_TRUE(ListOutputDevice(0, row, busy_note));
    EXPECT_FALSE(ListOutputDevice(1, row, busy_note)) << "past the last device";
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
        {"rate flag 2", {{"USB DAC", true, true, lower3}}, with(3, 2), false},
        {"view 3", {{"USB DAC", true, true, lower3}}, with(4, 3), false},
        {"cover track 2", {{"USB DAC", true, true, lower3}}, with(5, 2), false},
        {"blend 255", {{"USB DAC", true, true, lower3}}, with(6, 255), false},
    };
    for (const Case &c : cases) {
        fake::Install(c.devices);
        SavedDeviceName = "USB DAC";
        SavedSettings = c.saved;
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
