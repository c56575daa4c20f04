// The audio device window, the options window and the playlist-name dialog, on a display (Xvfb),
// the device window with rows made up by the test. Each window runs its loop on the main thread while
// a second thread plays the user through XTest.

#include "x11_probe.h"

#include "library/library.h"
#include "platform/gui.h"
#include "ui/objects.h"
#include "ui/ui.h"
#include "windows/windows.h"

#include <X11/keysym.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <functional>

namespace {

// Both windows are 820x560, centred on the 1280x1024 screen.
constexpr int Left = 230, Top = 232;

// Runs the user's part on its own thread while the window's loop runs here.
bool RunWithUser(bool (*loop)(), std::function<void(XProbe &)> user) {
    std::thread t([&] {
        XProbe x;
        user(x);
    });
    const bool result = loop();
    t.join();
    return result;
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
        CloseWindow(DialogWindow);
    }
};

} // namespace

TEST(DeviceCaption, NamesTheRatesOrThePcmAfterTheFirstSixtyCharacters) {
    const std::string long_name(80, 'n');
    const TavaRateInfo native{2'822'400.0, TAVA_PATH_NATIVE, 0, 0}, dop{2'822'400.0, TAVA_PATH_DOP, 0, 0};
    const struct {
        std::string name;
        std::array<uint8_t, 4> dsd;
        TavaRateInfo route;
        std::string caption;
    } cases[] = {
        {"DAC", {1, 1, 1, 1}, native, "DAC  dsd 2.8/5.6/11.3/22.6 MHz"},
        {"DAC", {1, 0, 0, 0}, native, "DAC  dsd 2.8 MHz"},
        {"DAC", {1, 1, 0, 0}, dop, "DAC  dsd 2.8/5.6 MHz DoP"},
        {"HDMI", {1, 1, 1, 1}, {2'822'400.0, TAVA_PATH_PCM, 176'400, 24}, "HDMI  PCM 176.4 kHz 24-bit"},
        {"BT", {1, 1, 1, 1}, {2'822'400.0, TAVA_PATH_PCM, 48'000, 16}, "BT  PCM 48 kHz 16-bit"},
        {"Sound server",
         {1, 1, 1, 1},
         {2'822'400.0, TAVA_PATH_PCM, 44'100, 32},
         "Sound server  PCM 44.1 kHz 32-bit"},
        {"DAC", {0, 1, 1, 1}, native, "DAC"},
        {long_name, {1, 1, 0, 0}, native, std::string(60, 'n') + "  dsd 2.8/5.6 MHz"},
        // 59 characters and a character outside the BMP (two UTF-16 units): it would be cut in half.
        {std::string(59, 'n') + "\xF0\x9F\x8E\xB5", {0, 0, 0, 0}, native, std::string(59, 'n')},
        {"Ключ ДАП", {1, 0, 0, 0}, native, "Ключ ДАП  dsd 2.8 MHz"},
    };
    for (const auto &c : cases) EXPECT_EQ(DeviceCaption(c.name, c.dsd, c.route), c.caption) << c.name;
}

TEST_F(WindowsTest, DeviceWindowShowsTwelveRowsAndGreysThoseWithoutDsd) {
    const std::array<uint8_t, 4> all = {1, 1, 1, 1}, none = {};
    const TavaRateInfo native{2'822'400.0, TAVA_PATH_NATIVE, 0, 0}, nothing{};
    OpenDeviceWindow();
    for (int n = 0; n < 13; ++n) {
        DeviceRecord row{0, uint8_t(n), "DAC", all};
        if (n == 1) row = {0, 1, "Refuses DSD", none};
        if (n == 2) row = {0, 2, "Held", none};
        if (n == 3) row = {0, 3, "Only 5.6", {0, 1, 0, 0}};
        AddDeviceRow(row, row.Dsd[0] ? native : nothing, n == 2 ? "  (busy: pipewire, pid 1234)" : "");
    }
    ShowNoDeviceFound();
    ASSERT_EQ(DeviceRows.size(), 12u);
    EXPECT_TRUE(IsControl(DeviceRowBase + 11));
    EXPECT_FALSE(IsControl(DeviceRowBase + 12));

    EXPECT_EQ(GetControlText(DeviceHeader), "Select audio device");
    EXPECT_EQ(GetControlText(DeviceNoneLine), "No sound device found");
    EXPECT_EQ(GetControlText(DeviceRowBase + 0), "DAC  dsd 2.8/5.6/11.3/22.6 MHz");
    EXPECT_EQ(GetControlColor(DeviceRowBase + 0, ColorFront), DeviceText);
    EXPECT_EQ(GetControlText(DeviceRowBase + 1), "Refuses DSD");
    EXPECT_EQ(GetControlText(DeviceRowBase + 2), "Held  (busy: pipewire, pid 1234)");
    EXPECT_EQ(GetControlText(DeviceRowBase + 3), "Only 5.6");
    for (int i : {1, 2, 3}) EXPECT_EQ(GetControlColor(DeviceRowBase + i, ColorFront), DeviceGrey) << i;
    Rect r;
    ASSERT_TRUE(ControlRect(DeviceRowBase + 11, r));
    EXPECT_EQ(r.X, Left + 40);
    EXPECT_EQ(r.Y, Top + 60 + 32 * 11);
}

// Choosing a row, and Escape, are seen by the tests of the program.
TEST_F(WindowsTest, DeviceWindowCloseMarkLeavesWithoutAChoice) {
    OpenDeviceWindow();
    EXPECT_TRUE(DeviceRows.empty());
    EXPECT_FALSE(RunWithUser(RunDeviceWindow, [](XProbe &x) {
        ASSERT_NE(x.WaitMapped("audio device", 3000), 0u);
        x.Click(Left + 795, Top + 18);
    }));
    EXPECT_FALSE(IsWindow(DeviceWindow));
}

// The usual values, a quick second click and Start are seen by the tests of the program.
TEST_F(WindowsTest, OptionsKeepAnUnknownViewValueTurnOthersOffAndEscapeEnds) {
    ViewCover = 5;
    CoverTrack = 7;
    BlendPicture = 1;
    OpenOptionsWindow();
    EXPECT_EQ(GetControlText(ViewLine), "View cover:  Off");
    EXPECT_EQ(GetControlText(TrackLine), "Cover track:  Off");
    EXPECT_EQ(GetControlText(BlendLine), "Blend picture:  On");
    EXPECT_EQ(GetControlText(StartLine), "Start");
    EXPECT_FALSE(RunWithUser(RunOptionsWindow, [](XProbe &x) {
        const XWindow w = x.WaitMapped("options", 3000);
        ASSERT_NE(w, 0u);
        x.Click(Left + 70, Top + 130);
        x.Click(Left + 70, Top + 170);
        x.KeyToWindow(w, XK_Escape);
    }));
    EXPECT_EQ(ViewCover, 5);
    EXPECT_EQ(CoverTrack, 0);
    EXPECT_FALSE(IsWindow(OptionsWindow));
}

// Return answers as OK; a refused name's message stands selected in the entry, so that what is typed
// next replaces it rather than joining it.
TEST_F(WindowsTest, PlaylistNameDialogTakesReturnAndTypingReplacesItsMessage) {
    auto user = [](XProbe &x) {
        const XWindow w = x.WaitMapped("Groovestone", 3000);
        ASSERT_NE(w, 0u);
        usleep(300'000); // the entry has the keyboard focus
        // A wrong name, then a name taken, then a new one, each confirmed by Return.
        x.KeyToWindow(w, XK_minus);
        for (const char *text : {"", "Evening", "Evening mix"}) {
            x.Type(text);
            x.Key(XK_Return);
            usleep(300'000);
        }
        for (int i = 0; i < 20 && x.IsMapped(w); ++i) usleep(100'000);
        if (x.IsMapped(w)) x.KeyToWindow(w, XK_Escape); // still open: leave it unnamed
    };
    PlaylistNames = {"Evening"};
    static std::string name;
    EXPECT_TRUE(RunWithUser([] { return AskPlaylistName(name); }, user));
    EXPECT_EQ(name, "Evening mix");
    EXPECT_FALSE(IsWindow(DialogWindow));
}
