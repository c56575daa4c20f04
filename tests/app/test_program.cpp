// The real program, copied into a folder of its own, run on a display (Xvfb) with a home folder whose
// ALSA configuration adds a DSD capture device (a file behind the null plugin) and a device that
// cannot be opened. Each test plays the user with XTest and looks at the windows, the screen and
// the files the program leaves.

#include "capture.h"
#include "fixtures.h"
#include "output.h"
#include "tagged.h"
#include "x11_probe.h"

#include <X11/keysym.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <iterator>
#include <sstream>

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
    TempFolder dir;
    const std::string app = dir.path + "app/", home = dir.path + "home/", data = home + "data/",
                      settings = app + "lpli/lp.is";
    pid_t pid = -1;

    void SetUp() override {
        // The accessibility bridge would complain on standard error of the accessibility bus it
        // cannot find here: a fault of the machine, which would hide the program's own.
        setenv("NO_AT_BRIDGE", "1", 1);
        fs::create_directories(app);
        fs::create_directories(home);
        // The executable carries everything it needs: a copy runs on its own.
        fs::copy_file(PROGRAM, app + "Groovestone-lp-dsd");
        WriteCaptureConfig(home, home + "out.raw", GoneDevice);
    }
    void TearDown() override {
        if (HasFailure() && pid > 0) ReportFailedScene();
        KillProgram(pid);
        ExpectNoLibraryWarnings();
    }
    // What a failed flow left on the screen, for the log: the boxes still open, a screenshot, and
    // the program's standard error.
    void ReportFailedScene() {
        XProbe x;
        for (const char *title : {"Error", "Groovestone", "Open Audio files", "audio device", "options"})
            if (XWindow w = x.Find(title); w && x.IsMapped(w)) std::cerr << "open window: " << title << "\n";
        const std::string shot =
            "/tmp/gs-failed-" + std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()) +
            ".png";
        Picture screen{1280, 1024, x.Grab(0, 0, 1280, 1024)};
        if (SavePng(screen, shot)) std::cerr << "screenshot: " << shot << "\n";
        std::cerr << "the program's standard error:\n" << ReadBytes(dir.path + "stderr.txt") << "\n";
    }

    // Starts the program; its data folder is not there yet, as on a fresh account.
    void Start() {
        ExpectNoLibraryWarnings(); // of the start before, whose standard error is overwritten
        pid = StartProgram(app + "Groovestone-lp-dsd", {}, {"HOME=" + home, "XDG_DATA_HOME=" + data},
                           dir.path + "stderr.txt");
        ASSERT_GT(pid, 0);
    }
    // The program's standard error holds no warning or critical message of GLib or of a library
    // that logs through it (GTK, GDK, GIO: "Gtk-CRITICAL **: ...", "GLib-GObject-WARNING **: ...").
    void ExpectNoLibraryWarnings() {
        std::istringstream lines(ReadBytes(dir.path + "stderr.txt"));
        for (std::string line; std::getline(lines, line);)
            if (line.find("CRITICAL **") != std::string::npos || line.find("WARNING **") != std::string::npos)
                ADD_FAILURE() << "the program printed: " << line;
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

namespace {

constexpr uint32_t Dsd64 = 2'822'400;

template <typename Condition>
bool WaitUntil(int ms, Condition condition) {
    for (const auto end = Clock::now() + std::chrono::milliseconds(ms); Clock::now() < end; usleep(20'000))
        if (condition()) return true;
    return condition();
}

bool IsGreen(uint32_t p) { // the highlight, #60F060, or text drawn in it
    const int r = int(p >> 16), g = int((p >> 8) & 0xFF), b = int(p & 0xFF);
    return g >= 0x80 && g - r >= 0x40 && g - b >= 0x40;
}
bool IsWhite(uint32_t p) { // row text, #EFEFEF
    const int r = int(p >> 16), g = int((p >> 8) & 0xFF), b = int(p & 0xFF);
    return std::min({r, g, b}) >= 0xB0 && std::max({r, g, b}) - std::min({r, g, b}) < 0x20;
}

// The rows the list panel shows, one character each down to the last drawn: 'w' in the row
// colour, 'g' highlighted, '.' none. Only the left of the panel is looked at, where durations and
// names begin on the dark of the record, away from the record's label.
std::string PanelRows(XProbe &x) {
    constexpr int PanelX = Left + 100, PanelY = Top + 122, Columns = 200;
    const std::vector<uint32_t> panel = x.Grab(PanelX, PanelY, Columns, 12 * 32);
    std::string rows;
    for (int row = 0; row < 12; ++row) {
        int white = 0, green = 0;
        for (size_t i = size_t(row) * 32 * Columns; i < size_t(row + 1) * 32 * Columns; ++i) {
            white += IsWhite(panel[i]);
            green += IsGreen(panel[i]);
        }
        rows += green >= 5 ? 'g' : white >= 5 ? 'w' : '.';
    }
    return rows.erase(rows.find_last_not_of('.') + 1);
}
// Waits up to two seconds for the panel to show `rows`, and gives what it shows.
std::string WaitRows(XProbe &x, const std::string &rows) {
    std::string seen;
    WaitUntil(2000, [&] { return (seen = PanelRows(x)) == rows; });
    return seen;
}

// What the capture received from byte `from` on, as byte pairs.
std::vector<uint8_t> CapturedFrom(const std::string &capture, size_t from) {
    std::ifstream in(capture, std::ios::binary);
    in.seekg(std::streamoff(from));
    return PairFromCapture({std::istreambuf_iterator<char>(in), {}});
}

// The bytes a device of `rate` frames per second and 32-bit samples receives from the output's
// converter for the stereo pair `pair` of DSD 2.8 MHz, from the converter's start, and DSD silence
// after it up to `frames` frames.
std::vector<uint8_t> ConvertedOffline(std::vector<uint8_t> pair, uint32_t rate, size_t frames) {
    constexpr uint32_t ChunkBytes = 4096 * 8;
    std::string why;
    tava::PcmConverter *c =
        tava::PcmCreate({Dsd64, rate, false, tava::PcmFormat::S32Le, 32, 2, 0, ChunkBytes}, why);
    if (!c) {
        ADD_FAILURE() << why;
        return {};
    }
    pair.resize(pair.size() + frames * 2 * Dsd64 / 8 / rate + 2 * ChunkBytes, 0x69);
    pair.resize(pair.size() / ChunkBytes * ChunkBytes);
    std::vector<uint8_t> out, chunk(size_t(tava::PcmMaxFrames(c)) * 8);
    for (size_t at = 0; at < pair.size() && out.size() < frames * 8; at += ChunkBytes) {
        const uint32_t n = tava::PcmConvert(c, &pair[at], ChunkBytes, false, 1.0, chunk.data());
        out.insert(out.end(), chunk.begin(), chunk.begin() + long(n) * 8);
    }
    tava::PcmDestroy(c);
    out.resize(std::min(out.size(), frames * 8));
    return out;
}

// Whether a transport text (window position) is drawn in the highlight.
bool Lit(XProbe &x, int wx, int wy) {
    const std::vector<uint32_t> text = x.Grab(Left + wx, Top + wy, 62, 30);
    return std::any_of(text.begin(), text.end(), IsGreen);
}

} // namespace

// The first start through the device and options windows, then a run of both lists on the device
// chosen, and "Audio device..." from the main window to another device, which plays at once.
TEST_F(ProgramTest, FirstStartAsksForTheDeviceAndOptionsThenSavesThemAndFadesInAndTheMenuChangesTheDevice) {
    const std::string music = home + "music/";
    fs::create_directories(music);
    const std::vector<TestDsdShape> alpha = {Shape(TestDsdKind::DsfLsb, Dsd64, 0.4, 31),
                                             Shape(TestDsdKind::Dff, Dsd64, 0.3, 32)},
                                    beta = {Shape(TestDsdKind::DsfMsb, Dsd64, 0.3, 33)};
    std::vector<std::string> sections;
    for (const auto &[name, shapes] : {std::pair{"Alpha", alpha}, {"Beta", beta}}) {
        sections.push_back(std::string("!") + name);
        for (size_t i = 0; i < shapes.size(); ++i) {
            const std::string path =
                music + name + std::to_string(i) + (shapes[i].kind == TestDsdKind::Dff ? ".dff" : ".dsf");
            ASSERT_TRUE(TestDsd_WriteFile(shapes[i], path));
            sections.push_back("  " + path);
        }
    }
    fs::create_directories(app + "lpli");
    WriteBytes(app + "lpli/lpi.la", Utf16File({"Alpha", "Beta"}));
    WriteBytes(app + "lpli/lpi.lo", Utf16File(sections));
    std::vector<TestDsdShape> both = alpha;
    both.insert(both.end(), beta.begin(), beta.end());
    WriteCaptureConfig(home, home + "out.raw", GoneDevice | PcmOnlyDevice);

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

    // The capture device with its four rates in white, the one that cannot be opened in grey (a
    // click there does nothing), the device without DSD with the PCM it is given; the row under the
    // pointer turns green. The PCM device is chosen.
    x.Move(Left + 500, Top + 400);
    usleep(300'000);
    ExpectLooksLike(x, "device_window.png");
    x.Click(Left + 60, Top + 102);
    x.Move(Left + 60, Top + 70);
    EXPECT_TRUE(WaitPixel(x, Left + 40, Top + 60, 200, 22,
                          [](uint32_t p) { return ((p >> 8) & 0xFF) > 0xC0 && (p >> 16) < 0x90; }));
    EXPECT_TRUE(x.IsMapped(device)) << "a grey row cannot be chosen";
    x.Click(Left + 60, Top + 134);

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

    const XWindow main = WaitMainWindow(x, watch);
    ASSERT_NE(main, 0u);
    EXPECT_EQ(ReadBytes(settings), SettingsBytes("PCM only", {0, 1, 1, 1, 0, 1, 0})) << "it plays every rate";
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

    // Alpha into List 1, Beta into List 2, and P plays both from the start of List 1 to the end.
    const auto row = [](int r) { return std::pair{Left + 160, Top + 122 + 32 * r + 16}; };
    const std::string capture = home + "out.raw";
    auto size_of = [](const std::string &path) {
        std::error_code ec;
        const auto size = fs::file_size(path, ec);
        return ec ? size_t{0} : size_t(size);
    };
    // Plays from List 1 and waits for the sound in `file` (past byte `from`), then for the end.
    auto play_lists = [&](const std::string &file, size_t from) {
        x.Click(Left + 40, Top + 283); // List 1
        EXPECT_EQ(WaitRows(x, "ww"), "ww");
        x.KeyToWindow(main, XK_p);
        EXPECT_TRUE(WaitUntil(10'000, [&] { return size_of(file) > from + 65'536; })) << "sounding";
        EXPECT_TRUE(WaitUntil(10'000, [&] { return !Lit(x, 12, 208); })) << "played to the end";
    };
    EXPECT_EQ(WaitRows(x, "ww"), "ww");
    x.DoubleClick(row(0).first, row(0).second);
    EXPECT_EQ(WaitRows(x, "ww"), "ww") << "Alpha in List 1";
    x.Click(Left + 40, Top + 367); // Lists
    EXPECT_EQ(WaitRows(x, "ww"), "ww");
    x.DoubleClick(row(1).first, row(1).second);
    EXPECT_EQ(WaitRows(x, "w"), "w") << "Beta in List 2";
    // Converted without a gap between the tracks or the lists: the bytes the converter gives offline.
    const std::string wav_path = PcmOnlyWav(home);
    play_lists(wav_path, 0);
    Wav wav;
    ASSERT_TRUE(ReadWav(wav_path, wav));
    EXPECT_EQ(wav.rate, 352'800u);
    ASSERT_EQ(wav.bits, 32u);
    const size_t frames = wav.data.size() / 8;
    EXPECT_GT(frames, ExpectedBytes(both).size() / 2) << "the whole lists";
    const std::vector<uint8_t> offline = ConvertedOffline(ExpectedBytes(both), wav.rate, frames);
    ASSERT_EQ(offline.size(), frames * 8);
    const auto differ =
        std::mismatch(wav.data.begin(), wav.data.begin() + long(offline.size()), offline.begin());
    EXPECT_EQ(differ.first - wav.data.begin(), long(offline.size())) << "the first difference";

    // "Audio device..." from a right click on the tone arm: the device window again; the device
    // chosen there plays at once and is saved.
    x.Click(Left + 700, Top + 470, 3);
    usleep(400'000);
    for (unsigned long k : {XK_Down, XK_Return}) x.Key(k);
    ASSERT_NE(x.WaitMapped("audio device", 5000), 0u);
    x.Click(Left + 60, Top + 70); // DSD capture
    ASSERT_NE(x.WaitMapped("options", 3000), 0u);
    x.Click(Left + 215, Top + 330); // Start
    EXPECT_TRUE(WaitUntil(3000, [&] {
        return ReadBytes(settings) == SettingsBytes("DSD capture", {0, 1, 1, 1, 0, 1, 0});
    }));
    // The device opened anew has begun its capture file anew.
    play_lists(capture, 0);
    EXPECT_EQ(CheckCapture(CapturedFrom(capture, 0), both), "");

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

TEST_F(
    ProgramTest,
    EnterOnTheSplashOrSettingsThatDoNotFitAskForTheDeviceWhereEscapeEndsTheProgramOnlyWithThePointerInside) {
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

    // A saved channel pair beyond the device's channels does not fit it: asked for again unbidden.
    WriteBytes(settings, SettingsBytes("DSD capture", {64, 1, 1, 1, 2, 0, 1}));
    Start();
    ASSERT_NE(x.WaitMapped("audio device", 5000), 0u);
    EXPECT_EQ(EndBy([&] { x.Key(XK_Escape); }), 0);
}

// The command line without a display: --version and --help answer on standard output, an unknown
// option gives the usage on standard error and 2, "--" makes "--help" a file name, and without a
// display one line says so. None of them writes anything.
TEST_F(ProgramTest, CommandLineOptionsAnswerWithoutADisplayAndWriteNothing) {
    struct Case {
        std::vector<std::string> args;
        int code;
        std::string out, err; // exact, or "~text" for "holds text"
    };
    const std::string usage_end = "otherwise in " + data + "Tonmark/tm20/lpli/.\n";
    const Case cases[] = {
        {{"--version"}, 0, std::string("Groovestone DSD ") + PROGRAM_VERSION + "\n", ""},
        {{"x.dsf", "--help"}, 0, "~" + usage_end, ""},
        {{"--versio", "x.dsf"}, 2, "", "~unknown option '--versio'\nUsage: "},
        {{"--", "--help"}, 1, "", "System: Cannot open the display\n"},
    };
    for (const Case &c : cases) {
        std::string command = "unset DISPLAY WAYLAND_DISPLAY; exec '" + app + "Groovestone-lp-dsd'";
        for (const std::string &a : c.args) command += " '" + a + "'";
        command += " >'" + dir.path + "out.txt' 2>'" + dir.path + "err.txt'";
        const pid_t run = StartProgram("/bin/sh", {"-c", command}, {"HOME=" + home, "XDG_DATA_HOME=" + data});
        int code = -1;
        if (!WaitExit(run, 5000, code)) KillProgram(run);
        const std::string out = ReadBytes(dir.path + "out.txt"), err = ReadBytes(dir.path + "err.txt");
        const auto matches = [](const std::string &seen, const std::string &want) {
            return want.rfind('~', 0) == 0 ? seen.find(want.substr(1)) != std::string::npos : seen == want;
        };
        EXPECT_EQ(code, c.code) << c.args[0];
        EXPECT_TRUE(matches(out, c.out)) << c.args[0] << " printed: " << out;
        EXPECT_TRUE(matches(err, c.err)) << c.args[0] << " printed on standard error: " << err;
    }
    EXPECT_FALSE(fs::exists(data + "Tonmark"));
    EXPECT_FALSE(fs::exists(app + "lpli"));
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

// Two playlists of DSF and DFF tracks, loaded by double-clicks, edited and played through the
// capture device with every transport key; then files from the open dialog and from drops.
TEST_F(ProgramTest, ListsFillFromPlaylistsDialogAndDropsAndPlayGaplesslyUnderTheTransportKeys) {
    const std::string music = home + "music/";
    fs::create_directories(music + "folder");
    auto write = [&](const TestDsdShape &shape, const std::string &name) {
        const std::string path = music + name + (shape.kind == TestDsdKind::Dff ? ".dff" : ".dsf");
        EXPECT_TRUE(TestDsd_WriteFile(shape, path)) << path;
        return path;
    };
    const std::vector<TestDsdShape> alpha = {Shape(TestDsdKind::DsfLsb, Dsd64, 0.4, 1),
                                             Shape(TestDsdKind::Dff, Dsd64, 0.6, 2),
                                             Shape(TestDsdKind::DsfMsb, Dsd64, 0.4, 3)};
    const std::vector<TestDsdShape> beta = {Shape(TestDsdKind::Dff, Dsd64, 0.6, 4),
                                            Shape(TestDsdKind::DsfLsb, Dsd64, 0.6, 5)};
    std::vector<std::string> sections = {"!Beta"};
    for (size_t i = 0; i < beta.size(); ++i)
        sections.push_back("  " + write(beta[i], "b" + std::to_string(i)));
    sections.push_back("!Alpha");
    for (size_t i = 0; i < alpha.size(); ++i)
        sections.push_back("  " + write(alpha[i], "a" + std::to_string(i)));
    fs::create_directories(app + "lpli");
    WriteBytes(settings, SettingsBytes("DSD capture", {0, 1, 1, 1, 0, 0, 0}));
    WriteBytes(app + "lpli/lpi.la", Utf16File({"Beta", "Alpha"}));
    WriteBytes(app + "lpli/lpi.lo", Utf16File(sections));

    const std::string capture = home + "out.raw";
    auto capture_size = [&] {
        std::error_code ec;
        const auto size = fs::file_size(capture, ec);
        return ec ? size_t{0} : size_t(size);
    };
    // What the capture received from byte `from` on, as byte pairs.
    auto captured = [&](size_t from) {
        std::ifstream in(capture, std::ios::binary);
        in.seekg(std::streamoff(from));
        return PairFromCapture({std::istreambuf_iterator<char>(in), {}});
    };
    // Waits for sound after byte `from` of the capture.
    auto sounding = [&](size_t from) {
        return WaitUntil(10'000, [&] {
            const std::vector<uint8_t> pair = captured(from);
            if (std::any_of(pair.begin(), pair.end(), [](uint8_t b) { return b != 0x69; })) return true;
            from += pair.size();
            return false;
        });
    };

    WindowWatch watch;
    XProbe x;
    Start();
    const XWindow main = WaitMainWindow(x, watch);
    ASSERT_NE(main, 0u) << ReadBytes(dir.path + "stderr.txt");
    auto key = [&](unsigned long keysym, unsigned long modifier = 0) {
        x.KeyToWindow(main, keysym, modifier);
    };
    auto button = [&](int wx, int wy) { return x.Grab(Left + wx, Top + wy, 76, 26); };
    auto row = [&](int r) { return std::pair{Left + 100 + 60, Top + 122 + 32 * r + 16}; };
    const std::vector<uint32_t> list1_caption = button(8, 270), list2_caption = button(8, 310);

    // The playlist names, sorted; a double-click loads one into the empty List 1, and the other
    // into List 2 from the Lists view.
    EXPECT_EQ(WaitRows(x, "ww"), "ww");
    x.DoubleClick(row(0).first, row(0).second);
    EXPECT_EQ(WaitRows(x, "www"), "www") << "Alpha in List 1";
    EXPECT_TRUE(WaitUntil(2000, [&] { return button(8, 270) != list1_caption; })) << "List 1 shows its time";
    x.Click(Left + 40, Top + 367); // Lists
    EXPECT_EQ(WaitRows(x, "ww"), "ww");
    x.DoubleClick(row(1).first, row(1).second);
    EXPECT_EQ(WaitRows(x, "ww"), "ww") << "Beta in List 2";
    EXPECT_TRUE(WaitUntil(2000, [&] { return button(8, 310) != list2_caption; })) << "List 2 shows its time";

    // The third entry of List 1 removed: the second is selected and plays first.
    x.Click(Left + 40, Top + 283); // List 1
    EXPECT_EQ(WaitRows(x, "www"), "www");
    x.Click(row(2).first, row(2).second);
    EXPECT_EQ(WaitRows(x, "wwg"), "wwg");
    key(XK_Delete);
    EXPECT_EQ(WaitRows(x, "wg"), "wg");
    const std::vector<TestDsdShape> played = {alpha[1], beta[0], beta[1]};
    const std::vector<uint8_t> expected = ExpectedBytes(played);

    // P plays List 1 from the selection, then List 2, gaplessly; Space pauses and resumes. The
    // panel follows the track heard: List 2 with its last row highlighted.
    size_t mark = capture_size();
    key(XK_p);
    ASSERT_TRUE(sounding(mark));
    EXPECT_TRUE(WaitUntil(2000, [&] { return Lit(x, 12, 208); })) << "Play lit";
    usleep(300'000);
    key(XK_space);
    EXPECT_TRUE(WaitUntil(2000, [&] { return Lit(x, 12, 82); })) << "Pause lit";
    usleep(500'000);
    key(XK_space);
    EXPECT_TRUE(WaitUntil(2000, [&] { return !Lit(x, 12, 82); }));
    ASSERT_TRUE(WaitUntil(10'000, [&] { return !Lit(x, 12, 208); })) << "played to the end";
    std::vector<uint8_t> after;
    size_t heard = HeardPart(captured(mark), expected, after);
    EXPECT_LT(heard, expected.size()) << "the pause inserted silence";
    EXPECT_EQ(CheckCapture(after, std::vector<uint8_t>(expected.begin() + long(heard), expected.end())), "");
    EXPECT_EQ(WaitRows(x, "wg"), "wg");

    // A list's button (its first entry selected), P, then Space once it sounds: paused early in it.
    auto play_then_pause = [&](int button_y) {
        x.Click(Left + 40, Top + button_y);
        EXPECT_EQ(WaitRows(x, "ww"), "ww");
        mark = capture_size();
        key(XK_p);
        const bool sounded = sounding(mark);
        key(XK_space);
        EXPECT_TRUE(WaitUntil(2000, [&] { return Lit(x, 12, 82); })) << "Pause lit";
        return sounded;
    };

    // Paused and then stopped by S: the start of List 2, then silence only.
    const std::vector<uint8_t> list2 = ExpectedBytes(beta);
    ASSERT_TRUE(play_then_pause(323)); // List 2
    key(XK_s);
    EXPECT_TRUE(WaitUntil(3000, [&] { return !Lit(x, 12, 82) && !Lit(x, 12, 208); }));
    heard = HeardPart(captured(mark), list2, after);
    EXPECT_GT(heard, 0u);
    EXPECT_LT(heard, list2.size());
    EXPECT_TRUE(std::all_of(after.begin(), after.end(), [](uint8_t b) { return b == 0x69; }));

    // N once every track of both lists has been read ahead (the lists last a few seconds): the
    // track after the one heard, from its start, and on to the end of List 2.
    const std::vector<TestDsdShape> both = {alpha[0], alpha[1], beta[0], beta[1]};
    const std::vector<uint8_t> all = ExpectedBytes(both);
    ASSERT_TRUE(play_then_pause(283)); // List 1
    usleep(300'000);
    key(XK_n);
    EXPECT_TRUE(WaitUntil(2000, [&] { return !Lit(x, 12, 82) && Lit(x, 12, 208); }))
        << "N plays on, unpaused";
    ASSERT_TRUE(WaitUntil(10'000, [&] { return !Lit(x, 12, 208); })) << "played to the end";
    heard = HeardPart(captured(mark), all, after);
    size_t next = 0, start = 0; // the track after the one heard, and where it starts in `all`
    while (next < both.size() && start < heard) start += ExpectedBytes({both[next++]}).size();
    ASSERT_GT(heard, 0u);
    ASSERT_LT(next, both.size()) << "the pause came in the last track";
    EXPECT_EQ(CheckCapture(after, std::vector<uint8_t>(all.begin() + long(start), all.end())), "")
        << "after track " << next;

    // Ctrl+C empties both lists: an empty panel, the captions back on the two buttons. With nothing
    // to play, P and Space do nothing: no sound, no message.
    key(XK_c, XK_Control_L);
    EXPECT_EQ(WaitRows(x, ""), "");
    EXPECT_TRUE(
        WaitUntil(2000, [&] { return button(8, 270) == list1_caption && button(8, 310) == list2_caption; }));
    mark = capture_size();
    key(XK_p);
    key(XK_space);
    EXPECT_EQ(x.WaitMapped("Error", 1000), 0u);
    EXPECT_FALSE(Lit(x, 12, 208));
    after = captured(mark);
    EXPECT_TRUE(std::all_of(after.begin(), after.end(), [](uint8_t b) { return b == 0x69; }));

    // A file from the open dialog, two dropped files and a dropped folder's files (by name) fill
    // List 1, and P plays them all.
    const std::vector<TestDsdShape> added = {
        Shape(TestDsdKind::Dff, Dsd64, 0.3, 6), Shape(TestDsdKind::DsfMsb, Dsd64, 0.3, 7),
        Shape(TestDsdKind::Dff, Dsd64, 0.3, 8), Shape(TestDsdKind::DsfLsb, Dsd64, 0.3, 9),
        Shape(TestDsdKind::Dff, Dsd64, 0.3, 10)};
    const std::string opened = write(added[0], "c");
    const std::vector<std::string> dropped = {write(added[1], "d0"), write(added[2], "d1")};
    write(added[3], "folder/f0");
    write(added[4], "folder/f1");
    x.Click(Left + 46, Top + 423); // Open
    const XWindow chooser = x.WaitMapped("Open Audio files", 5000);
    ASSERT_NE(chooser, 0u);
    x.KeyToWindow(chooser, XK_slash); // opens the location entry
    usleep(200'000);
    x.Type(opened.substr(1));
    x.Key(XK_Return);
    EXPECT_EQ(WaitRows(x, "w"), "w");

    // Dragged from the little source window (100x100 at 20,20) onto the list panel; the source
    // stays until the panel shows `rows`, as it hands the items over after the drop.
    auto drop = [&](const std::vector<std::string> &items, const std::string &rows) {
        std::vector<std::string> args = {"20", "20"};
        args.insert(args.end(), items.begin(), items.end());
        const pid_t source = StartProgram(DRAG_SOURCE, args, {});
        EXPECT_NE(x.WaitMapped("drag source", 5000), 0u);
        usleep(300'000);
        x.Move(70, 70);
        x.Button(true);
        for (auto [px, py] : {std::pair{90, 90}, {Left + 300, Top + 300}, {Left + 320, Top + 320}}) {
            usleep(100'000);
            x.Move(px, py);
        }
        usleep(200'000);
        x.Button(false);
        const std::string seen = WaitRows(x, rows);
        KillProgram(source);
        return seen;
    };
    EXPECT_EQ(drop(dropped, "www"), "www");
    EXPECT_EQ(drop({music + "folder"}, "wwwww"), "wwwww");

    // P on the Lists view plays List 1 from its first entry.
    x.Click(Left + 40, Top + 367); // Lists
    EXPECT_EQ(WaitRows(x, "ww"), "ww");
    mark = capture_size();
    key(XK_p);
    ASSERT_TRUE(sounding(mark));
    ASSERT_TRUE(WaitUntil(10'000, [&] { return !Lit(x, 12, 208); })) << "played to the end";
    EXPECT_EQ(CheckCapture(captured(mark), added), "");

    // A close request that comes while N stops the output is honoured once the stop is done.
    mark = capture_size();
    key(XK_p);
    ASSERT_TRUE(sounding(mark));
    key(XK_n);
    x.RequestClose(main);
    EXPECT_EQ(ExitCode(5000), 0);
}

// A playlist of every kind of file that is not a playable track, beside good ones (DSF, WavPack and
// DFF), in list files that hold broken UTF-16: only the good tracks are listed, the bad ones that
// reach the engine are named in one box that Enter takes away, and the good ones play byte for byte
// without a gap.
TEST_F(ProgramTest, HostileFilesAndBrokenListFilesLeaveOnlyTheGoodTracksListedAndPlayed) {
    const std::string music = home + "music/";
    fs::create_directories(music);
    const std::vector<TestDsdShape> good = {Shape(TestDsdKind::DsfLsb, Dsd64, 0.5, 1),
                                            Shape(TestDsdKind::DsfMsb, Dsd64, 0.3, 3),
                                            Shape(TestDsdKind::Dff, Dsd64, 0.4, 2)};
    ASSERT_TRUE(TestDsd_WriteFile(good[0], music + "good.dsf"));
    ASSERT_TRUE(TestDsd_WriteFile(good[1], music + "good-wv.dsf"));
    ASSERT_TRUE(TestDsd_WriteFile(good[2], music + "good.dff"));
    // WavPack files made by `wavpack`: one of DSD, and one of PCM (a WAV of silence), which is refused.
    WriteBytes(music + "pcm.wav", std::string("RIFF\x24\x10\0\0WAVEfmt \x10\0\0\0\x01\0\x02\0\x44\xAC\0\0"
                                              "\x10\xB1\x02\0\x04\0\x10\0data\0\x10\0\0",
                                              44) +
                                      std::string(4096, '\0'));
    const std::string make =
        "cd '" + music + "' && wavpack -q -y good-wv.dsf -o good.wv && wavpack -q -y pcm.wav";
    ASSERT_EQ(std::system(make.c_str()), 0);
    WriteBytes(music + "empty.dsf", "");
    ASSERT_TRUE(TestDsd_WriteFile(good[0], music + "truncated.dsf"));
    fs::resize_file(music + "truncated.dsf", 40); // inside the header
    ASSERT_TRUE(TestDsd_WriteFile(good[0], music + "short.dsf"));
    fs::resize_file(music + "short.dsf", fs::file_size(music + "short.dsf") - 5000); // the header claims more
    std::string dst = ReadBytes(music + "good.dff");
    const size_t cmpr = dst.find("CMPR");
    ASSERT_NE(cmpr, std::string::npos);
    dst.replace(cmpr + 12, 4, "DST "); // compressed, as the form says
    WriteBytes(music + "dst.dff", dst);
    WriteBytes(music + "wave.dsf", "RIFF\x24\x10\0\0WAVEfmt " + std::string(4096, '\x11'));

    // UTF-16 as the program writes it, with raw units spliced in.
    auto units = [](std::initializer_list<uint16_t> list) {
        std::string bytes;
        for (uint16_t u : list) bytes += std::string{char(u & 0xFF), char(u >> 8)};
        return bytes;
    };
    const std::string crlf = units({'\r', '\n'});
    auto text = [&](const std::string &line) { return Utf16File({line}).substr(2); };
    const std::string lone =
        text("Bad").substr(0, 6) + units({0xD800, 'x'}); // "Bad", a lone high surrogate, "x"
    fs::create_directories(app + "lpli");
    WriteBytes(settings, SettingsBytes("DSD capture", {0, 1, 1, 1, 0, 0, 0}));
    // Four names: "Bad\uFFFDx", "Half" and "Line" (a zero unit ends a line) and "Hostile"; the odd
    // last byte is no character.
    WriteBytes(app + "lpli/lpi.la", Utf16File({"Hostile"}) + lone + crlf + text("Half").substr(0, 8) +
                                        units({0}) + text("Line") + "Z");
    std::string tracks =
        Utf16File({"!Hostile", "  " + music + "missing.dsf", "  " + music + "empty.dsf",
                   "  " + music + "truncated.dsf", "  " + music + "dst.dff", "  " + music + "short.dsf",
                   "  " + music + "wave.dsf", "  " + music + "pcm.wv"}) +
        text("  " + music).substr(0, 2 * (2 + music.size())) + units({0xDC00}) + crlf +
        text("  " + music + "good.dsf") + crlf + text("  " + music + "good.wv") + units({'!'}) + lone + crlf +
        text("  " + music + "good.dff");
    WriteBytes(app + "lpli/lpi.lo", tracks);

    WindowWatch watch;
    XProbe x;
    Start();
    const XWindow main = WaitMainWindow(x, watch);
    ASSERT_NE(main, 0u) << ReadBytes(dir.path + "stderr.txt");
    auto row = [](int r) { return std::pair{Left + 160, Top + 122 + 32 * r + 16}; };
    EXPECT_EQ(WaitRows(x, "wwww"), "wwww") << "Bad\uFFFDx, Half, Hostile, Line";

    // Hostile into List 1: the missing and the empty file are passed over, the five others are
    // named in one box.
    x.DoubleClick(row(2).first, row(2).second);
    const XWindow error = x.WaitMapped("Error", 5000);
    ASSERT_NE(error, 0u);
    x.KeyToWindow(error, XK_Return);
    EXPECT_TRUE(WaitUntil(2000, [&] { return !x.IsMapped(error); }));
    EXPECT_EQ(WaitRows(x, "ww"), "ww");
    usleep(300'000);
    EXPECT_EQ(x.Find("Error"), 0u) << "one box only";

    // The playlist whose name holds the lone surrogate loads into List 2.
    x.Click(Left + 40, Top + 367); // Lists
    EXPECT_EQ(WaitRows(x, "wwww"), "wwww");
    x.DoubleClick(row(0).first, row(0).second);
    EXPECT_EQ(WaitRows(x, "w"), "w");

    const std::string capture = home + "out.raw";
    const size_t mark = fs::exists(capture) ? fs::file_size(capture) : 0;
    x.Click(Left + 40, Top + 283); // List 1
    EXPECT_EQ(WaitRows(x, "ww"), "ww");
    x.KeyToWindow(main, XK_p);
    auto heard = [&] {
        std::ifstream in(capture, std::ios::binary);
        in.seekg(std::streamoff(mark));
        return CheckCapture(PairFromCapture({std::istreambuf_iterator<char>(in), {}}), good);
    };
    std::string wrong;
    EXPECT_TRUE(WaitUntil(10'000, [&] { return (wrong = heard()).empty(); })) << wrong;
    EXPECT_EQ(EndBy([&] { x.RequestClose(main); }), 0);
}

namespace {

// The channels of two pixels differ by at most `tolerance`.
bool Near(uint32_t a, uint32_t b, int tolerance) {
    for (int shift : {0, 8, 16})
        if (std::abs(int((a >> shift) & 0xFF) - int((b >> shift) & 0xFF)) > tolerance) return false;
    return true;
}
// Each channel of the pixel times n / 255, then plus the colour c times (255 - n) / 255.
uint32_t Mix(uint32_t p, int n, uint32_t c) {
    uint32_t out = 0;
    for (int shift : {0, 8, 16}) {
        const int v = int((p >> shift) & 0xFF) * n / 255 + int((c >> shift) & 0xFF) * (255 - n) / 255;
        out |= uint32_t(v) << shift;
    }
    return out;
}

} // namespace

// An album with its cover on the record's label and in the corner box, the position bar while it
// plays, and the playlists and library written from the menus and dialogs.
TEST_F(ProgramTest, CoversBarPlaylistDialogsAndTheDriveScanWorkFromTheWindow) {
    Picture photo;
    ASSERT_TRUE(LoadPng(PHOTO, photo));
    auto photo_at = [&](int wx, int wy) { return photo.pixels[size_t((wy - 24) * photo.w + wx)]; };
    const std::string album = home + "Music/Artist/Album/";
    fs::create_directories(album);
    const std::vector<TestDsdShape> tracks = {Shape(TestDsdKind::DsfLsb, Dsd64, 2.5, 1),
                                              Shape(TestDsdKind::Dff, Dsd64, 0.3, 2)};
    EXPECT_TRUE(TestDsd_WriteFile(tracks[0], album + "t0.dsf"));
    EXPECT_TRUE(TestDsd_WriteFile(tracks[1], album + "t1.dff"));
    constexpr uint32_t Red = 0xC82828;
    ASSERT_TRUE(SavePng({300, 300, std::vector<uint32_t>(300 * 300, Red)}, album + "cover.png"));
    fs::create_directories(app + "lpli");
    WriteBytes(app + "lpli/lpi.la", Utf16File({"Album"}));
    WriteBytes(app + "lpli/lpi.lo", Utf16File({"!Album", "  " + album + "t0.dsf", "  " + album + "t1.dff"}));
    const auto row = [](int r) { return std::pair{Left + 160, Top + 122 + 32 * r + 16}; };
    const std::string capture = home + "out.raw";

    // The label's middle (window (370, 316)) and a point of the label's rectangle outside its ellipse.
    constexpr int LabelX = 370, LabelY = 316, RingX = 245, RingY = 209;
    // The dialogs' OK: the 500x280 dialog is centred on the screen, OK centred in (100, 200) 100x24.
    constexpr int DialogOkX = (1280 - 500) / 2 + 150, DialogOkY = (1024 - 280) / 2 + 212;
    XProbe x;
    for (uint8_t view : {2, 1}) {
        WriteBytes(settings, SettingsBytes("DSD capture", {0, 1, 1, 1, view, 0, 1}));
        fs::remove(app + "lpli/lists.gs"); // each start with empty lists, as on a first start
        WindowWatch watch;
        Start();
        const XWindow main = WaitMainWindow(x, watch);
        ASSERT_NE(main, 0u);
        x.DoubleClick(row(0).first, row(0).second);
        const auto screen = [&](int wx, int wy) { return x.Grab(Left + wx, Top + wy, 1, 1)[0]; };
        if (view == 1) {
            // In the corner box, blended 159:96 with the photograph.
            EXPECT_TRUE(
                WaitUntil(2000, [&] { return Near(screen(744, 96), Mix(photo_at(744, 96), 96, Red), 4); }))
                << std::hex << screen(744, 96);
            EXPECT_TRUE(Near(screen(LabelX, LabelY), photo_at(LabelX, LabelY), 4)) << "no label cover";
            EXPECT_EQ(EndBy([&] { x.RequestClose(main); }), 0);
            break;
        }
        // On the label: darkened by a quarter inside the ellipse, the record outside it.
        EXPECT_TRUE(WaitUntil(2000, [&] { return Near(screen(LabelX, LabelY), Mix(Red, 191, 0), 4); }))
            << std::hex << screen(LabelX, LabelY);
        EXPECT_TRUE(Near(screen(RingX, RingY), photo_at(RingX, RingY), 4));

        // Playing: the dark fill of the position bar grows and the title is written on it.
        const size_t before = fs::exists(capture) ? fs::file_size(capture) : 0;
        x.KeyToWindow(main, XK_p);
        EXPECT_TRUE(WaitUntil(5000, [&] { return fs::exists(capture) && fs::file_size(capture) > before; }));
        auto filled = [&] {
            const std::vector<uint32_t> bar = x.Grab(Left + 150, Top + 80 + 24, 464, 1);
            int n = 0;
            for (int i = 0; i < 464; ++i) {
                const uint32_t light = Mix(photo_at(150 + i, 104), 191, 0xFFFFFF);
                n += Near(bar[size_t(i)], Mix(light, 127, 0x001400), 6);
            }
            return n;
        };
        int first = 0;
        EXPECT_TRUE(WaitUntil(3000, [&] { return (first = filled()) > 0; }));
        EXPECT_TRUE(WaitUntil(3000, [&] { return filled() > first + 50; })) << first;
        const std::vector<uint32_t> title = x.Grab(Left + 155, Top + 84, 60, 20);
        EXPECT_TRUE(
            std::any_of(title.begin(), title.end(), [](uint32_t p) { return Near(p, 0xEFEFEF, 40); }));
        x.KeyToWindow(main, XK_s);
        // Stopping takes what comes meanwhile unhandled: the next click waits for the idle player.
        EXPECT_TRUE(WaitUntil(3000, [&] { return !Lit(x, 12, 208); }));
        usleep(300'000);

        // The list menu's "Write Playlist": a name with blanks around it is stored trimmed; a wrong
        // name keeps the dialog open with its message; Escape writes nothing.
        auto list_menu_write = [&] {
            x.Click(Left + 400, Top + 300, 3);
            usleep(400'000);
            for (unsigned long k : {XK_Down, XK_Down, XK_Down, XK_Return}) x.Key(k);
            const XWindow shown = x.WaitMapped("Groovestone", 3000);
            usleep(300'000); // the name entry has the keyboard focus
            return shown;
        };
        XWindow dialog = list_menu_write();
        ASSERT_NE(dialog, 0u);
        x.Type("  Mine  ");
        x.Click(DialogOkX, DialogOkY);
        EXPECT_TRUE(WaitUntil(2000, [&] { return x.Find("Groovestone") == 0; }));
        // The dialog goes before the files are written.
        const std::string mine_lo = Utf16File({"!Album", "  " + album + "t0.dsf", "  " + album + "t1.dff",
                                               "!Mine", "  " + album + "t0.dsf", "  " + album + "t1.dff"});
        EXPECT_TRUE(WaitUntil(2000, [&] { return ReadBytes(app + "lpli/lpi.lo") == mine_lo; }));
        EXPECT_TRUE(WaitUntil(2000, [&] {
            return ReadBytes(app + "lpli/lpi.la") == Utf16File({"Album", "Mine"});
        }));
        const std::string la = ReadBytes(app + "lpli/lpi.la"), lo = ReadBytes(app + "lpli/lpi.lo");
        dialog = list_menu_write();
        ASSERT_NE(dialog, 0u);
        x.Type("-x");
        x.Click(DialogOkX, DialogOkY);
        usleep(500'000);
        EXPECT_TRUE(x.IsMapped(dialog)) << "a wrong name keeps the dialog";
        x.KeyToWindow(dialog, XK_Escape);
        EXPECT_TRUE(WaitUntil(2000, [&] { return x.Find("Groovestone") == 0; }));
        EXPECT_EQ(ReadBytes(app + "lpli/lpi.la"), la);
        EXPECT_EQ(ReadBytes(app + "lpli/lpi.lo"), lo);

        // Under a file size limit the longer track file cannot be written: the program lives on,
        // says so in a box, and both files stay as they were.
        rlimit limit{}, unlimited{};
        ASSERT_EQ(prlimit(pid, RLIMIT_FSIZE, nullptr, &unlimited), 0);
        limit = unlimited;
        limit.rlim_cur = lo.size();
        ASSERT_EQ(prlimit(pid, RLIMIT_FSIZE, &limit, nullptr), 0);
        dialog = list_menu_write();
        ASSERT_NE(dialog, 0u);
        x.Type("Full");
        x.Click(DialogOkX, DialogOkY);
        const XWindow error = x.WaitMapped("Error", 3000);
        EXPECT_NE(error, 0u) << "no box; the program " << (ExitCode(0) == -1 ? "runs" : "ended");
        x.KeyToWindow(error, XK_Return);
        EXPECT_TRUE(WaitUntil(2000, [&] { return !x.IsMapped(error); }));
        ASSERT_EQ(prlimit(pid, RLIMIT_FSIZE, &unlimited, nullptr), 0);
        EXPECT_EQ(ReadBytes(app + "lpli/lpi.la"), la);
        EXPECT_EQ(ReadBytes(app + "lpli/lpi.lo"), lo);

        // The playlist menu's "Delete Playlist" on "Mine", confirmed: the files lose it.
        x.Click(Left + 40, Top + 367); // Lists
        usleep(300'000);
        x.Click(row(1).first, row(1).second, 3);
        usleep(400'000);
        for (unsigned long k : {XK_Down, XK_Return}) x.Key(k);
        ASSERT_NE(x.WaitMapped("Groovestone", 3000), 0u);
        x.Click(DialogOkX, DialogOkY);
        EXPECT_TRUE(WaitUntil(2000, [&] { return ReadBytes(app + "lpli/lpi.la") == Utf16File({"Album"}); }));
        EXPECT_EQ(ReadBytes(app + "lpli/lpi.lo"),
                  Utf16File({"!Album", "  " + album + "t0.dsf", "  " + album + "t1.dff"}));

        // The drive menu over Library: the music folder (the slot after "/") scanned into the library.
        x.Click(Left + 40, Top + 513, 3);
        usleep(400'000);
        for (unsigned long k : {XK_Down, XK_Right, XK_Down, XK_Return}) x.Key(k);
        EXPECT_TRUE(WaitUntil(
            5000, [&] { return ReadBytes(app + "lpli/lpli1.la") == Utf16File({"Artist : Album"}); }));

        // Both lists emptied: the bare record again.
        x.KeyToWindow(main, XK_c, XK_Control_L);
        EXPECT_TRUE(
            WaitUntil(2000, [&] { return Near(screen(LabelX, LabelY), photo_at(LabelX, LabelY), 4); }));
        EXPECT_EQ(EndBy([&] { x.RequestClose(main); }), 0);
    }
}

namespace {

// A session bus of the test's own, ended with the test.
struct PrivateBus {
    std::string address;
    pid_t pid = -1;
    PrivateBus() {
        if (FILE *out = popen("dbus-daemon --session --fork --print-address=1 --print-pid=1", "r")) {
            char line[512];
            if (fgets(line, sizeof line, out))
                address = std::string(line).substr(0, std::strcspn(line, "\n"));
            if (fgets(line, sizeof line, out)) pid = std::atoi(line);
            pclose(out);
        }
    }
    ~PrivateBus() {
        if (pid > 0) kill(pid, SIGTERM);
    }
    // The command's standard output on this bus, without its last line feed.
    std::string Run(const std::string &command) const {
        std::string text;
        if (FILE *out = popen(
                ("DBUS_SESSION_BUS_ADDRESS='" + address + "' " + command + " 2>/dev/null").c_str(), "r")) {
            char buffer[512];
            for (size_t n; (n = fread(buffer, 1, sizeof buffer, out)) > 0;) text.append(buffer, n);
            pclose(out);
        }
        if (!text.empty() && text.back() == '\n') text.pop_back();
        return text;
    }
};

struct Killed {
    pid_t pid;
    ~Killed() { KillProgram(pid); }
};

} // namespace

// Files named on the command line fill List 1; playerctl drives the player over MPRIS2 as the keys
// do and reads what it plays, with the first track's tags and its embedded cover, which the label
// shows; a second start with a file, of a copy under another name, hands it to the player running
// and ends.
TEST_F(ProgramTest, CommandLineFilesAndMprisDriveThePlayerAndASecondStartHandsItsFileOver) {
    const PrivateBus bus;
    ASSERT_FALSE(bus.address.empty());
    const std::string music = home + "music/", capture = home + "out.raw";
    fs::create_directories(music);
    const std::vector<TestDsdShape> shapes = {Shape(TestDsdKind::DsfLsb, Dsd64, 1.2, 21),
                                              Shape(TestDsdKind::Dff, Dsd64, 0.4, 22),
                                              Shape(TestDsdKind::DsfMsb, Dsd64, 0.3, 23)};
    // The last one's name holds a line feed (at the end of its title, which so stays one row high): it
    // must reach the player whole.
    const std::vector<std::string> files = {music + "first.dsf", music + "second.dff", music + "later\n.dsf"};
    for (size_t i = 1; i < shapes.size(); ++i) ASSERT_TRUE(TestDsd_WriteFile(shapes[i], files[i]));
    // The first carries an ID3v2.3 tag with a front cover and no picture file beside it.
    constexpr uint32_t Blue = 0x2850C8;
    ASSERT_TRUE(SavePng({64, 64, std::vector<uint32_t>(64 * 64, Blue)}, dir.path + "blue.png"));
    const std::string cover = ReadBytes(dir.path + "blue.png");
    WriteBytes(
        files[0],
        DsfWithTag(shapes[0], Id3v2Tag(3, {"Kyrie", "Choir", "Missa", "1/3", {{3, "image/png", cover}}})));
    fs::create_directories(app + "lpli");
    WriteBytes(settings, SettingsBytes("DSD capture", {0, 1, 1, 1, 2, 0, 0}));
    const std::vector<std::string> env = {"HOME=" + home, "XDG_DATA_HOME=" + data,
                                          "XDG_CACHE_HOME=" + home + "cache",
                                          "DBUS_SESSION_BUS_ADDRESS=" + bus.address};
    auto capture_size = [&] {
        std::error_code ec;
        const auto size = fs::file_size(capture, ec);
        return ec ? size_t{0} : size_t(size);
    };
    auto sounding = [&](size_t from) {
        return WaitUntil(5000, [&] {
            const std::vector<uint8_t> pair = CapturedFrom(capture, from);
            return std::any_of(pair.begin(), pair.end(), [](uint8_t b) { return b != 0x69; });
        });
    };
    auto ctl = [&](const std::string &command) { return bus.Run("playerctl -p groovestone " + command); };
    auto status_is = [&](const std::string &status, int ms = 3000) {
        return WaitUntil(ms, [&] { return ctl("status") == status; });
    };

    // The first file by a name relative to the current folder, as a shell gives it.
    WindowWatch watch;
    XProbe x;
    pid = StartProgram(app + "Groovestone-lp-dsd", {fs::relative(files[0]).string(), files[1]}, env,
                       dir.path + "stderr.txt");
    const XWindow main = WaitMainWindow(x, watch);
    ASSERT_NE(main, 0u) << ReadBytes(dir.path + "stderr.txt");
    EXPECT_EQ(WaitRows(x, "ww"), "ww") << "the command line's files in List 1";
    ASSERT_TRUE(WaitUntil(3000, [&] { return bus.Run("playerctl -l") == "groovestone"; }));
    EXPECT_EQ(bus.Run("playerctl -p groovestone metadata --format '{{mpris:length}}'"), "")
        << "nothing heard";
    // A device that plays DSD bit-perfect has no volume: it stays at 1.
    bus.Run("playerctl -p groovestone volume 0.5");
    EXPECT_EQ(bus.Run("playerctl -p groovestone volume"), "1.000000");
    // Every announced status, in order.
    const std::string followed = dir.path + "followed.txt";
    const Killed follower{
        StartProgram("/bin/sh", {"-c", "exec playerctl -p groovestone --follow status >'" + followed + "'"},
                     {"DBUS_SESSION_BUS_ADDRESS=" + bus.address})};
    // It follows once it has printed the status it found.
    ASSERT_TRUE(WaitUntil(3000, [&] { return ReadBytes(followed) == "Stopped\n"; }));

    // Play from idle; the track heard with its length; pause; play resumes; the lists play to their
    // end with nothing lost but the pause's silence, and the player stops by itself.
    size_t mark = capture_size();
    ctl("play");
    EXPECT_TRUE(status_is("Playing"));
    ASSERT_TRUE(sounding(mark));
    EXPECT_TRUE(WaitUntil(2000, [&] { return Lit(x, 12, 208); })) << "Play lit";
    const std::vector<uint8_t> expected = ExpectedBytes({shapes[0], shapes[1]});
    const size_t first_bytes = ExpectedBytes({shapes[0]}).size();
    EXPECT_EQ(ctl("metadata --format '{{xesam:title}}|{{xesam:artist}}|{{xesam:album}}|"
                  "{{xesam:trackNumber}}|{{mpris:length}}|{{xesam:url}}'"),
              "Kyrie|Choir|Missa|1|" + std::to_string(first_bytes * 1'000'000 / (8 * Dsd64 / 32)) +
                  "|file://" + files[0]);
    const std::string art = ctl("metadata mpris:artUrl");
    EXPECT_EQ(art.rfind("file://" + home + "cache/groovestone-dsd/covers/", 0), 0u) << art;
    EXPECT_EQ(ReadBytes(art.substr(std::min(art.size(), size_t(7)))), cover)
        << "the cover written to the cache";
    // On the label, darkened by a quarter.
    const auto screen = [&](int wx, int wy) { return x.Grab(Left + wx, Top + wy, 1, 1)[0]; };
    EXPECT_TRUE(WaitUntil(2000, [&] { return Near(screen(370, 316), Mix(Blue, 191, 0), 4); }))
        << std::hex << screen(370, 316);
    usleep(300'000);
    ctl("pause");
    EXPECT_TRUE(status_is("Paused"));
    EXPECT_TRUE(WaitUntil(2000, [&] { return Lit(x, 12, 82); })) << "Pause lit";
    usleep(500'000);
    ctl("play");
    EXPECT_TRUE(status_is("Playing"));
    EXPECT_TRUE(WaitUntil(2000, [&] { return !Lit(x, 12, 82); }));
    EXPECT_TRUE(WaitUntil(3000, [&] { return ctl("metadata --format '{{xesam:title}}'") == "second"; }));
    EXPECT_TRUE(status_is("Stopped", 5000)) << "played to the end";
    EXPECT_FALSE(Lit(x, 12, 208));
    std::vector<uint8_t> after;
    const size_t heard = HeardPart(CapturedFrom(capture, mark), expected, after);
    EXPECT_LT(heard, expected.size()) << "the pause inserted silence";
    EXPECT_EQ(CheckCapture(after, std::vector<uint8_t>(expected.begin() + long(heard), expected.end())), "");

    // Play-pause from idle plays as Space does; stop stops.
    mark = capture_size();
    ctl("play-pause");
    EXPECT_TRUE(status_is("Playing"));
    ASSERT_TRUE(sounding(mark));
    ctl("stop");
    EXPECT_TRUE(status_is("Stopped"));
    EXPECT_TRUE(WaitUntil(2000, [&] { return !Lit(x, 12, 208); }));
    EXPECT_TRUE(WaitUntil(2000, [&] {
        const std::string text = ReadBytes(followed);
        return text.size() >= 8 && text.compare(text.size() - 8, 8, "Stopped\n") == 0;
    }));
    std::vector<std::string> statuses;
    std::istringstream lines(ReadBytes(followed));
    for (std::string line; std::getline(lines, line);)
        if (statuses.empty() || statuses.back() != line) statuses.push_back(line);
    EXPECT_EQ(statuses, (std::vector<std::string>{"Stopped", "Playing", "Paused", "Playing", "Stopped",
                                                  "Playing", "Stopped"}));

    // OpenUri refuses a file of another host and a path too long for the system, adding nothing.
    auto open_uri = [&](const std::string &uri) {
        return bus.Run("dbus-send --session --print-reply --type=method_call "
                       "--dest=org.mpris.MediaPlayer2.groovestone /org/mpris/MediaPlayer2 "
                       "org.mpris.MediaPlayer2.Player.OpenUri string:'" +
                       uri + "'");
    };
    EXPECT_EQ(open_uri("file://otherhost" + files[0]), "") << "refused";
    EXPECT_EQ(open_uri("file://" + music + std::string(5000, 'x') + ".dsf"), "") << "refused";

    // A second start (a double-click in the file manager) leaves at once; its file joins List 1, which
    // is shown in place of the playlists. It is a copy renamed by its user, which no process name
    // gives away: the bus's name finds the player.
    const std::string renamed = dir.path + "portable/dsd player";
    fs::create_directories(dir.path + "portable");
    fs::copy_file(PROGRAM, renamed);
    x.Click(Left + 40, Top + 367); // Lists
    EXPECT_TRUE(WaitUntil(3000, [&] { return PanelRows(x).empty(); })) << PanelRows(x);
    int code = -1;
    const pid_t second = StartProgram(renamed, {files[2]}, env);
    if (!WaitExit(second, 5000, code)) KillProgram(second);
    EXPECT_EQ(code, 0);
    EXPECT_TRUE(WaitUntil(3000, [&] { return PanelRows(x).size() == 3; })) << PanelRows(x);
    EXPECT_FALSE(fs::exists(dir.path + "portable/lpli")) << "the second start wrote nothing";

    // A track of 14 s from the bus, played from its row: a click at the end of the position bar's
    // first tenth, Right, Left, SetPosition, then Previous after more than 3 s (its start again) and at
    // once after that (the track before, which plays on into it). Each plays on byte for byte from a
    // whole frame: the exact one for the bar and SetPosition, 10 s from where the key came for the keys.
    const TestDsdShape long_shape = Shape(TestDsdKind::DsfLsb, Dsd64, 14, 24);
    const std::string long_file = music + "long.dsf", seeked = dir.path + "seeked.txt";
    ASSERT_TRUE(TestDsd_WriteFile(long_shape, long_file));
    open_uri("file://" + long_file);
    ASSERT_TRUE(WaitUntil(3000, [&] { return PanelRows(x).size() == 4; })) << PanelRows(x);
    x.Click(Left + 160, Top + 122 + 3 * 32 + 16);
    ASSERT_TRUE(WaitUntil(2000, [&] { return PanelRows(x) == "wwwg"; })) << PanelRows(x);
    const Killed monitor{StartProgram(
        "/bin/sh", {"-c", "exec dbus-monitor \"type='signal',member='Seeked'\" >'" + seeked + "'"},
        {"DBUS_SESSION_BUS_ADDRESS=" + bus.address})};
    const size_t later_bytes = ExpectedBytes({shapes[2]}).size(), per_second = 8 * Dsd64 / 32;
    const std::vector<uint8_t> later_then_long = ExpectedBytes({shapes[2], long_shape});
    const size_t long_bytes = later_then_long.size() - later_bytes;
    auto position = [&] { return std::atof(ctl("position").c_str()); };
    // The position heard comes to lie in [from, to), and then moves on: the sound has started again.
    // (A key pressed while playback starts would be taken unhandled.)
    auto heard_from = [&](double from, double to) {
        double p = 0;
        const bool there = WaitUntil(5000, [&] {
            p = position();
            return p >= from && p < to;
        });
        return there && WaitUntil(3000, [&] { return position() > p + 0.05; });
    };
    mark = capture_size();
    ctl("play");
    ASSERT_TRUE(sounding(mark));
    const size_t at_bar = size_t(double(47) / 470 * double(long_bytes)) / 8 * 8;
    x.Click(Left + 150 + 47, Top + 80 + 14);
    EXPECT_TRUE(heard_from(1.4, 3)) << position();
    x.KeyToWindow(main, XK_Right);
    EXPECT_TRUE(heard_from(10.5, 14)) << position();
    x.KeyToWindow(main, XK_Left);
    EXPECT_TRUE(heard_from(0.5, 4)) << position();
    const std::string track = ctl("metadata --format '{{mpris:trackid}}'");
    bus.Run("dbus-send --session --type=method_call --dest=org.mpris.MediaPlayer2.groovestone "
            "/org/mpris/MediaPlayer2 org.mpris.MediaPlayer2.Player.SetPosition objpath:" +
            track + " int64:6000000");
    EXPECT_TRUE(heard_from(6, 9)) << position();
    ctl("previous");
    EXPECT_TRUE(heard_from(0, 2)) << position();
    ctl("previous");
    EXPECT_TRUE(WaitUntil(
        3000, [&] { return ctl("metadata --format '{{xesam:url}}'").find("later") != std::string::npos; }));
    EXPECT_TRUE(
        WaitUntil(3000, [&] { return ctl("metadata --format '{{xesam:url}}'") == "file://" + long_file; }));
    ctl("stop");
    EXPECT_TRUE(status_is("Stopped"));
    std::vector<Stretch> pieces;
    ASSERT_EQ(FindStretches(CapturedFrom(capture, mark), later_then_long, pieces), "");
    ASSERT_EQ(pieces.size(), 7u);
    auto end_of = [&](const Stretch &s) { return s.From + s.Length - later_bytes; };
    const size_t sought[] = {0, at_bar, 0, 0, 6 * per_second, 0};
    for (size_t i = 0; i < 6; ++i) {
        EXPECT_GE(pieces[i].From, later_bytes) << i;
        EXPECT_EQ((pieces[i].From - later_bytes) % 8, 0u) << i;
        if (i != 2 && i != 3) {
            EXPECT_EQ(pieces[i].From - later_bytes, sought[i]) << i;
        }
    }
    // The keys: 10 s from the position pieces when they came, which the sound passed before it moved.
    const size_t right = pieces[2].From - later_bytes, left = pieces[3].From - later_bytes;
    EXPECT_LE(right, end_of(pieces[1]) + 10 * per_second);
    EXPECT_GT(right, end_of(pieces[1]) + 7 * per_second);
    EXPECT_LE(left + 10 * per_second, end_of(pieces[2]));
    EXPECT_GT(left + 13 * per_second, end_of(pieces[2]));
    EXPECT_EQ(pieces[6].From, 0u);
    EXPECT_GT(pieces[6].Length, later_bytes) << "the track before, then on into the long one";
    std::istringstream signals(ReadBytes(seeked));
    size_t seeks = 0;
    for (std::string line; std::getline(signals, line);)
        seeks += line.find("member=Seeked") != std::string::npos;
    EXPECT_GE(seeks, 5u);

    // Quit from the bus ends the player, which gives up its name.
    bus.Run("dbus-send --session --type=method_call --dest=org.mpris.MediaPlayer2.groovestone "
            "/org/mpris/MediaPlayer2 org.mpris.MediaPlayer2.Quit");
    EXPECT_EQ(ExitCode(5000), 0);
    EXPECT_EQ(bus.Run("playerctl -l"), "");

    // The lists and the view shown come back at the next start, without a track gone since, and not
    // at all from a damaged file; no message either way.
    const std::string saved = app + "lpli/lists.gs";
    EXPECT_NE(ReadBytes(saved).find(files[2]), std::string::npos) << "a line feed in a name is kept";
    auto restart = [&](const std::string &rows) {
        WindowWatch restarted;
        Start();
        const XWindow again = WaitMainWindow(x, restarted);
        EXPECT_NE(again, 0u);
        const std::string seen = WaitRows(x, rows);
        EXPECT_EQ(EndBy([&] { x.RequestClose(again); }), 0);
        EXPECT_TRUE(restarted.Changes("Error").empty()) << "no message";
        return seen;
    };
    fs::remove(files[1]);
    EXPECT_EQ(restart("www"), "www") << "List 1 shown again, without the track gone";
    EXPECT_EQ(ReadBytes(saved).find(files[1]), std::string::npos) << "written again without it";
    std::string damaged = ReadBytes(saved);
    damaged[damaged.size() / 2] ^= 1;
    WriteBytes(saved, damaged);
    EXPECT_EQ(restart(""), "") << "the playlists, and no list";
    EXPECT_NE(ReadBytes(saved), damaged);
}
