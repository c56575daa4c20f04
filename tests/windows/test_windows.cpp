// The audio device window and the options window, on a display (Xvfb), against a stand-in for the
// output library. Each window runs its loop on the main thread while a second thread plays the user
// through XTest.

#include "../app/x11_probe.h"
#include "fake_engine.h"

#include "app/app.h"
#include "app/objects.h"
#include "platform/gui.h"
#include "windows/windows.h"

#include <X11/keysym.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <functional>

namespace {

// Both windows are 820x560, centred on the 1280x1024 screen.
constexpr int Left = 230, Top = 232;

// Runs the user's part on its own thread while the window's loop runs here.
template <typename Loop>
bool RunWithUser(Loop loop, std::function<void(XProbe &)> user) {
    std::thread t([&] {
        XProbe x;
        user(x);
    });
    const bool result = loop();
    t.join();
    return result;
}

bool Greenish(uint32_t rgb) {
    return ((rgb >> 8) & 0xFF) > 0xC0 && (rgb >> 16) < 0x90;
}

class WindowsTest : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        ASSERT_TRUE(InitGui());
        LoadTextFonts();
    }
    void TearDown() override {
        CloseWindow(DeviceWindow);
        CloseWindow(OptionsWindow);
    }
};

} // namespace

TEST(DeviceProbe, TestsRatesUpwardsUntilTheFirstRefusalAndAlwaysCloses) {
    fake::Install({{"Skips 5.6", true, true, {2'822'400.0, 11'289'600.0}},
                   {"No DSD", true, false, fake::AllRates},
                   {"Busy", false, true, fake::AllRates}});
    std::array<uint8_t, 4> dsd{9, 9, 9, 9};

    EXPECT_TRUE(ProbeDsdRates(0, dsd));
    EXPECT_EQ(dsd, (std::array<uint8_t, 4>{1, 0, 0, 0}));
    EXPECT_EQ(fake::Calls,
              (std::vector<std::string>{"init 0", "dsd 1", "rate 2822400", "rate 5644800", "dsd 0", "free"}));

    fake::Calls.clear();
    EXPECT_TRUE(ProbeDsdRates(1, dsd));
    EXPECT_EQ(dsd, (std::array<uint8_t, 4>{}));
    EXPECT_EQ(fake::Calls, (std::vector<std::string>{"init 1", "dsd 1", "free"}));

    fake::Calls.clear();
    EXPECT_FALSE(ProbeDsdRates(2, dsd));
    EXPECT_EQ(dsd, (std::array<uint8_t, 4>{}));
    EXPECT_EQ(fake::Calls, (std::vector<std::string>{"init 2", "free"}));
}

TEST(DeviceCaption, NamesTheRatesAfterTheFirstSixtyCharacters) {
    const std::string long_name(80, 'n');
    struct Case {
        std::string name;
        std::array<uint8_t, 4> dsd;
        std::string caption;
    } cases[] = {
        {"DAC", {1, 1, 1, 1}, "DAC  dsd 2.8/5.6/11.3/22.6 MHz"},
        {"DAC", {1, 1, 1, 0}, "DAC  dsd 2.8/5.6/11.3 MHz"},
        {"DAC", {1, 0, 0, 0}, "DAC  dsd 2.8 MHz"},
        {"DAC", {0, 0, 0, 0}, "DAC"},
        {long_name, {1, 1, 0, 0}, std::string(60, 'n') + "  dsd 2.8/5.6 MHz"},
        {long_name, {0, 0, 0, 0}, std::string(60, 'n')},
        // 59 characters and a character outside the BMP (two UTF-16 units): it would be cut in half.
        {std::string(59, 'n') + "\xF0\x9F\x8E\xB5", {0, 0, 0, 0}, std::string(59, 'n')},
        {"Ключ ДАП", {1, 0, 0, 0}, "Ключ ДАП  dsd 2.8 MHz"},
    };
    for (const Case &c : cases) EXPECT_EQ(DeviceCaption(c.name, c.dsd), c.caption) << c.name;
}

TEST_F(WindowsTest, DeviceWindowListsTwelveDevicesAndGreysThoseWithoutDsd) {
    std::vector<FakeDevice> devices;
    for (int i = 0; i < 13; ++i) devices.push_back({"DAC " + std::to_string(i), true, true, fake::AllRates});
    devices[1] = {"Refuses DSD", true, false, fake::AllRates};
    devices[2] = {"Cannot open", false, true, fake::AllRates};
    devices[3] = {"Only 5.6", true, true, {5'644'800.0}};
    fake::Install(devices);

    OpenDeviceWindow();
    ASSERT_EQ(DeviceRows.size(), 12u);
    EXPECT_TRUE(IsControl(DeviceRowBase + 11));
    EXPECT_FALSE(IsControl(DeviceRowBase + 12));
    for (const std::string &call : fake::Calls) EXPECT_NE(call, "info 12");

    EXPECT_EQ(GetControlText(DeviceHeader), "Select ASIO driver");
    EXPECT_EQ(GetControlText(DeviceRowBase + 0), "DAC 0  dsd 2.8/5.6/11.3/22.6 MHz");
    EXPECT_EQ(GetControlColor(DeviceRowBase + 0, ColorFront), DeviceText);
    for (int i : {1, 2, 3}) {
        EXPECT_EQ(GetControlText(DeviceRowBase + i), devices[size_t(i)].name);
        EXPECT_EQ(GetControlColor(DeviceRowBase + i, ColorFront), DeviceGrey) << i;
    }
    Rect r;
    ASSERT_TRUE(ControlRect(DeviceRowBase + 11, r));
    EXPECT_EQ(r.x, Left + 40);
    EXPECT_EQ(r.y, Top + 60 + 32 * 11);
    EXPECT_EQ(fake::Open, -1) << "no device stays open";
}

TEST_F(WindowsTest, DeviceWindowTakesAClickOnADsdRowOnly) {
    fake::Install({{"Plain DAC", true, false, {}}, {"USB DAC", true, true, {2'822'400.0, 5'644'800.0}}});
    OutputChannel = 3;
    OpenDeviceWindow();
    bool stayed_after_grey_click = false, hover_green = false;
    const bool chosen = RunWithUser([] { return RunDeviceWindow(); },
                                    [&](XProbe &x) {
                                        ASSERT_NE(x.WaitMapped("audio device", 3000), 0u);
                                        x.Click(Left + 60, Top + 60 + 10); // the grey row
                                        usleep(300'000);
                                        stayed_after_grey_click = x.Find("audio device") != 0;
                                        x.Move(Left + 60, Top + 92 + 10);
                                        usleep(300'000);
                                        for (uint32_t p : x.Grab(Left + 40, Top + 92, 200, 22))
                                            hover_green = hover_green || Greenish(p);
                                        x.Click(Left + 60, Top + 92 + 10);
                                    });
    EXPECT_TRUE(stayed_after_grey_click);
    EXPECT_TRUE(hover_green) << "the row under the pointer turns green";
    EXPECT_TRUE(chosen);
    EXPECT_EQ(DeviceCaps.Name, "USB DAC");
    EXPECT_EQ(DeviceCaps.Number, 1);
    EXPECT_EQ(DeviceCaps.Dsd, (std::array<uint8_t, 4>{1, 1, 0, 0}));
    EXPECT_EQ(OutputDevice, 1);
    EXPECT_EQ(OutputChannel, 0);
    EXPECT_FALSE(IsWindow(DeviceWindow));
    EXPECT_TRUE(DeviceRows.empty());
}

TEST_F(WindowsTest, DeviceWindowIgnoresEscapeWithThePointerOutsideAndEndsOnItInside) {
    fake::Install({{"USB DAC", true, true, fake::AllRates}});
    OpenDeviceWindow();
    bool stayed = false;
    const bool chosen = RunWithUser([] { return RunDeviceWindow(); },
                                    [&](XProbe &x) {
                                        const XWindow w = x.WaitMapped("audio device", 3000);
                                        ASSERT_NE(w, 0u);
                                        x.Move(5, 5);
                                        x.KeyToWindow(w, XK_Escape);
                                        usleep(300'000);
                                        stayed = x.Find("audio device") != 0;
                                        x.Move(Left + 400, Top + 400);
                                        usleep(100'000);
                                        x.KeyToWindow(w, XK_Escape);
                                    });
    EXPECT_TRUE(stayed);
    EXPECT_FALSE(chosen);
    EXPECT_FALSE(IsWindow(DeviceWindow));
}

TEST_F(WindowsTest, DeviceWindowCloseMarkLeavesWithoutAChoice) {
    fake::Install({});
    OpenDeviceWindow();
    EXPECT_TRUE(DeviceRows.empty());
    const bool chosen = RunWithUser([] { return RunDeviceWindow(); },
                                    [](XProbe &x) {
                                        ASSERT_NE(x.WaitMapped("audio device", 3000), 0u);
                                        x.Click(Left + 795, Top + 18);
                                    });
    EXPECT_FALSE(chosen);
    EXPECT_FALSE(IsWindow(DeviceWindow));
}

TEST_F(WindowsTest, OptionLinesChangeTheirOptionsAndStartReturns) {
    ViewCover = 0;
    CoverTrack = 0;
    BlendPicture = 1;
    OpenOptionsWindow();
    EXPECT_EQ(GetControlText(ViewLine), "View cover:  Off");
    EXPECT_EQ(GetControlText(TrackLine), "Cover track:  Off");
    EXPECT_EQ(GetControlText(BlendLine), "Blend picture:  On");
    EXPECT_EQ(GetControlText(StartLine), "Start");
    const bool started = RunWithUser([] { return RunOptionsWindow(); },
                                     [](XProbe &x) {
                                         ASSERT_NE(x.WaitMapped("options", 3000), 0u);
                                         // Quick clicks on one line: the second comes as a double click.
                                         x.Click(Left + 70, Top + 130);
                                         x.Click(Left + 70, Top + 130);
                                         x.Click(Left + 70, Top + 170);
                                         x.Click(Left + 70, Top + 210);
                                         x.Click(Left + 70, Top + 300); // nothing there
                                         x.Click(Left + 215, Top + 330);
                                     });
    EXPECT_TRUE(started);
    EXPECT_EQ(ViewCover, 2);
    EXPECT_EQ(CoverTrack, 1);
    EXPECT_EQ(BlendPicture, 0);
    EXPECT_FALSE(IsWindow(OptionsWindow));
}

TEST_F(WindowsTest, OptionsKeepAnUnknownViewValueAndEscapeEnds) {
    ViewCover = 5;
    CoverTrack = 7;
    BlendPicture = 0;
    OpenOptionsWindow();
    EXPECT_EQ(GetControlText(ViewLine), "View cover:  Off");
    EXPECT_EQ(GetControlText(TrackLine), "Cover track:  Off");
    const bool started = RunWithUser([] { return RunOptionsWindow(); },
                                     [](XProbe &x) {
                                         const XWindow w = x.WaitMapped("options", 3000);
                                         ASSERT_NE(w, 0u);
                                         x.Click(Left + 70, Top + 130);
                                         usleep(450'000);
                                         x.Click(Left + 70, Top + 170);
                                         usleep(100'000);
                                         x.KeyToWindow(w, XK_Escape);
                                     });
    EXPECT_FALSE(started);
    EXPECT_EQ(ViewCover, 5);
    EXPECT_EQ(CoverTrack, 0) << "any value but 0 becomes 0";
    EXPECT_FALSE(IsWindow(OptionsWindow));
}
