// Windows, controls, events, menus and dialogs of the windowing layer on a real X server (Xvfb), driven
// from outside with xdotool, xprop and ImageMagick's import.

#include "fixtures.h"
#include "gui.h"
#include "gui_internal.h"

#include <gtest/gtest.h>
// After gtest: the X11 headers define macros that gtest's names would meet.
#include <gdk/gdkx.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <thread>
#include <tuple>

namespace {

constexpr int MainWindow = 20;
using Place = std::array<int, 4>; // x, y, w, h on the screen

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

std::string Xid(int win) {
    return std::to_string(GDK_WINDOW_XID(gtk_widget_get_window(Gui.Windows.at(win).Top)));
}

Place ControlPlace(int id) {
    Rect r{-1, -1, -1, -1};
    ControlRect(id, r);
    return {r.X, r.Y, r.Width, r.Height};
}

struct Seen {
    int kind, win, control, menu, timer;
};

// Takes events for up to ms milliseconds, until one of `kind` arrives; returns it, or kind EventNone.
Seen WaitFor(int kind, int ms = 2000, std::vector<Seen> *all = nullptr) {
    for (auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
         std::chrono::steady_clock::now() < end;) {
        const int k = WaitWindowEvent(10);
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

// A window like the program's main one: centred, borderless, the close button's canvas at its top right.
class GuiWindowTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(
            OpenWindow(MainWindow, 0, 0, 820, 560, "Groovestone DSD", WindowBorderless | WindowCentered));
        SetWindowColor(MainWindow, 0x101010);
        ASSERT_TRUE(CanvasControl(30, 770, 0, 50, 24));
        Collect(100);
    }
    void TearDown() override {
        CloseWindow(MainWindow);
        EXPECT_FALSE(IsWindow(MainWindow));
        EXPECT_FALSE(IsControl(30));
        Sh("xdotool mousemove 5 5");
        Collect(50);
    }
};

// Where windows and controls lie on the screen is met by the tests of the program (every window
// centred at (230, 232)) and of the pointer helpers (controls at their offsets in the window).
TEST_F(GuiWindowTest, ControlsAreResizedColouredAndKeptInTheWindowInUse) {
    // The transport texts are made 0x0 and sized afterwards; unset colours are black on the window's.
    ASSERT_TRUE(TextControl(34, 12, 206, 0, 0, "Play"));
    ResizeControl(34, 12, 208, 62, 30);
    EXPECT_EQ(ControlPlace(34), (Place{242, 440, 62, 30}));
    EXPECT_EQ(GetControlColor(34, ColorFront), 0);
    EXPECT_EQ(GetControlColor(34, ColorBack), 0x101010);
    EXPECT_EQ(GetControlColor(999, ColorFront), -1);
    FreeControl(34);
    EXPECT_FALSE(IsControl(34));

    ASSERT_TRUE(OpenWindow(23, 10, 20, 420, 280, "Groovestone", WindowBorderless));
    ASSERT_TRUE(CanvasControl(68, 0, 0, 420, 280));
    EXPECT_EQ(ControlPlace(68), (Place{10, 20, 420, 280}));
    UseWindow(MainWindow);
    ASSERT_TRUE(CanvasControl(64, 680, 32, 128, 128));
    EXPECT_EQ(ControlPlace(64), (Place{230 + 680, 232 + 32, 128, 128}));
    CloseWindow(23);
    EXPECT_FALSE(IsControl(68));
    EXPECT_TRUE(IsControl(64));
}

TEST_F(GuiWindowTest, OpacityIsSetOnTheWindowProperty) {
    auto opacity = [] {
        Collect(50);
        return ShellOutput("xprop -id " + Xid(MainWindow) + " _NET_WM_WINDOW_OPACITY");
    };
    SetWindowOpacity(MainWindow, 153);
    EXPECT_NE(opacity().find("= 2576980377"), std::string::npos) << opacity();
    SetWindowOpacity(MainWindow, 0);
    EXPECT_NE(opacity().find("= 0"), std::string::npos) << opacity();
    SetWindowOpacity(MainWindow, 255);
    EXPECT_EQ(opacity().find("= "), std::string::npos) << opacity();
}

TEST_F(GuiWindowTest, WindowTimersTickOnceWhileWaitingAndStartAndStopFromAnyThread) {
    AddWindowTimer(MainWindow, 117, 20);
    Seen s = WaitFor(EventTimerTick, 1000);
    EXPECT_EQ(s.win, MainWindow);
    EXPECT_EQ(s.timer, 117);

    // While the program does not take events, ticks do not pile up.
    auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(200);
    while (std::chrono::steady_clock::now() < end) g_main_context_iteration(nullptr, FALSE);
    EXPECT_EQ(std::count_if(Gui.Queue.begin(), Gui.Queue.end(),
                            [](const GuiEvent &e) { return e.Kind == EventTimerTick; }),
              1);
    // Adding the same timer again restarts it rather than adding a second one.
    AddWindowTimer(MainWindow, 117, 20);
    EXPECT_EQ(Gui.Timers.size(), 1u);
    RemoveWindowTimer(MainWindow, 117);
    Collect(5);

    // From another thread the request waits for the event loop: only the main thread touches the table.
    std::thread([] { AddWindowTimer(MainWindow, 119, 10); }).join();
    EXPECT_TRUE(Gui.Timers.empty());
    EXPECT_EQ(WaitFor(EventTimerTick, 1000).timer, 119) << "and 117 ticks no more";
    std::thread([] { RemoveWindowTimer(MainWindow, 119); }).join();
    Collect(30);
    EXPECT_TRUE(Gui.Timers.empty());
    EXPECT_EQ(Count(Collect(100), EventTimerTick), 0);
    bool open = false;
    std::thread([&open] { open = IsWindow(MainWindow); }).join();
    EXPECT_TRUE(open) << "IsWindow answers on any thread";
}

TEST_F(GuiWindowTest, KeyShortcutsArriveAsTheirCommandNumbersWhileAStringControlTakesOtherKeys) {
    const std::tuple<const char *, int, int> cases[] = {{"space", KeySpace, 200},
                                                        {"p", KeyP, 203},
                                                        {"Up", KeyUp, 207},
                                                        {"ctrl+Up", KeyControl | KeyUp, 209},
                                                        {"ctrl+c", KeyControl | KeyC, 211},
                                                        {"Escape", KeyEscape, 398}};
    for (auto [keys, key, command] : cases) AddKeyboardShortcut(MainWindow, key, command);
    Sh("xdotool windowfocus --sync " + Xid(MainWindow));
    for (auto [keys, key, command] : cases) {
        Sh(std::string("xdotool key ") + keys);
        Seen s = WaitFor(EventMenuItem, 1000);
        EXPECT_EQ(s.menu, command) << keys;
        EXPECT_EQ(s.win, MainWindow) << keys;
    }
    // Other keys, other modifiers and removed shortcuts give nothing.
    RemoveKeyboardShortcut(MainWindow, KeySpace);
    Sh("xdotool key x shift+p ctrl+p space");
    EXPECT_EQ(Count(Collect(300), EventMenuItem), 0);

    // Typed into a string control, a text arrives whole, and shortcuts stay shortcuts.
    ASSERT_TRUE(StringControl(505, 100, 100, 300, 26, ""));
    ActivateControl(505);
    Collect(100);
    Sh("xdotool windowfocus --sync " + Xid(MainWindow) + " type 'Jazz 42'");
    Collect(200);
    EXPECT_EQ(GetControlText(505), "Jazz 42");
    Sh("xdotool key p Escape");
    EXPECT_EQ(WaitFor(EventMenuItem).menu, 203);
    EXPECT_EQ(WaitFor(EventMenuItem).menu, 398);
    EXPECT_EQ(GetControlText(505), "Jazz 42");
    SetControlText(505, "- Wrong name -");
    EXPECT_EQ(GetControlText(505), "- Wrong name -");
}

// Single presses of both buttons are met by the menu and drag tests below, the pointer entering and
// leaving canvases by the tests of the program (the close and minimise buttons light up).
TEST_F(GuiWindowTest, DoubleClicksArriveAsOnWindowsAndADisabledWindowTakesNoInput) {
    Sh("xdotool mousemove 400 400 click --repeat 2 --delay 60 1");
    auto all = Collect(400);
    EXPECT_EQ(Count(all, EventLeftButtonDown), 1);
    EXPECT_EQ(Count(all, EventLeftDoubleClick), 1);
    EXPECT_TRUE(std::all_of(all.begin(), all.end(), [](const Seen &s) { return s.win == MainWindow; }));

    Sh("xdotool mousemove 1100 100"); // out of the window altogether
    Collect(100);
    int x = 0, y = 0;
    DesktopMouse(x, y);
    EXPECT_EQ((std::pair{x, y}), (std::pair{1100, 100}));

    DisableWindow(MainWindow, true);
    Sh("xdotool mousemove 400 400 click 1 mousemove 1010 240");
    all = Collect(300);
    EXPECT_EQ(Count(all, EventLeftButtonDown) + Count(all, EventMouseEnterControl), 0);
    DisableWindow(MainWindow, false);
    Sh("xdotool mousemove 400 400 click 1");
    EXPECT_EQ(WaitFor(EventLeftButtonDown).win, MainWindow);
}

TEST_F(GuiWindowTest, DraggingFollowsTheHeldButtonOnly) {
    auto drag = [](const std::string &press, const std::vector<std::string> &moves) {
        Sh("xdotool mousemove 400 300 " + press);
        ASSERT_EQ(WaitFor(EventLeftButtonDown).kind, EventLeftButtonDown);
        BeginWindowDrag(MainWindow);
        for (const std::string &move : moves) {
            Sh("xdotool " + move);
            Collect(100);
        }
    };
    Rect r;
    // A press that has already been released starts no move.
    drag("click 1", {"mousemove 500 400"});
    ASSERT_TRUE(WindowRect(MainWindow, r));
    EXPECT_EQ((std::pair{r.X, r.Y}), (std::pair{230, 232}));
    Collect(500); // past the double-click time: a held press moves the window with the pointer
    drag("mousedown 1", {"mousemove 420 330", "mousemove 450 350", "mouseup 1"});
    ASSERT_TRUE(WindowRect(MainWindow, r));
    EXPECT_EQ((std::pair{r.X, r.Y}), (std::pair{280, 282}));
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

    // Shows the menu at a right click and types each group of keys in turn: the item chosen, or -1.
    auto choose = [](int menu, std::vector<std::string> keys) {
        Sh("xdotool mousemove 400 400 click 3");
        EXPECT_EQ(WaitFor(EventRightButtonDown).kind, EventRightButtonDown);
        DisplayPopupMenu(menu, MainWindow);
        for (const std::string &k : keys) {
            Collect(300);
            Sh("xdotool key " + k);
        }
        Seen s = WaitFor(EventMenuItem, 1000);
        return s.win == MainWindow ? s.menu : s.kind == EventNone ? -1 : -2;
    };
    EXPECT_EQ(choose(212, {"Down Down Return"}), 217);
    DisableMenuItem(212, 216, true);
    EXPECT_EQ(choose(212, {"Down Return"}), 217) << "a disabled item is passed over";
    EXPECT_EQ(choose(218, {"Down Right", "Down Return"}), 220) << "the second item of the drive sub-menu";
    EXPECT_EQ(choose(212, {"Escape"}), -1) << "Escape closes a menu without a choice";
    FreeMenu(212);
    EXPECT_FALSE(IsMenu(212));
}

TEST_F(GuiWindowTest, DroppedFilesArriveAsWholeLocalPaths) {
    EnableWindowDrop(MainWindow);
    const TempFolder t;
    // A line feed is a character of a name like any other; a file of another host is left out.
    const std::string dir = t.Folder("gui drop"), a = dir + "/a track.dsf", b = dir + "/B%\n.DFF";
    std::ofstream(a) << "x";
    std::ofstream(b) << "x";
    const std::string pid =
        ShellOutput(std::string(DRAG_SOURCE) + " 20 20 '" + a + "' file://otherhost/music/c.dsf '" + b +
                    "' >/dev/null 2>&1 & echo $!");
    ASSERT_FALSE(pid.empty());
    // Drive the drag from another thread while this one runs the event loop.
    std::thread mouse([] {
        std::system("timeout 5 xdotool search --sync --name '^drag source$' >/dev/null; sleep 0.3;"
                    "xdotool mousemove 70 70 mousedown 1; sleep 0.1; xdotool mousemove 90 90; sleep 0.1;"
                    "xdotool mousemove 300 300; sleep 0.1; xdotool mousemove 400 400; sleep 0.2;"
                    "xdotool mouseup 1");
    });
    Seen s = WaitFor(EventWindowDrop, 8000);
    const std::vector<std::string> dropped =
        s.kind == EventWindowDrop ? EventDropFiles() : std::vector<std::string>{};
    mouse.join();
    std::system(("kill " + pid).c_str());
    EXPECT_EQ(s.win, MainWindow);
    EXPECT_EQ(dropped, (std::vector<std::string>{a, b}));
}

// Message boxes and the open-file dialog, answered from another thread.
TEST(GuiDialog, MessageBoxHook_RecordsBoxesInsteadOfShowingThem) {
    using Box = std::tuple<std::string, std::string, uint32_t>;
    std::vector<Box> shown;
    SetMessageBoxHook([&shown](const std::string &title, const std::string &text, uint32_t flags) {
        shown.emplace_back(title, text, flags);
        return 7;
    });
    EXPECT_EQ(MessageBox("System", "Slow system #B (CPU count)", 0x1010), 7);
    // A box asked for by another thread reaches the hook as well.
    std::thread([] { MessageBox("ASIO", "Selected device doesn't support DSD mode.", 0x1040); }).join();
    SetMessageBoxHook(nullptr);
    EXPECT_EQ(shown, (std::vector<Box>{{"System", "Slow system #B (CPU count)", 0x1010},
                                       {"ASIO", "Selected device doesn't support DSD mode.", 0x1040}}));
}

TEST(GuiDialog, MessageBox_ShowsAModalBoxThatOkCloses) {
    std::thread answer([] {
        std::system("timeout 5 xdotool search --sync --onlyvisible --name '^System$' windowfocus --sync "
                    "key Return >/dev/null");
    });
    auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(MessageBox("System", "Slow system #C (memory status)", 0x1010), 1);
    answer.join();
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5))
        << "closed by OK, not the time-out";
    EXPECT_EQ(std::system("xdotool search --onlyvisible --name '^System$' >/dev/null"), 256) << "gone";
}

TEST(GuiDialog, OpenFileDialog_FiltersNamesInAnyCaseAndReturnsEveryChosenFile) {
    const TempFolder t;
    const std::string dir = t.Folder("gui_open");
    for (const char *name : {"a.dsf", "b.DFF", "c.txt", "d.Dsf", "e.dsf.bak"})
        std::ofstream(dir + "/" + name) << "x";
    // Take every file the dialog shows in the folder.
    std::thread answer([] {
        std::system(
            "timeout 10 xdotool search --sync --onlyvisible --name '^Open Audio files$' windowfocus --sync"
            " && sleep 0.5 && xdotool key ctrl+a && sleep 0.2 && xdotool key Return");
    });
    auto files = OpenFileDialog("Open Audio files", dir, "*.DSF,*.DFF|*.DSF;*.DFF", true);
    answer.join();
    std::sort(files.begin(), files.end());
    EXPECT_EQ(files, (std::vector<std::string>{dir + "/a.dsf", dir + "/b.DFF", dir + "/d.Dsf"}));
}

// Without a folder given (the program gives "*.*"), the dialog opens in the folder last chosen from,
// else the user's music folder, else the home folder; never on GTK's list of recent files.
TEST(GuiDialog, OpenFileDialog_WithoutAFolderStartsInTheLastOneChosenFromElseMusicElseHome) {
    const TempFolder t;
    const std::string home = t.Folder("home"), music = t.Folder("home/Tunes"), other = t.Folder("other");
    t.File("other/a.dsf", "x");
    t.File("config/user-dirs.dirs", "XDG_MUSIC_DIR=\"$HOME/Tunes\"\n");
    const char *home_before = getenv("HOME"), *config_before = getenv("XDG_CONFIG_HOME");
    const std::string saved_home = home_before ? home_before : "",
                      saved_config = config_before ? config_before : "";
    setenv("HOME", home.c_str(), 1);
    setenv("XDG_CONFIG_HOME", (t.path + "config").c_str(), 1);

    // The folder the dialog shows, waited for up to two seconds, and then cancelled.
    struct Shown {
        std::string want, folder;
        int ticks = 0;
    };
    auto shown = [](const std::string &want) {
        Shown seen{want, "", 0};
        g_timeout_add(
            50,
            [](gpointer data) -> gboolean {
                auto *s = static_cast<Shown *>(data);
                GtkWidget *chooser = nullptr;
                GList *tops = gtk_window_list_toplevels();
                for (GList *w = tops; w; w = w->next)
                    if (GTK_IS_FILE_CHOOSER_DIALOG(w->data) && gtk_widget_get_visible(GTK_WIDGET(w->data)))
                        chooser = GTK_WIDGET(w->data);
                g_list_free(tops);
                if (!chooser) return G_SOURCE_CONTINUE;
                gchar *folder = gtk_file_chooser_get_current_folder(GTK_FILE_CHOOSER(chooser));
                s->folder = folder ? folder : "";
                g_free(folder);
                if (s->folder != s->want && ++s->ticks < 40) return G_SOURCE_CONTINUE;
                gtk_dialog_response(GTK_DIALOG(chooser), GTK_RESPONSE_CANCEL);
                return G_SOURCE_REMOVE;
            },
            &seen);
        EXPECT_TRUE(OpenFileDialog("Open Audio files", "*.*", "*.DSF,*.DFF|*.DSF;*.DFF", true).empty());
        return seen.folder;
    };
    EXPECT_EQ(shown(music), music);

    std::thread answer([] {
        std::system("timeout 10 xdotool search --sync --onlyvisible --name '^Open Audio files$' windowfocus"
                    " --sync && sleep 0.5 && xdotool key ctrl+a && sleep 0.2 && xdotool key Return");
    });
    const auto files = OpenFileDialog("Open Audio files", other, "*.DSF,*.DFF|*.DSF;*.DFF", true);
    answer.join();
    EXPECT_EQ(files, std::vector<std::string>{other + "/a.dsf"});
    EXPECT_EQ(shown(other), other);

    std::filesystem::remove_all(other);
    std::filesystem::remove_all(music);
    EXPECT_EQ(shown(home), home);
    for (const auto &[name, value] : {std::pair{"HOME", saved_home}, {"XDG_CONFIG_HOME", saved_config}})
        value.empty() ? unsetenv(name) : setenv(name, value.c_str(), 1);
}

} // namespace
