// The event queue and what feeds it: mouse, keys, close requests, minimise/restore, dropped files,
// window timers. GTK signal handlers push small records; WindowEvent and WaitWindowEvent take them.

#include "gui_internal.h"

#include "files.h"

#include <algorithm>

namespace {

// Which canvas of the window lies under (x, y), the topmost one; -1 none.
int CanvasAt(const GuiWindow &w, int x, int y) {
    for (auto it = w.Controls.rbegin(); it != w.Controls.rend(); ++it) {
        const GuiControl *c = GuiFindControl(*it);
        if (c && c->Kind == KindCanvas && x >= c->X && x < c->X + c->Width && y >= c->Y &&
            y < c->Y + c->Height)
            return *it;
    }
    return -1;
}

void SetHovered(int win, GuiWindow &w, int id) {
    if (id == w.Hovered) return;
    if (w.Hovered >= 0) GuiPushEvent(MakeEvent(EventMouseLeaveControl, win, w.Hovered));
    w.Hovered = id;
    if (id >= 0) GuiPushEvent(MakeEvent(EventMouseEnterControl, win, id));
}

gboolean OnButtonPress(GtkWidget *, GdkEventButton *ev, gpointer data) {
    int win = GPOINTER_TO_INT(data);
    GuiWindow *w = GuiFindWindow(win);
    if (!w || w->Disabled) return TRUE;
    if (w->LastPress) gdk_event_free(w->LastPress);
    w->LastPress = gdk_event_copy(reinterpret_cast<GdkEvent *>(ev));
    if (ev->button == 1) {
        if (ev->type == GDK_BUTTON_PRESS) {
            // GDK reports the second press of a double click as a press followed at once by a
            // double-click event, both already queued; the program wants the double click alone.
            // A third quick press likewise comes as a press and a triple-click event: it counts
            // once, as a plain press (Windows knows no triple click).
            GdkEvent *next = gdk_event_peek();
            bool doubled = next && (next->type == GDK_2BUTTON_PRESS || next->type == GDK_3BUTTON_PRESS) &&
                           next->button.button == 1;
            if (next) gdk_event_free(next);
            if (!doubled) GuiPushEvent(MakeEvent(EventLeftButtonDown, win));
        } else if (ev->type == GDK_2BUTTON_PRESS) {
            GuiPushEvent(MakeEvent(EventLeftDoubleClick, win));
        } else if (ev->type == GDK_3BUTTON_PRESS) {
            GuiPushEvent(MakeEvent(EventLeftButtonDown, win));
        }
    } else if (ev->button == 3 && ev->type == GDK_BUTTON_PRESS) {
        GuiPushEvent(MakeEvent(EventRightButtonDown, win));
    }
    return TRUE;
}

gboolean OnMotion(GtkWidget *, GdkEventMotion *ev, gpointer data) {
    int win = GPOINTER_TO_INT(data);
    GuiWindow *w = GuiFindWindow(win);
    if (!w || w->Disabled) return TRUE;
    SetHovered(win, *w, CanvasAt(*w, int(ev->x), int(ev->y)));
    if (Gui.Queue.empty() || Gui.Queue.back().Kind != EventMouseMove || Gui.Queue.back().Window != win)
        GuiPushEvent(MakeEvent(EventMouseMove, win));
    return TRUE;
}

gboolean OnCrossing(GtkWidget *, GdkEventCrossing *ev, gpointer data) {
    int win = GPOINTER_TO_INT(data);
    GuiWindow *w = GuiFindWindow(win);
    if (!w || w->Disabled) return TRUE;
    if (ev->type == GDK_ENTER_NOTIFY)
        SetHovered(win, *w, CanvasAt(*w, int(ev->x), int(ev->y)));
    else if (ev->detail != GDK_NOTIFY_INFERIOR)
        SetHovered(win, *w, -1);
    return TRUE;
}

int KeyCode(const GdkEventKey *ev) {
    int key = int(gdk_keyval_to_upper(ev->keyval));
    if (ev->keyval == GDK_KEY_KP_Enter) key = KeyReturn;
    if (ev->keyval == GDK_KEY_KP_Delete) key = KeyDelete;
    if (ev->state & GDK_SHIFT_MASK) key |= KeyShift;
    if (ev->state & GDK_CONTROL_MASK) key |= KeyControl;
    if (ev->state & GDK_MOD1_MASK) key |= KeyAlt;
    return key;
}

gboolean OnKeyPress(GtkWidget *, GdkEventKey *ev, gpointer data) {
    int win = GPOINTER_TO_INT(data);
    GuiWindow *w = GuiFindWindow(win);
    if (!w) return FALSE;
    if (w->Disabled) return TRUE;
    int key = KeyCode(ev);
    for (auto [k, event] : w->Keys) {
        if (k == key) {
            GuiPushEvent(MakeEvent(EventMenuItem, win, event));
            return TRUE;
        }
    }
    return FALSE; // on to a string control with the focus
}

gboolean OnDelete(GtkWidget *, GdkEvent *, gpointer data) {
    int win = GPOINTER_TO_INT(data);
    GuiWindow *w = GuiFindWindow(win);
    if (w && !w->Disabled) GuiPushEvent(MakeEvent(EventCloseWindow, win));
    return TRUE; // the program decides whether to close
}

gboolean OnWindowState(GtkWidget *, GdkEventWindowState *ev, gpointer data) {
    if (ev->changed_mask & GDK_WINDOW_STATE_ICONIFIED) {
        bool iconic = ev->new_window_state & GDK_WINDOW_STATE_ICONIFIED;
        GuiPushEvent(MakeEvent(iconic ? EventMinimize : EventRestore, GPOINTER_TO_INT(data)));
    }
    return FALSE;
}

void OnDragData(GtkWidget *, GdkDragContext *, gint, gint, GtkSelectionData *sel, guint, guint,
                gpointer data) {
    int win = GPOINTER_TO_INT(data);
    GuiWindow *w = GuiFindWindow(win);
    if (!w || !w->Drop || w->Disabled) return;
    gchar **uris = gtk_selection_data_get_uris(sel);
    if (!uris) return;
    std::vector<std::string> paths;
    for (gchar **u = uris; *u; ++u)
        if (std::string path = LocalPathOfUri(*u); !path.empty()) paths.push_back(std::move(path));
    g_strfreev(uris);
    if (paths.empty()) return;
    GuiEvent ev = MakeEvent(EventWindowDrop, win);
    ev.Drop = std::move(paths);
    GuiPushEvent(std::move(ev));
}

// --- timers ---

struct TimerKey {
    int Window, Timer;
};

gboolean OnTimer(gpointer data) {
    auto *k = static_cast<TimerKey *>(data);
    // A tick waits in the queue at most once, as on Windows: a busy program is not flooded.
    bool waiting = std::any_of(Gui.Queue.begin(), Gui.Queue.end(), [k](const GuiEvent &e) {
        return e.Kind == EventTimerTick && e.Window == k->Window && e.Timer == k->Timer;
    });
    if (!waiting) GuiPushEvent(MakeEvent(EventTimerTick, k->Window, k->Timer));
    return G_SOURCE_CONTINUE;
}

void DeleteTimerKey(gpointer data) {
    delete static_cast<TimerKey *>(data);
}

void StopTimer(int win, int timer) {
    auto it = Gui.Timers.find({win, timer});
    if (it == Gui.Timers.end()) return;
    g_source_remove(it->second);
    Gui.Timers.erase(it);
}

void StartTimer(int win, int timer, int ms) {
    StopTimer(win, timer);
    if (!GuiFindWindow(win) || ms < 0) return;
    guint id = g_timeout_add_full(G_PRIORITY_DEFAULT, guint(std::max(ms, 1)), OnTimer,
                                  new TimerKey{win, timer}, DeleteTimerKey);
    Gui.Timers[{win, timer}] = id;
}

// A timer request made on another thread, carried out by the main thread.
struct TimerRequest {
    bool Add;
    int Window, Timer, Ms;
};

gboolean RunTimerRequest(gpointer data) {
    auto *r = static_cast<TimerRequest *>(data);
    if (r->Add)
        StartTimer(r->Window, r->Timer, r->Ms);
    else
        StopTimer(r->Window, r->Timer);
    delete r;
    return G_SOURCE_REMOVE;
}

int TakeEvent() {
    if (Gui.Queue.empty()) {
        Gui.Current = GuiEvent{};
        return EventNone;
    }
    Gui.Current = std::move(Gui.Queue.front());
    Gui.Queue.pop_front();
    return Gui.Current.Kind;
}

} // namespace

void GuiPushEvent(GuiEvent ev) {
    Gui.Queue.push_back(std::move(ev));
}

void GuiConnectInput(int win, GuiWindow &w) {
    gpointer data = GINT_TO_POINTER(win);
    gtk_widget_add_events(w.Area, GDK_BUTTON_PRESS_MASK | GDK_BUTTON_RELEASE_MASK | GDK_POINTER_MOTION_MASK |
                                      GDK_ENTER_NOTIFY_MASK | GDK_LEAVE_NOTIFY_MASK);
    g_signal_connect(w.Area, "button-press-event", G_CALLBACK(OnButtonPress), data);
    g_signal_connect(w.Area, "motion-notify-event", G_CALLBACK(OnMotion), data);
    g_signal_connect(w.Area, "enter-notify-event", G_CALLBACK(OnCrossing), data);
    g_signal_connect(w.Area, "leave-notify-event", G_CALLBACK(OnCrossing), data);
    g_signal_connect(w.Area, "drag-data-received", G_CALLBACK(OnDragData), data);
    g_signal_connect(w.Top, "key-press-event", G_CALLBACK(OnKeyPress), data);
    g_signal_connect(w.Top, "delete-event", G_CALLBACK(OnDelete), data);
    g_signal_connect(w.Top, "window-state-event", G_CALLBACK(OnWindowState), data);
}

// --- events ---

int WindowEvent() {
    if (!GuiOnMainThread()) return EventNone;
    // Do what the window system has pending (a bounded number of steps: redraws may keep coming).
    for (int i = 0; i < 100 && Gui.Queue.empty(); ++i)
        if (!g_main_context_iteration(nullptr, FALSE)) break;
    return TakeEvent();
}

int WaitWindowEvent(int ms) {
    if (!GuiOnMainThread()) return EventNone;
    if (ms == 0) return WindowEvent();
    if (Gui.Queue.empty()) {
        bool timed_out = false;
        guint source = 0;
        if (ms > 0)
            source = g_timeout_add(
                guint(ms),
                +[](gpointer p) -> gboolean {
                    *static_cast<bool *>(p) = true;
                    return G_SOURCE_REMOVE;
                },
                &timed_out);
        while (Gui.Queue.empty() && !timed_out) g_main_context_iteration(nullptr, TRUE);
        if (source && !timed_out) g_source_remove(source);
    }
    return TakeEvent();
}

int EventWindow() {
    return Gui.Current.Window;
}
int EventControl() {
    return Gui.Current.Control;
}
int EventMenu() {
    return Gui.Current.Menu;
}
int EventTimer() {
    return Gui.Current.Timer;
}
std::vector<std::string> EventDropFiles() {
    return Gui.Current.Drop;
}

// --- timers ---

void AddWindowTimer(int win, int timer, int ms) {
    if (GuiOnMainThread())
        StartTimer(win, timer, ms);
    else
        g_idle_add(RunTimerRequest, new TimerRequest{true, win, timer, ms});
}

void RemoveWindowTimer(int win, int timer) {
    if (GuiOnMainThread())
        StopTimer(win, timer);
    else
        g_idle_add(RunTimerRequest, new TimerRequest{false, win, timer, 0});
}

void GuiRemoveWindowTimers(int win) {
    for (auto it = Gui.Timers.begin(); it != Gui.Timers.end();) {
        if (it->first.first == win) {
            g_source_remove(it->second);
            it = Gui.Timers.erase(it);
        } else {
            ++it;
        }
    }
}

void GuiFreeAllTimers() {
    for (auto &[key, id] : Gui.Timers) g_source_remove(id);
    Gui.Timers.clear();
}

// --- keyboard shortcuts ---

void AddKeyboardShortcut(int win, int key, int event) {
    GuiWindow *w = GuiFindWindow(win);
    if (!w) return;
    RemoveKeyboardShortcut(win, key);
    w->Keys.emplace_back(key, event);
}

void RemoveKeyboardShortcut(int win, int key) {
    if (GuiWindow *w = GuiFindWindow(win)) std::erase_if(w->Keys, [key](auto &k) { return k.first == key; });
}

void RemoveAllKeyboardShortcuts(int win) {
    if (GuiWindow *w = GuiFindWindow(win)) w->Keys.clear();
}

// --- dropping ---

std::string LocalPathOfUri(const char *uri) {
    gchar *host = nullptr;
    gchar *path = g_filename_from_uri(uri, &host, nullptr);
    std::string local;
    if (path && (!host || !*host || g_ascii_strcasecmp(host, "localhost") == 0) && PathFitsSystem(path))
        local = path;
    g_free(host);
    g_free(path);
    return local;
}

void EnableWindowDrop(int win, bool enable) {
    GuiWindow *w = GuiFindWindow(win);
    if (!w || w->Drop == enable) return;
    w->Drop = enable;
    if (enable) {
        gtk_drag_dest_set(w->Area, GTK_DEST_DEFAULT_ALL, nullptr, 0,
                          GdkDragAction(GDK_ACTION_COPY | GDK_ACTION_MOVE | GDK_ACTION_LINK));
        gtk_drag_dest_add_uri_targets(w->Area);
    } else {
        gtk_drag_dest_unset(w->Area);
    }
}

// --- pointer ---

void DesktopMouse(int &x, int &y) {
    x = y = 0;
    if (!GuiOnMainThread()) return;
    GdkDevice *pointer = gdk_seat_get_pointer(gdk_display_get_default_seat(gdk_display_get_default()));
    gdk_device_get_position(pointer, nullptr, &x, &y);
}
