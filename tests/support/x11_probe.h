// A small X client for the tests and the start-up benchmark: finds the program's windows by title,
// plays the user (XTest), reads the screen, records the mapping and opacity of new windows, and starts
// and ends the program.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

using Clock = std::chrono::steady_clock;

struct _XDisplay; // Xlib's, without Xlib's macros in every test
using XWindow = unsigned long;

// One connection to the display of $DISPLAY; use it from one thread.
struct XProbe {
    _XDisplay *dpy;
    XProbe();
    ~XProbe();
    XProbe(const XProbe &) = delete;
    XProbe &operator=(const XProbe &) = delete;

    // The topmost top-level window with this title, mapped or not; 0 when there is none.
    XWindow Find(const std::string &title);
    // Waits up to ms for a mapped window with this title; 0 when none came.
    XWindow WaitMapped(const std::string &title, int ms);
    bool IsMapped(XWindow w);

    void Move(int x, int y);
    void Click(int x, int y, unsigned button = 1); // 3: the right button
    // Two clicks well within the double-click time.
    void DoubleClick(int x, int y);
    // Presses or releases the left button where the pointer is.
    void Button(bool down);
    // Presses and releases the key (an X keysym) where the keyboard focus is; with a modifier's
    // keysym (XK_Control_L...), the modifier is held around it.
    void Key(unsigned long keysym, unsigned long modifier = 0);
    // Types ASCII text where the keyboard focus is, with Shift where the keyboard needs it.
    void Type(const std::string &text);
    // Gives the window the keyboard focus, then types the key (with the modifier, as Key does).
    void KeyToWindow(XWindow w, unsigned long keysym, unsigned long modifier = 0);
    // Asks the window to close, as a window manager does (WM_DELETE_WINDOW).
    void RequestClose(XWindow w);

    // The screen's pixels of a rectangle, 0xRRGGBB, row by row.
    std::vector<uint32_t> Grab(int x, int y, int w, int h);
};

// 0xRRGGBB pixels, row by row.
struct Picture {
    int w = 0, h = 0;
    std::vector<uint32_t> pixels;
};
bool SavePng(const Picture &p, const std::string &path);
bool LoadPng(const std::string &path, Picture &p);

// A MapNotify of a window, or a change of its _NET_WM_WINDOW_OPACITY.
struct WindowChange {
    Clock::time_point when;
    XWindow window = 0;
    bool mapped = false;
    int alpha = -1; // the opacity then, 0..255; 255 without the property (full opacity)
};

// Watches, on its own connection and thread, the top-level windows created after construction.
class WindowWatch {
  public:
    WindowWatch();
    ~WindowWatch();
    // The changes so far of the first window with this title.
    std::vector<WindowChange> Changes(const std::string &title);
    // Waits up to ms for the window with this title to reach full opacity, and gives the time.
    bool WaitFullOpacity(const std::string &title, int ms, Clock::time_point &when);
    int MappedCount();

  private:
    void Run();
    _XDisplay *dpy_;
    int stop_pipe_[2] = {-1, -1};
    std::thread thread_;
    std::mutex mutex_;
    std::vector<WindowChange> changes_;
    std::vector<std::pair<XWindow, std::string>> titles_;
};

// Starts the program with the environment of this process changed by `env` ("NAME=value" each), its
// standard error into stderr_path when one is given; -1 when it could not be started.
pid_t StartProgram(const std::string &path, const std::vector<std::string> &args,
                   const std::vector<std::string> &env, const std::string &stderr_path = "");
// Waits up to ms for the program to end: true with its exit code (128 + signal when killed).
bool WaitExit(pid_t pid, int ms, int &exit_code);
// Ends it at once (SIGKILL) and reaps it, if it still runs.
void KillProgram(pid_t pid);
// The program's resident memory (VmRSS) in bytes, 0 when unknown.
uint64_t ResidentBytes(pid_t pid);
