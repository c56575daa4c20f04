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
#include <filesystem>

namespace fs = std::filesystem;

namespace {

// Every window of the program is centred on the 1280x1024 screen: 820x560 at (230, 232).
constexpr int Left = 230, Top = 232;
constexpr int SplashLeft = 430, SplashTop = 372;

// Points of the device and options windows, in window coordinates.
constexpr int DsdRowY = 60 + 10, GreyRowY = 92 + 10;
constexpr int ViewLineY = 130, TrackLineY = 170, BlendLineY = 210;

// "lp.is" as the program writes it for an ASCII device name.
std::string SettingsBytes(const std::string &name, std::initializer_list<uint8_t> values) {
    std::string bytes = "\x99\x3C\x34\x01";
    for (char c : name) bytes += std::string{c, '\0'};
    bytes += std::string("\x0D\x00\x0A\x00", 4);
    for (uint8_t v : values) bytes += char(v);
    return bytes + '\xFF';
}

bool IsMapEvent(const WindowChange &c) {
    return c.mapped;
}

class ProgramTest : public ::testing::Test {
  protected:
    TempDir dir;
    std::string app, home, data, exe, settings;
    pid_t pid = -1;

    void SetUp() override {
        app = dir.path + "app/";
        home = dir.path + "home/";
        data = home + "data/"; // not there yet, as on a fresh account
        exe = app + "Groovestone-lp-dsd";
        settings = app + "lpli/lp.is";
        fs::create_directories(app);
        fs::create_directories(home);
        // The executable carries everything it needs: a copy runs on its own.
        fs::copy_file(PROGRAM, exe);
        WriteBytes(home + ".asoundrc",
                   "pcm.dsdcapture { type file slave.pcm \"null\" file \"" + home +
                       "out.raw\" format \"raw\" hint { show on description \"DSD capture\" } }\n"
                       "pcm.gonedac { type file slave.pcm { type hw card 7 } file \"" +
                       home + "gone.raw\" format \"raw\" hint { show on description \"Gone DAC\" } }\n");
    }
    void TearDown() override { KillProgram(pid); }

    void Start() {
        pid = StartProgram(exe, {}, {"HOME=" + home, "XDG_DATA_HOME=" + data}, dir.path + "stderr.txt");
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
        for (int attempt = 0; attempt < 10; ++attempt) {
            action();
            if (const int code = ExitCode(500); code != -1) return code;
        }
        return -1;
    }
    void SaveValidSettings() {
        fs::create_directories(app + "lpli");
        WriteBytes(settings, SettingsBytes("DSD capture", {0, 1, 1, 1, 2, 0, 1}));
    }
};

// How many pixels of two pictures of one size differ by more than a little in some colour.
int DifferentPixels(const std::vector<uint32_t> &a, const std::vector<uint32_t> &b) {
    int different = 0;
    for (size_t i = 0; i < a.size(); ++i) {
        int diff = 0;
        for (int shift : {0, 8, 16})
            diff = std::max(diff, std::abs(int((a[i] >> shift) & 0xFF) - int((b[i] >> shift) & 0xFF)));
        different += diff > 32;
    }
    return different;
}

// The screen's rectangle against a committed picture made from a reviewed run. Font rendering may move
// a few pixels a little; a drawing in the wrong place changes many. The screen is looked at again for
// up to two seconds, for a program slowed down by a busy machine. With GS_UPDATE_REFERENCES set, the
// picture is written instead.
void ExpectLooksLike(XProbe &x, int left, int top, int w, int h, const std::string &name) {
    const std::string reference_path = std::string(REFERENCE_DIR) + "/" + name;
    if (std::getenv("GS_UPDATE_REFERENCES")) {
        ASSERT_TRUE(SavePng(Picture{w, h, x.Grab(left, top, w, h)}, reference_path));
        return;
    }
    Picture reference;
    ASSERT_TRUE(LoadPng(reference_path, reference)) << reference_path;
    ASSERT_EQ(reference.w, w);
    ASSERT_EQ(reference.h, h);
    Picture shot{w, h, {}};
    int different = 0;
    for (int attempt = 0; attempt < 8; ++attempt, usleep(250'000)) {
        shot.pixels = x.Grab(left, top, w, h);
        different = DifferentPixels(shot.pixels, reference.pixels);
        if (different <= w * h / 1000) return;
    }
    const std::string seen = fs::temp_directory_path().string() + "/seen-" + name;
    ADD_FAILURE() << name << " differs from the reference in " << different << " pixels; the screen is in "
                  << (SavePng(shot, seen) ? seen : "(unsaved)");
}

// Waits up to two seconds for the pixel to take the colour.
bool WaitPixel(XProbe &x, int px, int py, uint32_t rgb) {
    for (int attempt = 0; attempt < 40; ++attempt, usleep(50'000))
        if (x.Pixel(px, py) == rgb) return true;
    return false;
}

// Types the key into the splash until another window comes: the splash takes its keys once the
// saved device has been checked, and leaves by itself after 800 ms.
void KeyOnSplash(XProbe &x, XWindow splash, unsigned long keysym) {
    for (int attempt = 0; attempt < 20 && x.Find("Groovestone") == splash; ++attempt) {
        x.KeyToWindow(splash, keysym);
        usleep(50'000);
    }
}

Clock::time_point MapTime(const std::vector<WindowChange> &changes) {
    auto it = std::find_if(changes.begin(), changes.end(), IsMapEvent);
    return it == changes.end() ? Clock::time_point{} : it->when;
}

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

    // The capture device with its four rates in white, the one that cannot be opened in grey.
    x.Move(Left + 500, Top + 400);
    usleep(300'000);
    ExpectLooksLike(x, Left, Top, 820, 560, "device_window.png");
    x.Click(Left + 60, Top + GreyRowY);
    usleep(300'000);
    EXPECT_TRUE(x.IsMapped(device)) << "a grey row cannot be chosen";
    x.Click(Left + 60, Top + DsdRowY);

    ASSERT_NE(x.WaitMapped("options", 3000), 0u);
    EXPECT_TRUE(x.WaitGone("audio device", 1000));
    // Three clicks on the view line come round to where they began, showing a new caption each time.
    x.Move(Left + 70, Top + ViewLineY);
    usleep(300'000);
    auto view_line = [&] { return x.Grab(Left + 60, Top + 120, 200, 24); };
    std::vector<std::vector<uint32_t>> seen = {view_line()};
    for (int i = 0; i < 3; ++i) {
        x.Click(Left + 70, Top + ViewLineY);
        std::vector<uint32_t> now = view_line();
        for (int wait = 0; wait < 40 && now == seen.back(); ++wait, usleep(50'000)) now = view_line();
        seen.push_back(now);
        usleep(500'000); // apart, so that the next click does not make a double click
    }
    EXPECT_NE(seen[1], seen[0]);
    EXPECT_NE(seen[2], seen[1]);
    EXPECT_NE(seen[2], seen[0]);
    EXPECT_EQ(seen[3], seen[0]);
    x.Click(Left + 70, Top + TrackLineY);
    x.Click(Left + 70, Top + BlendLineY);
    x.Click(Left + 215, Top + 330); // Start

    const XWindow main = x.WaitMapped("Groovestone DSD", 5000);
    ASSERT_NE(main, 0u);
    Clock::time_point full;
    ASSERT_TRUE(watch.WaitFullOpacity("Groovestone DSD", 5000, full));
    EXPECT_EQ(ReadBytes(settings), SettingsBytes("DSD capture", {0, 1, 1, 1, 2, 1, 0}));

    // Mapped at opacity 0, then 51 steps up to full opacity.
    const std::vector<WindowChange> changes = watch.Changes("Groovestone DSD");
    auto map = std::find_if(changes.begin(), changes.end(), IsMapEvent);
    ASSERT_NE(map, changes.end());
    EXPECT_EQ(map->alpha, 0);
    std::vector<int> steps;
    for (auto it = map + 1; it != changes.end(); ++it) steps.push_back(it->alpha);
    EXPECT_EQ(steps.size(), 51u);
    EXPECT_TRUE(std::is_sorted(steps.begin(), steps.end()));
    ASSERT_FALSE(steps.empty());
    EXPECT_EQ(steps.back(), 255);

    EXPECT_EQ(EndBy([&] { x.Click(Left + 795, Top + 12); }), 0); // CloseButton
    EXPECT_TRUE(fs::exists(data + "Tonmark/tm20/tavo.so"));
}

TEST_F(ProgramTest, SecondStartGoesStraightToTheMainWindow) {
    SaveValidSettings();
    const std::string saved = ReadBytes(settings);
    WindowWatch watch;
    XProbe x;
    Start();
    const XWindow main = x.WaitMapped("Groovestone DSD", 5000);
    ASSERT_NE(main, 0u);
    Clock::time_point full;
    ASSERT_TRUE(watch.WaitFullOpacity("Groovestone DSD", 5000, full));
    EXPECT_EQ(x.Find("audio device"), 0u);
    EXPECT_TRUE(watch.Changes("audio device").empty()) << "the device window never opened";
    EXPECT_EQ(ReadBytes(settings), saved) << "nothing is saved without the set-up windows";

    // The photograph with its captions, glyphs and chevrons.
    x.Move(Left + 400, Top + 600);
    usleep(500'000);
    ExpectLooksLike(x, Left, Top, 820, 560, "main_window.png");

    // The close and minimise buttons light up under the pointer and go dark again after it.
    x.Move(Left + 795, Top + 12);
    EXPECT_TRUE(WaitPixel(x, Left + 771, Top + 1, 0x852C33));
    x.Move(Left + 740, Top + 12);
    EXPECT_TRUE(WaitPixel(x, Left + 771, Top + 1, 0x000000));
    EXPECT_TRUE(WaitPixel(x, Left + 725, Top + 1, 0x302020));
    x.Move(Left + 400, Top + 300);
    EXPECT_TRUE(WaitPixel(x, Left + 725, Top + 1, 0x000000));

    // A window manager's close request ends the program in order.
    EXPECT_EQ(EndBy([&] { x.RequestClose(main); }), 0);
}

TEST_F(ProgramTest, EnterOnTheSplashAsksForTheDeviceDespiteValidSettings) {
    SaveValidSettings();
    const std::string saved = ReadBytes(settings);
    XProbe x;
    Start();
    const XWindow splash = x.WaitMapped("Groovestone", 5000);
    ASSERT_NE(splash, 0u);
    KeyOnSplash(x, splash, XK_Return);
    ASSERT_NE(x.WaitMapped("audio device", 5000), 0u);
    x.Move(Left + 400, Top + 400);
    usleep(100'000);
    x.Key(XK_Escape);
    EXPECT_EQ(ExitCode(5000), 0);
    EXPECT_EQ(ReadBytes(settings), saved);
}

TEST_F(ProgramTest, SpaceOnTheSplashSkipsTheSetUpWindows) {
    XProbe x;
    WindowWatch watch;
    Start();
    const XWindow splash = x.WaitMapped("Groovestone", 5000);
    ASSERT_NE(splash, 0u);
    KeyOnSplash(x, splash, XK_space);
    const XWindow main = x.WaitMapped("Groovestone DSD", 5000);
    ASSERT_NE(main, 0u);
    Clock::time_point full;
    ASSERT_TRUE(watch.WaitFullOpacity("Groovestone DSD", 5000, full));
    EXPECT_TRUE(watch.Changes("audio device").empty());
    EXPECT_FALSE(fs::exists(settings)) << "settings are saved only after the set-up windows";
    EXPECT_EQ(EndBy([&] { x.RequestClose(main); }), 0);
}

TEST_F(ProgramTest, EscapeInTheDeviceWindowEndsTheProgramOnlyWithThePointerInside) {
    XProbe x;
    Start();
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
    EXPECT_FALSE(fs::exists(settings));
}

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

    // A name in other letters is another program.
    const std::string stranger = dir.path + "groovestone dsd";
    fs::copy_file("/bin/sleep", stranger);
    const pid_t not_a_player = StartProgram(stranger, {"30"}, {});
    usleep(200'000);
    XProbe x;
    Start();
    EXPECT_NE(x.WaitMapped("audio device", 5000), 0u);
    KillProgram(not_a_player);
    x.Move(Left + 400, Top + 400);
    usleep(100'000);
    x.Key(XK_Escape);
    EXPECT_EQ(ExitCode(5000), 0);
    EXPECT_TRUE(fs::exists(data + "Tonmark/tm20/tava.so"));
}
