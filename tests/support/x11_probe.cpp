// The X client of the tests and the start-up benchmark.

#include "x11_probe.h"

#include <X11/Xlib.h>

#include <X11/Xatom.h>
#include <X11/Xutil.h>
#include <X11/extensions/XTest.h>
#include <cairo.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>
#include <map>
#include <stdexcept>

extern char **environ;

namespace {

// Windows come and go under the probe's feet: a query of a window just destroyed is no failure.
int IgnoreErrors(Display *, XErrorEvent *) {
    return 0;
}

Display *OpenDisplay() {
    XSetErrorHandler(IgnoreErrors);
    Display *dpy = XOpenDisplay(nullptr);
    if (!dpy) throw std::runtime_error("no X display");
    return dpy;
}

std::string WindowTitle(Display *dpy, Window w) {
    char *name = nullptr;
    std::string title;
    if (XFetchName(dpy, w, &name) && name) title = name;
    if (name) XFree(name);
    return title;
}

// The window's opacity 0..255; 255 when it has no opacity property.
int WindowAlpha(Display *dpy, Window w) {
    Atom type;
    int format, alpha = 255;
    unsigned long count, after;
    unsigned char *data = nullptr;
    if (XGetWindowProperty(dpy, w, XInternAtom(dpy, "_NET_WM_WINDOW_OPACITY", False), 0, 1, False,
                           XA_CARDINAL, &type, &format, &count, &after, &data) == Success &&
        data) {
        if (count == 1 && format == 32) // 0..0xFFFFFFFF, in a long
            alpha = int(((*reinterpret_cast<unsigned long *>(data) & 0xFFFFFFFFul) * 255 + 0x7FFFFFFF) /
                        0xFFFFFFFF);
        XFree(data);
    }
    return alpha;
}

// Polls the condition every 10 ms for up to ms.
template <typename Condition>
bool WaitFor(int ms, Condition condition) {
    const auto end = Clock::now() + std::chrono::milliseconds(ms);
    do {
        if (condition()) return true;
        usleep(10'000);
    } while (Clock::now() < end);
    return false;
}

} // namespace

// --- XProbe

XProbe::XProbe() : dpy(OpenDisplay()) {}
XProbe::~XProbe() {
    XCloseDisplay(dpy);
}

Window XProbe::Find(const std::string &title) {
    Window root, parent, *children = nullptr, found = 0;
    unsigned count = 0;
    if (!XQueryTree(dpy, DefaultRootWindow(dpy), &root, &parent, &children, &count)) return 0;
    for (unsigned i = count; i-- > 0 && !found;) // topmost first
        if (WindowTitle(dpy, children[i]) == title) found = children[i];
    if (children) XFree(children);
    return found;
}

bool XProbe::IsMapped(Window w) {
    XWindowAttributes a;
    return XGetWindowAttributes(dpy, w, &a) && a.map_state == IsViewable;
}

Window XProbe::WaitMapped(const std::string &title, int ms) {
    Window w = 0;
    return WaitFor(ms, [&] { return (w = Find(title)) && IsMapped(w); }) ? w : 0;
}

void XProbe::Move(int x, int y) {
    XTestFakeMotionEvent(dpy, -1, x, y, CurrentTime);
    XSync(dpy, False);
}

void XProbe::Click(int x, int y, unsigned button) {
    Move(x, y);
    usleep(30'000);
    for (bool down : {true, false}) {
        XTestFakeButtonEvent(dpy, button, down, CurrentTime);
        XSync(dpy, False);
        usleep(20'000);
    }
}

void XProbe::DoubleClick(int x, int y) {
    Move(x, y);
    usleep(30'000);
    for (int i = 0; i < 4; ++i) {
        XTestFakeButtonEvent(dpy, 1, i % 2 == 0, CurrentTime);
        XSync(dpy, False);
        usleep(40'000);
    }
}

void XProbe::Button(bool down) {
    XTestFakeButtonEvent(dpy, 1, down, CurrentTime);
    XSync(dpy, False);
    usleep(20'000);
}

void XProbe::Key(unsigned long keysym, unsigned long modifier) {
    if (modifier) {
        XTestFakeKeyEvent(dpy, XKeysymToKeycode(dpy, modifier), True, CurrentTime);
        XSync(dpy, False);
    }
    for (bool down : {true, false}) {
        XTestFakeKeyEvent(dpy, XKeysymToKeycode(dpy, keysym), down, CurrentTime);
        XSync(dpy, False);
        usleep(20'000);
    }
    if (modifier) {
        XTestFakeKeyEvent(dpy, XKeysymToKeycode(dpy, modifier), False, CurrentTime);
        XSync(dpy, False);
        usleep(20'000);
    }
}

void XProbe::Type(const std::string &text) {
    for (char c : text) {
        // Printable ASCII characters are their own keysyms; the keycode's first level tells whether
        // the character takes Shift.
        const KeySym keysym = static_cast<unsigned char>(c);
        const KeyCode code = XKeysymToKeycode(dpy, keysym);
        int per_code = 0;
        KeySym *levels = XGetKeyboardMapping(dpy, code, 1, &per_code);
        const bool shift = per_code > 0 && levels[0] != keysym;
        XFree(levels);
        Key(keysym, shift ? XK_Shift_L : 0);
    }
}

void XProbe::KeyToWindow(XWindow w, unsigned long keysym, unsigned long modifier) {
    // GTK takes no key sent to a window (XSendEvent): the key is typed into a window with the focus.
    XSetInputFocus(dpy, w, RevertToPointerRoot, CurrentTime);
    XSync(dpy, False);
    usleep(50'000);
    Key(keysym, modifier);
}

void XProbe::RequestClose(Window w) {
    XEvent e{};
    e.xclient.type = ClientMessage;
    e.xclient.window = w;
    e.xclient.message_type = XInternAtom(dpy, "WM_PROTOCOLS", False);
    e.xclient.format = 32;
    e.xclient.data.l[0] = long(XInternAtom(dpy, "WM_DELETE_WINDOW", False));
    e.xclient.data.l[1] = CurrentTime;
    XSendEvent(dpy, w, False, NoEventMask, &e);
    XSync(dpy, False);
}

std::vector<uint32_t> XProbe::Grab(int x, int y, int w, int h) {
    std::vector<uint32_t> out(size_t(w) * size_t(h), 0);
    XImage *image =
        XGetImage(dpy, DefaultRootWindow(dpy), x, y, unsigned(w), unsigned(h), AllPlanes, ZPixmap);
    if (!image) return out;
    for (int j = 0; j < h; ++j)
        for (int i = 0; i < w; ++i)
            out[size_t(j) * size_t(w) + size_t(i)] = XGetPixel(image, i, j) & 0xFFFFFF;
    XDestroyImage(image);
    return out;
}

// --- pictures: 0xRRGGBB pixels are cairo's RGB24 layout

bool SavePng(const Picture &p, const std::string &path) {
    auto *data = reinterpret_cast<unsigned char *>(const_cast<uint32_t *>(p.pixels.data()));
    cairo_surface_t *s = cairo_image_surface_create_for_data(data, CAIRO_FORMAT_RGB24, p.w, p.h, p.w * 4);
    const bool ok = cairo_surface_write_to_png(s, path.c_str()) == CAIRO_STATUS_SUCCESS;
    cairo_surface_destroy(s);
    return ok;
}

bool LoadPng(const std::string &path, Picture &p) {
    cairo_surface_t *s = cairo_image_surface_create_from_png(path.c_str());
    const bool ok = cairo_surface_status(s) == CAIRO_STATUS_SUCCESS;
    if (ok) {
        cairo_surface_flush(s);
        p.w = cairo_image_surface_get_width(s);
        p.h = cairo_image_surface_get_height(s);
        const auto *data = reinterpret_cast<const uint32_t *>(cairo_image_surface_get_data(s));
        p.pixels.assign(data, data + size_t(p.w) * size_t(p.h)); // rows of 32-bit pixels: no padding
        for (uint32_t &pixel : p.pixels) pixel &= 0xFFFFFF;
    }
    cairo_surface_destroy(s);
    return ok;
}

// --- WindowWatch

WindowWatch::WindowWatch() : dpy_(OpenDisplay()) {
    if (pipe(stop_pipe_) != 0) throw std::runtime_error("pipe");
    // Selected before the thread runs, so that no window created after the constructor is missed.
    XSelectInput(dpy_, DefaultRootWindow(dpy_), SubstructureNotifyMask);
    XSync(dpy_, False);
    thread_ = std::thread([this] { Run(); });
}

WindowWatch::~WindowWatch() {
    (void)!write(stop_pipe_[1], "x", 1);
    thread_.join();
    close(stop_pipe_[0]);
    close(stop_pipe_[1]);
    XCloseDisplay(dpy_);
}

void WindowWatch::Run() {
    const Atom opacity = XInternAtom(dpy_, "_NET_WM_WINDOW_OPACITY", False);
    for (;;) {
        if (!XPending(dpy_)) {
            pollfd fds[2] = {{ConnectionNumber(dpy_), POLLIN, 0}, {stop_pipe_[0], POLLIN, 0}};
            poll(fds, 2, 100);
            if (fds[1].revents) return;
            if (!XPending(dpy_)) continue;
        }
        XEvent e;
        XNextEvent(dpy_, &e);
        std::lock_guard lock(mutex_);
        if (e.type == CreateNotify) {
            const Window w = e.xcreatewindow.window;
            XSelectInput(dpy_, w, PropertyChangeMask);
            // The opacity may have been set before the selection took effect.
            if (const int alpha = WindowAlpha(dpy_, w); alpha != 255)
                changes_.push_back({Clock::now(), w, false, alpha});
        } else if (e.type == PropertyNotify && e.xproperty.atom == opacity) {
            const Window w = e.xproperty.window;
            changes_.push_back(
                {Clock::now(), w, false, e.xproperty.state == PropertyDelete ? 255 : WindowAlpha(dpy_, w)});
        } else if (e.type == MapNotify) { // the program titles its windows before it maps them
            const Window w = e.xmap.window;
            titles_.emplace_back(w, WindowTitle(dpy_, w));
            changes_.push_back({Clock::now(), w, true, WindowAlpha(dpy_, w)});
        }
    }
}

std::vector<WindowChange> WindowWatch::Changes(const std::string &title) {
    std::lock_guard lock(mutex_);
    std::vector<WindowChange> out;
    for (auto &[win, t] : titles_)
        if (t == title) {
            for (const WindowChange &c : changes_)
                if (c.window == win) out.push_back(c);
            break;
        }
    return out;
}

int WindowWatch::MappedCount() {
    std::lock_guard lock(mutex_);
    int count = 0;
    for (const WindowChange &c : changes_) count += c.mapped;
    return count;
}

bool WindowWatch::WaitFullOpacity(const std::string &title, int ms, Clock::time_point &when) {
    return WaitFor(ms, [&] {
        for (const WindowChange &c : Changes(title))
            if (!c.mapped && c.alpha == 255) {
                when = c.when;
                return true;
            }
        return false;
    });
}

// --- the program under test

pid_t StartProgram(const std::string &path, const std::vector<std::string> &args,
                   const std::vector<std::string> &env, const std::string &stderr_path) {
    std::map<std::string, std::string> vars;
    for (char **e = environ; *e; ++e) vars[std::string(*e).substr(0, std::string(*e).find('='))] = *e;
    for (const std::string &kv : env) vars[kv.substr(0, kv.find('='))] = kv;
    std::vector<char *> envp, argv = {const_cast<char *>(path.c_str())};
    for (auto &[name, kv] : vars) envp.push_back(kv.data());
    envp.push_back(nullptr);
    for (const std::string &a : args) argv.push_back(const_cast<char *>(a.c_str()));
    argv.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    if (!stderr_path.empty())
        posix_spawn_file_actions_addopen(&actions, 2, stderr_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                         0644);
    pid_t pid = -1;
    if (posix_spawn(&pid, path.c_str(), &actions, nullptr, argv.data(), envp.data()) != 0) pid = -1;
    posix_spawn_file_actions_destroy(&actions);
    return pid;
}

bool WaitExit(pid_t pid, int ms, int &exit_code) {
    int status = 0;
    if (!WaitFor(ms, [&] { return waitpid(pid, &status, WNOHANG) == pid; })) return false;
    exit_code = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    return true;
}

void KillProgram(pid_t pid) {
    if (pid > 0 && kill(pid, SIGKILL) == 0) waitpid(pid, nullptr, 0);
}

uint64_t ResidentBytes(pid_t pid) {
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind("VmRSS:", 0) == 0) return std::stoull(line.substr(6)) * 1024; // "VmRSS:  1234 kB"
    return 0;
}
