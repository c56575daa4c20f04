// The real program, copied into a folder of its own, run on a display (Xvfb) with a home folder whose
// ALSA configuration adds a DSD capture device (a file behind the null plugin) and a device that
// cannot be opened. Each test plays the user with XTest and looks at the windows, the screen and
// the files the program leaves.

#include "temp_dir.h"
#include "x11_probe.h"

#include <X11/keysym.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>

namespace fs = std::filesystem;

namespace {

// Every window of the program is 820x560, centred on the 1280x1024 screen.
constexpr int Left = 230, Top = 232, Width = 820, Height = 560;

// "lp.is" as the program writes it for an ASCII device name.
std::string SettingsBytes(const std::string &name, std::initializer_list<uint8_t> values) {
    std::string bytes = "\x99\x3C\x34\x01";
    for (char c : name) bytes += std::string{c, '\0'};
    bytes += std::string("\x0D\x00\x0A\x00", 4);
    for (uint8_t v : values) bytes += char(v);
    return bytes + '\xFF';
}

std::vector<WindowChange>::const_iterator FirstMap(const std::vector<WindowChange> &changes) {
    return std::find_if(changes.begin(), changes.end(), [](const WindowChange &c) { return c.mapped; });
}
Clock::time_point MapTime(const std::vector<WindowChange> &changes) {
    const auto map = FirstMap(changes);
    return map == changes.end() ? Clock::time_point{} : map->when;
}

// The window on the screen against a committed picture of a reviewed run: font rendering may move a
// few pixels a little, a drawing in the wrong place changes many. The screen is looked at for up to
// two seconds, for a program slowed down by a busy machine. With GS_UPDATE_REFERENCES set, the
// picture is written instead.
void ExpectLooksLike(XProbe &x, const std::string &name) {
    const std::string reference_path = std::string(REFERENCE_DIR) + "/" + name;
    Picture reference, shot{Width, Height, {}};
    if (std::getenv("GS_UPDATE_REFERENCES")) {
        shot.pixels = x.Grab(Left, Top, Width, Height);
        ASSERT_TRUE(SavePng(shot, reference_path));
        return;
    }
    ASSERT_TRUE(LoadPng(reference_path, reference)) << reference_path;
    ASSERT_TRUE(reference.w == Width && reference.h == Height) << reference.w << "x" << reference.h;
    int different = 0;
    for (int attempt = 0; attempt < 8; ++attempt, usleep(250'000)) {
        shot.pixels = x.Grab(Left, Top, Width, Height);
        different = 0;
        for (size_t i = 0; i < shot.pixels.size(); ++i) {
            const uint32_t a = shot.pixels[i], b = reference.pixels[i];
            int diff = 0;
            for (int shift : {0, 8, 16})
                diff = std::max(diff, std::abs(int((a >> shift) & 0xFF) - int((b >> shift) & 0xFF)));
            different += diff > 32;
        }
        if (different <= Width * Height / 1000) return;
    }
    const std::string seen = fs::temp_directory_path().string() + "/seen-" + name;
    ADD_FAILURE() << name << " differs from the reference in " << different << " pixels; the screen is in "
                  << (SavePng(shot, seen) ? seen : "(unsaved)");
}

// Waits up to two seconds for some pixel of the rectangle to pass the test.
template <typename Test>
bool WaitPixel(XProbe &x, int px, int py, int w, int h, Test test) {
    for (int attempt = 0; attempt < 40; ++attempt, usleep(50'000))
        for (uint32_t rgb : x.Grab(px, py, w, h))
            if (test(rgb)) return true;
    return false;
}
bool WaitPixel(XProbe &x, int px, int py, uint32_t colour) {
    return WaitPixel(x, px, py, 1, 1, [&](uint32_t rgb) { return rgb == colour; });
}

class ProgramTest : public ::testing::Test {
  protected:
    TempDir dir;
    const std::string app = dir.path + "app/", home = dir.path + "home/", data = home + "data/",
                      settings = app + "lpli/lp.is";
    pid_t pid = -1;

    void SetUp() override {
        fs::create_directories(app);
        fs::create_directories(home);
        // The executable carries everything it needs: a copy runs on its own.
        fs::copy_file(PROGRAM, app + "Groovestone-lp-dsd");
        WriteBytes(home + ".asoundrc",
                   "pcm.dsdcapture { type file slave.pcm \"null\" file \"" + home +
                       "out.raw\" format \"raw\" hint { show on description \"DSD capture\" } }\n"
                       "pcm.gonedac { type file slave.pcm { type hw card 7 } file \"" +
                       home + "gone.raw\" format \"raw\" hint { show on description \"Gone DAC\" } }\n");
    }
    void TearDown() override { KillProgram(pid); }

    // Starts the program; its data folder is not there yet, as on a fresh account.
    void Start() {
        pid = StartProgram(app + "Groovestone-lp-dsd", {}, {"HOME=" + home, "XDG_DATA_HOME=" + data},
                           dir.path + "stderr.txt");
        ASSERT_GT(pid, 0);
    }
    // The exit code, or -1 when the program is still running after ms.
    int ExitCode(int ms) {
        int code = -1;
        if (!WaitExit(pid, ms, code)) return -1;
        pid = -1;
        return code;
    }
    // Repeats the way out until the program ends (what comes before the event loop runs is drained
    // unread) and gives its exit code, -1 when it did not end within five seconds.
    template <typename Action>
    int EndBy(Action action) {
        int code = -1;
        for (int attempt = 0; attempt < 10 && code == -1; ++attempt) {
            action();
            code = ExitCode(500);
        }
        return code;
    }
    // Types the key into the splash until another window comes: the splash takes its keys once the
    // saved device has been checked, and leaves by itself after 800 ms.
    static void KeyOnSplash(XProbe &x, unsigned long keysym) {
        const XWindow splash = x.WaitMapped("Groovestone", 5000);
        ASSERT_NE(splash, 0u);
        for (int attempt = 0; attempt < 20 && x.Find("Groovestone") == splash; ++attempt, usleep(50'000))
            x.KeyToWindow(splash, keysym);
    }
    static XWindow WaitMainWindow(XProbe &x, WindowWatch &watch) {
        Clock::time_point full;
        EXPECT_TRUE(watch.WaitFullOpacity("Groovestone DSD", 5000, full));
        return x.WaitMapped("Groovestone DSD", 5000);
    }
};

} // namespace

TEST_F(ProgramTest, FirstStartAsksForTheDeviceAndOptionsThenSavesThemAndFadesIn) {
    WindowWatch watch;
    XProbe x;
    Start();
    ASSERT_NE(x.WaitMapped("Groovestone", 5000), 0u) << "the splash";
    const XWindow device = x.WaitMapped("audio device", 5000);
    ASSERT_NE(device, 0u);
    EXPECT_EQ(x.Find("Groovestone"), 0u) << "the splash has closed";
    EXPECT_GE(MapTime(watch.Changes("audio device")) - MapTime(watch.Changes("Groovestone")),
              std::chrono::milliseconds(780))
        << "the splash stays for its 800 ms";

    // The capture device with its four rates in white, the one that cannot be opened in grey: a
    // click there does nothing; the row under the pointer turns green.
    x.Move(Left + 500, Top + 400);
    usleep(300'000);
    ExpectLooksLike(x, "device_window.png");
    x.Click(Left + 60, Top + 102);
    x.Move(Left + 60, Top + 70);
    EXPECT_TRUE(WaitPixel(x, Left + 40, Top + 60, 200, 22,
                          [](uint32_t p) { return ((p >> 8) & 0xFF) > 0xC0 && (p >> 16) < 0x90; }));
    EXPECT_TRUE(x.IsMapped(device)) << "a grey row cannot be chosen";
    x.Click(Left + 60, Top + 70);

    ASSERT_NE(x.WaitMapped("options", 3000), 0u);
    EXPECT_EQ(x.Find("audio device"), 0u);
    // Each click on the view line shows the next of its three captions; a quick second click comes as
    // a double click and counts all the same. A click beside the lines does nothing.
    x.Move(Left + 70, Top + 130);
    usleep(300'000);
    auto view_line = [&] { return x.Grab(Left + 60, Top + 120, 200, 24); };
    std::vector<std::vector<uint32_t>> seen = {view_line()};
    for (int clicks : {1, 1, 2}) {
        for (int i = 0; i < clicks; ++i) x.Click(Left + 70, Top + 130);
        for (int wait = 0; wait < 40 && view_line() == seen.back(); ++wait) usleep(50'000);
        usleep(500'000); // settled, and apart from the next click so that it makes no double click
        seen.push_back(view_line());
    }
    EXPECT_NE(seen[1], seen[0]);
    EXPECT_NE(seen[2], seen[1]);
    EXPECT_NE(seen[2], seen[0]);
    EXPECT_EQ(seen[3], seen[1]);
    for (auto [px, py] : {std::pair{70, 300}, {70, 170} /* cover track */, {70, 210} /* blend */, {215, 330}})
        x.Click(Left + px, Top + py); // the last is Start

    ASSERT_NE(WaitMainWindow(x, watch), 0u);
    EXPECT_EQ(ReadBytes(settings), SettingsBytes("DSD capture", {0, 1, 1, 1, 0, 1, 0}));
    // Mapped at opacity 0, then 51 steps up to full opacity.
    const std::vector<WindowChange> changes = watch.Changes("Groovestone DSD");
    const auto map = FirstMap(changes);
    ASSERT_NE(map, changes.end());
    EXPECT_EQ(map->alpha, 0);
    std::vector<int> steps;
    for (auto it = map + 1; it != changes.end(); ++it) steps.push_back(it->alpha);
    ASSERT_EQ(steps.size(), 51u);
    EXPECT_TRUE(std::is_sorted(steps.begin(), steps.end()));
    EXPECT_EQ(steps.back(), 255);

    EXPECT_EQ(EndBy([&] { x.Click(Left + 795, Top + 12); }), 0); // CloseButton
    EXPECT_TRUE(fs::exists(data + "Tonmark/tm20/tavo.so"));
}

TEST_F(ProgramTest, SpaceOnTheSplashOrSavedSettingsGoStraightToTheMainWindow) {
    XProbe x;
    for (bool saved : {false, true}) {
        if (saved) {
            fs::create_directories(app + "lpli");
            WriteBytes(settings, SettingsBytes("DSD capture", {0, 1, 1, 1, 2, 0, 1}));
        }
        WindowWatch watch;
        Start();
        if (!saved) KeyOnSplash(x, XK_space);
        const XWindow main = WaitMainWindow(x, watch);
        ASSERT_NE(main, 0u) << saved;
        EXPECT_TRUE(watch.Changes("audio device").empty()) << "the device window never opened";
        EXPECT_EQ(ReadBytes(settings), saved ? SettingsBytes("DSD capture", {0, 1, 1, 1, 2, 0, 1}) : "")
            << "settings are saved only after the set-up windows";
        if (saved) {
            // The photograph with its captions, glyphs and chevrons.
            x.Move(Left + 400, Top + 600);
            usleep(500'000);
            ExpectLooksLike(x, "main_window.png");
            // The close and minimise buttons light up under the pointer and go dark again after it.
            x.Move(Left + 795, Top + 12);
            EXPECT_TRUE(WaitPixel(x, Left + 771, Top + 1, 0x852C33));
            x.Move(Left + 740, Top + 12);
            EXPECT_TRUE(WaitPixel(x, Left + 771, Top + 1, 0x000000));
            EXPECT_TRUE(WaitPixel(x, Left + 725, Top + 1, 0x302020));
            x.Move(Left + 400, Top + 300);
            EXPECT_TRUE(WaitPixel(x, Left + 725, Top + 1, 0x000000));
        }
        // A window manager's close request ends the program in order.
        EXPECT_EQ(EndBy([&] { x.RequestClose(main); }), 0);
    }
}

TEST_F(ProgramTest, EnterOnTheSplashAsksForTheDeviceWhereEscapeEndsTheProgramOnlyWithThePointerInside) {
    fs::create_directories(app + "lpli");
    WriteBytes(settings, SettingsBytes("DSD capture", {0, 1, 1, 1, 2, 0, 1}));
    XProbe x;
    Start();
    KeyOnSplash(x, XK_Return);
    const XWindow device = x.WaitMapped("audio device", 5000);
    ASSERT_NE(device, 0u);
    x.Move(5, 5);
    usleep(100'000);
    x.KeyToWindow(device, XK_Escape);
    usleep(400'000);
    EXPECT_TRUE(x.IsMapped(device));
    x.Move(Left + 400, Top + 400);
    usleep(100'000);
    x.Key(XK_Escape);
    EXPECT_EQ(ExitCode(5000), 0);
    EXPECT_EQ(ReadBytes(settings), SettingsBytes("DSD capture", {0, 1, 1, 1, 2, 0, 1}));
}

// A name in other letters ("groovestone dsd") is another program: see the guard's count.
TEST_F(ProgramTest, AnotherPlayerRunningEndsANewStartSilentlyBeforeAnythingIsWritten) {
    const std::string other = dir.path + "Groovestone DSD";
    fs::copy_file("/bin/sleep", other);
    const pid_t player = StartProgram(other, {"30"}, {});
    ASSERT_GT(player, 0);
    usleep(200'000);
    WindowWatch watch;
    Start();
    EXPECT_EQ(ExitCode(5000), 0);
    KillProgram(player);
    EXPECT_EQ(watch.MappedCount(), 0) << "no window, no message";
    EXPECT_FALSE(fs::exists(data + "Tonmark"));
    EXPECT_FALSE(fs::exists(app + "lpli"));
}
