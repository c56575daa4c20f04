// Windows, controls and events of the windowing layer on a real X server (Xvfb), driven from outside
// with xdotool, xprop and ImageMagick's import.

#include "gui.h"
#include "gui_internal.h"

#include <gtest/gtest.h>
// After gtest: the X11 headers define macros that gtest's names would meet.
#include <gdk/gdkx.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <thread>

namespace {

constexpr int MainWindow = 20;

std::string ShellOutput(const std::string &cmd) {
    std::string out;
    if (FILE *p = popen(cmd.c_str(), "r")) {
        char buf[256];
        while (fgets(buf, sizeof buf, p)) out += buf;
        pclose(p);
    }
    return out;
}

void Sh(const std::string &cmd) {
    ASSERT_EQ(std::system(cmd.c_str()), 0) << cmd;
}

unsigned long Xid(int win) {
    return GDK_WINDOW_XID(gtk_widget_get_window(g_gui.windows.at(win).top));
}

struct Seen {
    int kind, win, control, menu, timer;
};

// Takes events for up to ms milliseconds, until one of `kind` arrives; returns it, or kind EventNone.
Seen WaitFor(int kind, int ms = 2000, std::vector<Seen> *all = nullptr) {
    auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    while (std::chrono::steady_clock::now() < end) {
        auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(end - std::chrono::steady_clock::now());
        int k = WaitWindowEvent(int(std::max<int64_t>(1, left.count())));
        if (k == EventNone) continue;
        Seen s{k, EventWindow(), EventControl(), EventMenu(), EventTimer()};
        if (all) all->push_back(s);
        if (k == kind) return s;
    }
    return Seen{EventNone, -1, -1, -1, -1};
}

// Every event that arrives within ms milliseconds.
std::vector<Seen> Collect(int ms) {
    std::vector<Seen> all;
    WaitFor(-1, ms, &all);
    return all;
}

int Count(const std::vector<Seen> &all, int kind) {
    return int(std::count_if(all.begin(), all.end(), [kind](const Seen &s) { return s.kind == kind; }));
}

// The main window of the program as it is built: centred, borderless, the photograph below y = 24.
class GuiWindowTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(
            OpenWindow(MainWindow, 0, 0, 820, 560, "Groovestone DSD", WindowBorderless | WindowCentered));
        SetWindowColor(MainWindow, 0x101010);
        ASSERT_TRUE(CreateImage(50, 820, 536, false));
        ASSERT_TRUE(StartDrawing(ImageOutput(50)));
        Box(0, 0, 820, 536, 0x334455);
        StopDrawing();
        ASSERT_TRUE(ImageControl(51, 0, 24, 820, 536, 50));
        ASSERT_TRUE(TextControl(32, 0, 0, 724, 24, ""));
        SetControlColor(32, ColorBack, 0x000000);
        ASSERT_TRUE(CanvasControl(30, 770, 0, 50, 24));
        ASSERT_TRUE(CanvasControl(31, 724, 0, 46, 24));
        ASSERT_TRUE(CanvasControl(63, 100, 122, 570, 400));
        Collect(100);
    }
    void TearDown() override {
        CloseWindow(MainWindow);
        FreeImage(50);
        EXPECT_FALSE(IsWindow(MainWindow));
        EXPECT_FALSE(IsControl(30));
        Sh("xdotool mousemove 5 5");
        Collect(50);
    }
};

TEST_F(GuiWindowTest, CentredWindowAndControlsLieAtTheirScreenRectangles) {
    Rect r;
    ASSERT_TRUE(WindowRect(MainWindow, r));
    EXPECT_EQ(r.x, 230);
    EXPECT_EQ(r.y, 232);
    EXPECT_EQ(r.w, 820);
    EXPECT_EQ(r.h, 560);
    ASSERT_TRUE(ControlRect(30, r));
    EXPECT_EQ(r.x, 230 + 770);
    EXPECT_EQ(r.y, 232);
    EXPECT_EQ(r.w, 50);
    EXPECT_EQ(r.h, 24);
    ASSERT_TRUE(ControlRect(63, r));
    EXPECT_EQ(r.x, 330);
    EXPECT_EQ(r.y, 354);

    // The transport texts are made 0x0 and sized afterwards.
    ASSERT_TRUE(TextControl(34, 12, 206, 0, 0, "Play"));
    ResizeControl(34, 12, 208, 62, 30);
    ASSERT_TRUE(ControlRect(34, r));
    EXPECT_EQ(r.x, 242);
    EXPECT_EQ(r.y, 440);
    EXPECT_EQ(r.w, 62);
    EXPECT_EQ(r.h, 30);
    EXPECT_EQ(GetControlText(34), "Play");

    // Colours read back as set; unset ones are black text on the window's colour.
    EXPECT_EQ(GetControlColor(34, ColorFront), 0);
    EXPECT_EQ(GetControlColor(34, ColorBack), 0x101010);
    SetControlColor(34, ColorFront, 0x60F060);
    EXPECT_EQ(GetControlColor(34, ColorFront), 0x60F060);
    EXPECT_EQ(GetControlColor(999, ColorFront), -1);
    FreeControl(34);
    EXPECT_FALSE(ControlRect(34, r));

    // Controls go into the window in use.
    ASSERT_TRUE(OpenWindow(23, 10, 20, 420, 280, "Groovestone", WindowBorderless));
    ASSERT_TRUE(CanvasControl(68, 0, 0, 420, 280));
    ASSERT_TRUE(ControlRect(68, r));
    EXPECT_EQ(r.x, 10);
    EXPECT_EQ(r.y, 20);
    UseWindow(MainWindow);
    ASSERT_TRUE(CanvasControl(64, 680, 32, 128, 128));
    ASSERT_TRUE(ControlRect(64, r));
    EXPECT_EQ(r.x, 230 + 680);
    CloseWindow(23);
    EXPECT_FALSE(IsControl(68));
    EXPECT_TRUE(IsControl(64));
}

TEST_F(GuiWindowTest, OpacityIsSetOnTheWindowProperty) {
    std::string cmd = "xprop -id " + std::to_string(Xid(MainWindow)) + " _NET_WM_WINDOW_OPACITY";
    SetWindowOpacity(MainWindow, 153);
    Collect(50);
    EXPECT_NE(ShellOutput(cmd).find("= 2576980377"), std::string::npos) << ShellOutput(cmd);
    SetWindowOpacity(MainWindow, 0);
    Collect(50);
    EXPECT_NE(ShellOutput(cmd).find("= 0"), std::string::npos) << ShellOutput(cmd);
    SetWindowOpacity(MainWindow, 255);
    Collect(50);
    EXPECT_EQ(ShellOutput(cmd).find("= "), std::string::npos) << ShellOutput(cmd);

    // For a fade-in: opened hidden, made transparent, then shown, it is transparent from its first map.
    ASSERT_TRUE(OpenWindow(21, 0, 0, 200, 100, "fade", WindowBorderless | WindowInvisible));
    SetWindowOpacity(21, 0);
    std::string fade = "xprop -id " + std::to_string(Xid(21)) + " _NET_WM_WINDOW_OPACITY";
    EXPECT_NE(ShellOutput(fade).find("= 0"), std::string::npos) << ShellOutput(fade);
    EXPECT_EQ(ShellOutput("xdotool search --onlyvisible --name '^fade$'"), "");
    ActivateWindow(21);
    EXPECT_NE(ShellOutput("xdotool search --onlyvisible --name '^fade$'"), "");
    CloseWindow(21);
}

TEST_F(GuiWindowTest, WindowTimersTickOnceWhileWaitingAndStopWhenRemoved) {
    AddWindowTimer(MainWindow, 117, 20);
    Seen s = WaitFor(EventTimerTick, 1000);
    EXPECT_EQ(s.kind, EventTimerTick);
    EXPECT_EQ(s.win, MainWindow);
    EXPECT_EQ(s.timer, 117);

    // While the program does not take events, ticks do not pile up.
    auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(200);
    while (std::chrono::steady_clock::now() < end) g_main_context_iteration(nullptr, FALSE);
    EXPECT_EQ(std::count_if(g_gui.queue.begin(), g_gui.queue.end(),
                            [](const GuiEvent &e) { return e.kind == EventTimerTick; }),
              1);

    // Adding the same timer again restarts it rather than adding a second one.
    AddWindowTimer(MainWindow, 117, 20);
    EXPECT_EQ(g_gui.timers.size(), 1u);
    RemoveWindowTimer(MainWindow, 117);
    Collect(5);
    auto all = Collect(150);
    EXPECT_EQ(Count(all, EventTimerTick), 0);
}

TEST_F(GuiWindowTest, TimerStartedFromAnotherThreadTicksOnTheMainThread) {
    std::thread audio([] { AddWindowTimer(MainWindow, 119, 10); });
    audio.join();
    // Only the main thread touches the timer table: the request waits for the event loop.
    EXPECT_EQ(g_gui.timers.count({MainWindow, 119}), 0u);
    Seen s = WaitFor(EventTimerTick, 1000);
    EXPECT_EQ(s.timer, 119);
    EXPECT_EQ(s.win, MainWindow);
    EXPECT_EQ(g_gui.timers.count({MainWindow, 119}), 1u);
    std::thread stop([] { RemoveWindowTimer(MainWindow, 119); });
    stop.join();
    Collect(30);
    EXPECT_EQ(g_gui.timers.count({MainWindow, 119}), 0u);
    EXPECT_EQ(Count(Collect(100), EventTimerTick), 0);
    // IsWindow answers on any thread.
    bool open = false;
    std::thread ask([&open] { open = IsWindow(MainWindow); });
    ask.join();
    EXPECT_TRUE(open);
}

TEST_F(GuiWindowTest, KeyShortcutsArriveAsTheirCommandNumbers) {
    AddKeyboardShortcut(MainWindow, KeySpace, 200);
    AddKeyboardShortcut(MainWindow, KeyP, 203);
    AddKeyboardShortcut(MainWindow, KeyUp, 207);
    AddKeyboardShortcut(MainWindow, KeyControl | KeyUp, 209);
    AddKeyboardShortcut(MainWindow, KeyControl | KeyC, 211);
    Sh("xdotool windowfocus --sync " + std::to_string(Xid(MainWindow)));
    std::string key = "xdotool key ";
    const std::pair<const char *, int> cases[] = {
        {"space", 200}, {"p", 203}, {"Up", 207}, {"ctrl+Up", 209}, {"ctrl+c", 211}};
    for (auto [keys, command] : cases) {
        Sh(key + keys);
        Seen s = WaitFor(EventMenuItem, 1000);
        EXPECT_EQ(s.menu, command) << keys;
        EXPECT_EQ(s.win, MainWindow) << keys;
    }
    // Other keys, other modifiers and removed shortcuts give nothing.
    RemoveKeyboardShortcut(MainWindow, KeySpace);
    Sh(key + "x shift+p ctrl+p space");
    EXPECT_EQ(Count(Collect(300), EventMenuItem), 0);
}

TEST_F(GuiWindowTest, MousePressesDoubleClicksAndCanvasHoverArriveForTheWindow) {
    Sh("xdotool mousemove 400 400");
    Collect(100);
    Sh("xdotool click 1");
    Seen s = WaitFor(EventLeftButtonDown);
    EXPECT_EQ(s.win, MainWindow);
    Sh("xdotool click 3");
    EXPECT_EQ(WaitFor(EventRightButtonDown).win, MainWindow);
    Collect(400); // past the double-click time

    // A double click is one press and one double click, as on Windows.
    Sh("xdotool click --repeat 2 --delay 60 1");
    auto all = Collect(400);
    EXPECT_EQ(Count(all, EventLeftButtonDown), 1);
    EXPECT_EQ(Count(all, EventLeftDoubleClick), 1);

    // Entering and leaving the close button's canvas.
    Sh("xdotool mousemove 1010 240");
    s = WaitFor(EventMouseEnterControl);
    EXPECT_EQ(s.control, 30);
    Sh("xdotool mousemove 980 240"); // onto the minimise canvas
    all.clear();
    WaitFor(EventMouseEnterControl, 2000, &all);
    ASSERT_GE(all.size(), 2u);
    EXPECT_EQ(Count(all, EventMouseLeaveControl), 1);
    EXPECT_EQ(all.back().control, 31);
    Sh("xdotool mousemove 600 600");
    EXPECT_EQ(WaitFor(EventMouseLeaveControl).control, 31);
    Sh("xdotool mousemove 1100 100"); // out of the window altogether
    Collect(100);

    // Where is the pointer?
    int x = 0, y = 0;
    DesktopMouse(x, y);
    EXPECT_EQ(x, 1100);
    EXPECT_EQ(y, 100);

    // A disabled window takes no input.
    DisableWindow(MainWindow, true);
    Sh("xdotool mousemove 400 400 click 1 mousemove 1010 240");
    all = Collect(300);
    EXPECT_EQ(Count(all, EventLeftButtonDown), 0);
    EXPECT_EQ(Count(all, EventMouseEnterControl), 0);
    DisableWindow(MainWindow, false);
    Sh("xdotool mousemove 400 400 click 1");
    EXPECT_EQ(WaitFor(EventLeftButtonDown).kind, EventLeftButtonDown);
}

TEST_F(GuiWindowTest, DraggingFollowsTheHeldButtonOnly) {
    // A press that has already been released starts no move.
    Sh("xdotool mousemove 400 300 click 1");
    ASSERT_EQ(WaitFor(EventLeftButtonDown).kind, EventLeftButtonDown);
    BeginWindowDrag(MainWindow);
    Sh("xdotool mousemove 500 400");
    Collect(100);
    Rect r;
    ASSERT_TRUE(WindowRect(MainWindow, r));
    EXPECT_EQ(r.x, 230);
    EXPECT_EQ(r.y, 232);

    // A held press moves the window with the pointer (pressed after the double-click time).
    Collect(500);
    Sh("xdotool mousemove 400 300 mousedown 1");
    ASSERT_EQ(WaitFor(EventLeftButtonDown).kind, EventLeftButtonDown);
    BeginWindowDrag(MainWindow);
    Sh("xdotool mousemove 420 330");
    Collect(100);
    Sh("xdotool mousemove 450 350");
    Collect(100);
    Sh("xdotool mouseup 1");
    Collect(100);
    ASSERT_TRUE(WindowRect(MainWindow, r));
    EXPECT_EQ(r.x, 280);
    EXPECT_EQ(r.y, 282);
}

TEST_F(GuiWindowTest, CanvasDrawingAndControlsShowOnTheScreen) {
    // The close glyph on its canvas, a green box on the panel, a coloured text control.
    ASSERT_TRUE(StartDrawing(CanvasOutput(30)));
    Box(0, 0, 50, 24, 0x852C33);
    Line(20, 7, 11, 11, 0xEEEEEE);
    Line(20, 17, 11, -11, 0xEEEEEE);
    StopDrawing();
    ASSERT_TRUE(StartDrawing(CanvasOutput(63)));
    Box(0, 0, 570, 400, 0x000000);
    Box(10, 10, 50, 50, 0x00FF00);
    StopDrawing();
    ASSERT_TRUE(TextControl(34, 12, 208, 62, 30, "Play"));
    SetControlColor(34, ColorBack, 0x060606);
    SetControlColor(34, ColorFront, 0xE0E0E0);
    Collect(200);

    std::string shot = std::string(::testing::TempDir()) + "gui_shot.png";
    Sh("import -window root " + shot);
    ASSERT_TRUE(LoadImageFile(90, shot));
    ASSERT_TRUE(StartDrawing(ImageOutput(90)));
    const int ox = 230, oy = 232;
    EXPECT_EQ(Point(ox + 100 + 30, oy + 122 + 30), 0x00FF00u); // the box on the panel
    EXPECT_EQ(Point(ox + 100 + 5, oy + 122 + 5), 0x000000u);   // the rest of the panel
    EXPECT_EQ(Point(ox + 770 + 25, oy + 12), 0xEEEEEEu);       // the centre of the X
    EXPECT_EQ(Point(ox + 770 + 21, oy + 8), 0xEEEEEEu);        // on its first line
    EXPECT_EQ(Point(ox + 770 + 22, oy + 8), 0x852C33u);        // beside it
    EXPECT_EQ(Point(ox + 700, oy + 5), 0x000000u);             // the title bar
    EXPECT_EQ(Point(ox + 12 + 61, oy + 208 + 29), 0x060606u);  // the text control's back
    EXPECT_EQ(Point(ox + 400, oy + 540), 0x334455u);           // the photograph
    int ink = 0;
    for (int y = oy + 208; y < oy + 238; ++y)
        for (int x = ox + 12; x < ox + 74; ++x) ink += Point(x, y) != 0x060606;
    EXPECT_GT(ink, 20); // "Play" is written
    StopDrawing();
    FreeImage(90);
    std::remove(shot.c_str());
}

TEST_F(GuiWindowTest, PopupMenuItemsAndSubMenuItemsArriveAsMenuEvents) {
    ASSERT_TRUE(CreatePopupMenu(212));
    MenuItem(216, "Sort by name");
    MenuItem(217, "Sort by random");
    MenuBar();
    MenuItem(214, "Write Playlist");
    ASSERT_TRUE(CreatePopupMenu(218));
    OpenSubMenu("Search to Library One ");
    for (int i = 219; i <= 225; ++i) MenuItem(i, "");
    CloseSubMenu();
    SetMenuItemText(218, 219, "/");
    SetMenuItemText(218, 220, "/home/music/");

    Sh("xdotool mousemove 400 400 click 3");
    ASSERT_EQ(WaitFor(EventRightButtonDown).kind, EventRightButtonDown);
    DisplayPopupMenu(212, MainWindow);
    Collect(300);
    Sh("xdotool key Down Down Return");
    Seen s = WaitFor(EventMenuItem);
    EXPECT_EQ(s.menu, 217);
    EXPECT_EQ(s.win, MainWindow);

    // A disabled item is passed over.
    DisableMenuItem(212, 216, true);
    Sh("xdotool click 3");
    ASSERT_EQ(WaitFor(EventRightButtonDown).kind, EventRightButtonDown);
    DisplayPopupMenu(212, MainWindow);
    Collect(300);
    Sh("xdotool key Down Return");
    EXPECT_EQ(WaitFor(EventMenuItem).menu, 217);

    // The second item of the drive sub-menu.
    Sh("xdotool click 3");
    ASSERT_EQ(WaitFor(EventRightButtonDown).kind, EventRightButtonDown);
    DisplayPopupMenu(218, MainWindow);
    Collect(300);
    Sh("xdotool key Down Right");
    Collect(200);
    Sh("xdotool key Down Return");
    EXPECT_EQ(WaitFor(EventMenuItem).menu, 220);

    // Escape closes a menu without a choice.
    Sh("xdotool click 3");
    ASSERT_EQ(WaitFor(EventRightButtonDown).kind, EventRightButtonDown);
    DisplayPopupMenu(212, MainWindow);
    Collect(300);
    Sh("xdotool key Escape");
    EXPECT_EQ(Count(Collect(300), EventMenuItem), 0);
    FreeMenu(212);
    FreeMenu(218);
    EXPECT_FALSE(IsMenu(212));
}

TEST_F(GuiWindowTest, StringControlTakesTypedTextWhileEscapeStaysAShortcut) {
    ASSERT_TRUE(StringControl(505, 100, 100, 300, 26, ""));
    SetControlColor(505, ColorFront, 0xEFEFEF);
    SetControlColor(505, ColorBack, 0x101010);
    AddKeyboardShortcut(MainWindow, KeyEscape, 398);
    Sh("xdotool mousemove 500 400");
    ActivateWindow(MainWindow);
    ActivateControl(505);
    Collect(100);
    Sh("xdotool windowfocus --sync " + std::to_string(Xid(MainWindow)) + " type 'Jazz 42'");
    Collect(200);
    EXPECT_EQ(GetControlText(505), "Jazz 42");
    SetControlText(505, "- Wrong name -");
    EXPECT_EQ(GetControlText(505), "- Wrong name -");
    Sh("xdotool key Escape");
    EXPECT_EQ(WaitFor(EventMenuItem).menu, 398);
    Rect r;
    ASSERT_TRUE(ControlRect(505, r));
    EXPECT_EQ(r.x, 330);
    EXPECT_EQ(r.w, 300);
}

TEST_F(GuiWindowTest, DroppedFilesArriveAsLocalPathsOnePerLine) {
    EnableWindowDrop(MainWindow);
    std::string dir = std::string(::testing::TempDir()) + "gui drop";
    std::string a = dir + "/a track.dsf", b = dir + "/B%.DFF";
    std::system(("mkdir -p '" + dir + "'").c_str());
    std::ofstream(a) << "x";
    std::ofstream(b) << "x";
    std::string cmd = std::string(DRAG_SOURCE) + " 20 20 '" + a + "' '" + b + "' >/dev/null 2>&1 & echo $!";
    std::string pid = ShellOutput(cmd);
    ASSERT_FALSE(pid.empty());
    // Drive the drag from another thread while this one runs the event loop.
    std::thread mouse([] {
        std::system("timeout 5 xdotool search --sync --name '^drag source$' >/dev/null; sleep 0.3;"
                    "xdotool mousemove 70 70 mousedown 1; sleep 0.1; xdotool mousemove 90 90; sleep 0.1;"
                    "xdotool mousemove 300 300; sleep 0.1; xdotool mousemove 400 400; sleep 0.2;"
                    "xdotool mouseup 1");
    });
    std::string dropped;
    auto end = std::chrono::steady_clock::now() + std::chrono::seconds(8);
    while (dropped.empty() && std::chrono::steady_clock::now() < end)
        if (WaitWindowEvent(100) == EventWindowDrop) {
            EXPECT_EQ(EventWindow(), MainWindow);
            dropped = EventDropFiles();
        }
    mouse.join();
    std::system(("kill " + pid).c_str());
    EXPECT_EQ(dropped, a + "\n" + b);
    std::system(("rm -rf '" + dir + "'").c_str());
}

} // namespace
