// The X client of the tests and the start-up benchmark.

#include "x11_probe.h"

#include <X11/Xlib.h>

#include <X11/Xatom.h>
#include <X11/Xutil.h>
#include <X11/extensions/XTest.h>
#include <cairo.h>
#include <poll.h>
#include <unistd.h>

#include <cmath>
#include <cstdlib>
#include <stdexcept>

namespace {

// Windows come and go under the probe's feet: a query of a window that was just destroyed is not a
// failure of the test.
int IgnoreErrors(Display *, XErrorEvent *) {
    return 0;
}

std::string WindowTitle(Display *dpy, Window w) {
    Atom utf8 = XInternAtom(dpy, "UTF8_STRING", False);
    Atom net_name = XInternAtom(dpy, "_NET_WM_NAME", False);
    Atom type;
    int format;
    unsigned long count, after;
    unsigned char *data = nullptr;
    std::string title;
    if (XGetWindowProperty(dpy, w, net_name, 0, 1024, False, utf8, &type, &format, &count, &after, &data) ==
            Success &&
        data) {
        title.assign(reinterpret_cast<char *>(data), count);
        XFree(data);
        return title;
    }
    char *name = nullptr;
    if (XFetchName(dpy, w, &name) && name) {
        title = name;
        XFree(name);
    }
    return title;
}

// The window's opacity 0..255; 255 when it has no opacity property.
int WindowAlpha(Display *dpy, Window w) {
    Atom opacity = XInternAtom(dpy, "_NET_WM_WINDOW_OPACITY", False);
    Atom type;
    int format;
    unsigned long count, after;
    unsigned char *data = nullptr;
    int alpha = 255;
    if (XGetWindowProperty(dpy, w, opacity, 0, 1, False, XA_CARDINAL, &type, &format, &count, &after,
                           &data) == Success &&
        data) {
        if (count == 1 && format == 32) {
            const unsigned long v = *reinterpret_cast<unsigned long *>(data) & 0xFFFFFFFFul;
            alpha = int(std::lround(double(v) * 255.0 / 4294967295.0));
        }
        XFree(data);
    }
    return alpha;
}

Display *OpenDisplay() {
    XSetErrorHandler(IgnoreErrors);
    Display *dpy = XOpenDisplay(nullptr);
    if (!dpy) throw std::runtime_error("no X display");
    return dpy;
}

} // namespace

// --- XProbe

XProbe::XProbe() : dpy(OpenDisplay()) {}

XProbe::~XProbe() {
    XCloseDisplay(dpy);
}

Window XProbe::Find(const std::string &title) {
    Window root_return, parent;
    Window *children = nullptr;
    unsigned count = 0;
    Window found = 0;
    if (!XQueryTree(dpy, DefaultRootWindow(dpy), &root_return, &parent, &children, &count)) return 0;
    // Topmost first: a window of that title opened later wins.
    for (unsigned i = count; i-- > 0 && !found;)
        if (WindowTitle(dpy, children[i]) == title) found = children[i];
    if (children) XFree(children);
    return found;
}

bool XProbe::IsMapped(Window w) {
    XWindowAttributes a;
    return XGetWindowAttributes(dpy, w, &a) && a.map_state == IsViewable;
}

Window XProbe::WaitMapped(const std::string &title, int ms) {
    const auto end = Clock::now() + std::chrono::milliseconds(ms);
    do {
        if (Window w = Find(title); w && IsMapped(w)) return w;
        usleep(10'000);
    } while (Clock::now() < end);
    return 0;
}

bool XProbe::WaitGone(const std::string &title, int ms) {
    const auto end = Clock::now() + std::chrono::milliseconds(ms);
    do {
        if (!Find(title)) return true;
        usleep(10'000);
    } while (Clock::now() < end);
    return false;
}

void XProbe::Move(int x, int y) {
    XTestFakeMotionEvent(dpy, -1, x, y, CurrentTime);
    XSync(dpy, False);
}

void XProbe::Click(int x, int y, unsigned button) {
    Move(x, y);
    usleep(30'000);
    XTestFakeButtonEvent(dpy, button, True, CurrentTime);
    XSync(dpy, False);
    usleep(20'000);
    XTestFakeButtonEvent(dpy, button, False, CurrentTime);
    XSync(dpy, False);
}

void XProbe::Key(unsigned long keysym) {
    const KeyCode code = XKeysymToKeycode(dpy, keysym);
    XTestFakeKeyEvent(dpy, code, True, CurrentTime);
    XSync(dpy, False);
    usleep(20'000);
    XTestFakeKeyEvent(dpy, code, False, CurrentTime);
    XSync(dpy, False);
}

void XProbe::KeyToWindow(XWindow w, unsigned long keysym) {
    // GTK takes no key events sent to a window (XSendEvent): the key is typed, into a window that
    // holds the focus.
    XSetInputFocus(dpy, w, RevertToPointerRoot, CurrentTime);
    XSync(dpy, False);
    usleep(50'000);
    Key(keysym);
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
            out[size_t(j) * size_t(w) + size_t(i)] = uint32_t(XGetPixel(image, i, j)) & 0xFFFFFF;
    XDestroyImage(image);
    return out;
}

uint32_t XProbe::Pixel(int x, int y) {
    return Grab(x, y, 1, 1)[0];
}

// --- pictures

bool SavePng(const Picture &p, const std::string &path) {
    cairo_surface_t *s = cairo_image_surface_create(CAIRO_FORMAT_RGB24, p.w, p.h);
    unsigned char *data = cairo_image_surface_get_data(s);
    const int stride = cairo_image_surface_get_stride(s);
    for (int y = 0; y < p.h; ++y)
        for (int x = 0; x < p.w; ++x) reinterpret_cast<uint32_t *>(data + y * stride)[x] = p.At(x, y);
    cairo_surface_mark_dirty(s);
    const bool ok = cairo_surface_write_to_png(s, path.c_str()) == CAIRO_STATUS_SUCCESS;
    cairo_surface_destroy(s);
    return ok;
}

bool LoadPng(const std::string &path, Picture &p) {
    cairo_surface_t *s = cairo_image_surface_create_from_png(path.c_str());
    if (cairo_surface_status(s) != CAIRO_STATUS_SUCCESS) {
        cairo_surface_destroy(s);
        return false;
    }
    cairo_surface_flush(s);
    p.w = cairo_image_surface_get_width(s);
    p.h = cairo_image_surface_get_height(s);
    p.pixels.resize(size_t(p.w) * size_t(p.h));
    const unsigned char *data = cairo_image_surface_get_data(s);
    const int stride = cairo_image_surface_get_stride(s);
    for (int y = 0; y < p.h; ++y)
        for (int x = 0; x < p.w; ++x)
            p.pixels[size_t(y) * size_t(p.w) + size_t(x)] =
                reinterpret_cast<const uint32_t *>(data + y * stride)[x] & 0xFFFFFF;
    cairo_surface_destroy(s);
    return true;
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
    const Atom net_name = XInternAtom(dpy_, "_NET_WM_NAME", False);
    const Window root = DefaultRootWindow(dpy_);
    auto remember_title = [&](Window w) {
        const std::string title = WindowTitle(dpy_, w);
        std::lock_guard lock(mutex_);
        for (auto &[win, t] : titles_)
            if (win == w) {
                if (!title.empty()) t = title;
                return;
            }
        titles_.emplace_back(w, title);
    };
    for (;;) {
        if (!XPending(dpy_)) {
            pollfd fds[2] = {{ConnectionNumber(dpy_), POLLIN, 0}, {stop_pipe_[0], POLLIN, 0}};
            poll(fds, 2, 100);
            if (fds[1].revents) return;
            if (!XPending(dpy_)) continue;
        }
        XEvent e;
        XNextEvent(dpy_, &e);
        const auto now = Clock::now();
        if (e.type == CreateNotify && e.xcreatewindow.parent == root) {
            const Window w = e.xcreatewindow.window;
            XSelectInput(dpy_, w, PropertyChangeMask | StructureNotifyMask);
            XSync(dpy_, False);
            remember_title(w);
            // The opacity may have been set before the selection took effect.
            const int alpha = WindowAlpha(dpy_, w);
            if (alpha != 255) {
                std::lock_guard lock(mutex_);
                changes_.push_back({now, w, false, alpha});
            }
        } else if (e.type == PropertyNotify) {
            const Window w = e.xproperty.window;
            if (e.xproperty.atom == opacity) {
                const int alpha = e.xproperty.state == PropertyDelete ? 255 : WindowAlpha(dpy_, w);
                std::lock_guard lock(mutex_);
                changes_.push_back({now, w, false, alpha});
            } else if (e.xproperty.atom == net_name || e.xproperty.atom == XA_WM_NAME) {
                remember_title(w);
            }
        } else if (e.type == MapNotify && e.xmap.event != root) {
            const Window w = e.xmap.window;
            const int alpha = WindowAlpha(dpy_, w);
            remember_title(w);
            std::lock_guard lock(mutex_);
            changes_.push_back({now, w, true, alpha});
        }
    }
}

std::vector<WindowChange> WindowWatch::Changes(const std::string &title) {
    std::lock_guard lock(mutex_);
    Window w = 0;
    for (auto &[win, t] : titles_)
        if (t == title) {
            w = win;
            break;
        }
    std::vector<WindowChange> out;
    if (!w) return out;
    for (const WindowChange &c : changes_)
        if (c.window == w) out.push_back(c);
    return out;
}

int WindowWatch::MappedCount() {
    std::lock_guard lock(mutex_);
    int count = 0;
    for (const WindowChange &c : changes_) count += c.mapped;
    return count;
}

bool WindowWatch::WaitFullOpacity(const std::string &title, int ms, Clock::time_point &when) {
    const auto end = Clock::now() + std::chrono::milliseconds(ms);
    do {
        for (const WindowChange &c : Changes(title))
            if (!c.mapped && c.alpha == 255) {
                when = c.when;
                return true;
            }
        usleep(2'000);
    } while (Clock::now() < end);
    return false;
}

// --- the program under test

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>

#include <fstream>
#include <map>

extern char **environ;

pid_t StartProgram(const std::string &path, const std::vector<std::string> &args,
                   const std::vector<std::string> &env, const std::string &stderr_path) {
    std::map<std::string, std::string> vars;
    for (char **e = environ; *e; ++e) {
        const std::string kv = *e;
        vars[kv.substr(0, kv.find('='))] = kv;
    }
    for (const std::string &kv : env) vars[kv.substr(0, kv.find('='))] = kv;
    std::vector<char *> envp;
    for (auto &[name, kv] : vars) envp.push_back(kv.data());
    envp.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    if (!stderr_path.empty())
        posix_spawn_file_actions_addopen(&actions, 2, stderr_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                         0644);
    std::vector<std::string> words = {path};
    words.insert(words.end(), args.begin(), args.end());
    std::vector<char *> argv;
    for (std::string &w : words) argv.push_back(w.data());
    argv.push_back(nullptr);
    pid_t pid = -1;
    if (posix_spawn(&pid, path.c_str(), &actions, nullptr, argv.data(), envp.data()) != 0) pid = -1;
    posix_spawn_file_actions_destroy(&actions);
    return pid;
}

bool WaitExit(pid_t pid, int ms, int &exit_code) {
    const auto end = Clock::now() + std::chrono::milliseconds(ms);
    for (;;) {
        int status = 0;
        const pid_t r = waitpid(pid, &status, WNOHANG);
        if (r == pid) {
            exit_code = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
            return true;
        }
        if (r < 0 || Clock::now() >= end) return false;
        usleep(5'000);
    }
}

void KillProgram(pid_t pid) {
    if (pid <= 0) return;
    if (kill(pid, SIGKILL) == 0) waitpid(pid, nullptr, 0);
}

uint64_t ResidentBytes(pid_t pid) {
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind("VmRSS:", 0) == 0) return std::stoull(line.substr(6)) * 1024; // "VmRSS:  1234 kB"
    return 0;
}
