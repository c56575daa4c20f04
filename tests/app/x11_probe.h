// A small X client for the tests and the start-up benchmark: finds the program's windows by title,
// moves the pointer, clicks and types (XTest), reads the screen's pixels, and records how the
// opacity of new windows changes.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

using Clock = std::chrono::steady_clock;

// Xlib's types, without Xlib's macros in every test.
struct _XDisplay;
using XWindow = unsigned long;

// One connection to the display of $DISPLAY; use it from one thread.
struct XProbe {
    _XDisplay *dpy = nullptr;

    XProbe();
    ~XProbe();
    XProbe(const XProbe &) = delete;
    XProbe &operator=(const XProbe &) = delete;

    // A top-level window with this title (WM_NAME), mapped or not; 0 when there is none.
    XWindow Find(const std::string &title);
    // Waits up to ms for a mapped window with this title; 0 when none came.
    XWindow WaitMapped(const std::string &title, int ms);
    // Waits up to ms until no window has this title; false when one is still there.
    bool WaitGone(const std::string &title, int ms);
    bool IsMapped(XWindow w);

    void Move(int x, int y);
    void Click(int x, int y, unsigned button = 1);
    // Presses and releases the key (an X keysym) where the keyboard focus is.
    void Key(unsigned long keysym);
    // Gives the window the keyboard focus and types the key there, wherever the pointer is.
    void KeyToWindow(XWindow w, unsigned long keysym);
    // Asks the window to close, as a window manager's close button does (WM_DELETE_WINDOW).
    void RequestClose(XWindow w);

    // The screen's pixels of a rectangle, 0xRRGGBB, row by row.
    std::vector<uint32_t> Grab(int x, int y, int w, int h);
    uint32_t Pixel(int x, int y);
};

// 0xRRGGBB pixels of a picture.
struct Picture {
    int w = 0, h = 0;
    std::vector<uint32_t> pixels;
    uint32_t At(int x, int y) const { return pixels[size_t(y) * size_t(w) + size_t(x)]; }
};
bool SavePng(const Picture &p, const std::string &path);
bool LoadPng(const std::string &path, Picture &p);

// One change of a window's _NET_WM_WINDOW_OPACITY, or its mapping.
struct WindowChange {
    Clock::time_point when;
    XWindow window = 0;
    bool mapped = false; // a MapNotify; else an opacity change
    int alpha = -1;      // the opacity read when the change was seen, 0..255; 255 when the property was
                         // removed (full opacity); for a MapNotify, the opacity at that moment
};

// Watches, on its own connection and thread, every top-level window created after Start: their
// opacity changes and their mapping, with the time each was seen.
class WindowWatch {
  public:
    WindowWatch();
    ~WindowWatch();
    // The changes seen so far of the window with this title (the first such window).
    std::vector<WindowChange> Changes(const std::string &title);
    // Waits up to ms for a full-opacity change of the window with this title and gives its time.
    bool WaitFullOpacity(const std::string &title, int ms, Clock::time_point &when);
    // How many windows were mapped since the watch began.
    int MappedCount();

  private:
    void Run();
    _XDisplay *dpy_ = nullptr;
    int stop_pipe_[2] = {-1, -1};
    std::thread thread_;
    std::mutex mutex_;
    std::vector<WindowChange> changes_;
    std::vector<std::pair<XWindow, std::string>> titles_;
};

// --- the program under test

#include <sys/types.h>

// Starts the program with its arguments and the environment of this process, changed by `env`
// ("NAME=value" each). Its standard error goes to stderr_path when one is given. -1 when it could
// not be started.
pid_t StartProgram(const std::string &path, const std::vector<std::string> &args,
                   const std::vector<std::string> &env, const std::string &stderr_path = "");
// Waits up to ms for the program to end: true with its exit code (128 + signal when killed).
bool WaitExit(pid_t pid, int ms, int &exit_code);
// Ends it at once (SIGKILL) and reaps it, if it still runs.
void KillProgram(pid_t pid);
// The program's resident memory (VmRSS) in bytes, 0 when unknown.
uint64_t ResidentBytes(pid_t pid);
