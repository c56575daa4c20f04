// Windows and their controls: a GtkWindow holding a GtkFixed, whose bottom child is a drawing area
// that paints the window's colour, image, text and canvas controls in creation order; string
// controls (GtkEntry) lie above it.

#include "gui_internal.h"

#include <atomic>
#include <chrono>
#include <cmath>

GuiState g_gui;

namespace {

// Window numbers that are open, for IsWindow on any thread. Written by the main thread (release),
// read by any thread (acquire).
constexpr int MaxWindowNumber = 1024;
std::atomic<bool> g_window_open[MaxWindowNumber];

// Runs the main context until done() or ms milliseconds have passed.
template <typename F>
void IterateUntil(F done, int ms) {
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    while (!done() && std::chrono::steady_clock::now() < deadline) {
        if (!g_main_context_iteration(nullptr, FALSE)) g_usleep(1000);
    }
}

gboolean OnDraw(GtkWidget *, cairo_t *cr, gpointer data) {
    GuiWindow *w = GuiFindWindow(GPOINTER_TO_INT(data));
    if (!w) return FALSE;
    SetSourceRgb(cr, w->back);
    cairo_paint(cr);
    double x1, y1, x2, y2;
    cairo_clip_extents(cr, &x1, &y1, &x2, &y2);
    for (int id : w->controls) {
        const GuiControl *c = GuiFindControl(id);
        if (!c || c->kind == KindString) continue;
        int cw = c->w, ch = c->h;
        if (c->kind == KindImage && c->surface && (cw == 0 || ch == 0)) {
            cw = cairo_image_surface_get_width(c->surface);
            ch = cairo_image_surface_get_height(c->surface);
        }
        if (c->x >= x2 || c->y >= y2 || c->x + cw <= x1 || c->y + ch <= y1) continue;
        if (c->kind == KindText) {
            GuiPaintTextControl(cr, *c, w->back);
        } else if (c->surface) {
            cairo_save(cr);
            cairo_rectangle(cr, c->x, c->y, cw, ch);
            cairo_clip(cr);
            cairo_set_source_surface(cr, c->surface, c->x, c->y);
            cairo_paint(cr);
            cairo_restore(cr);
        }
    }
    return FALSE;
}

gboolean OnMap(GtkWidget *, GdkEvent *, gpointer data) {
    if (GuiWindow *w = GuiFindWindow(GPOINTER_TO_INT(data))) w->mapped = true;
    return FALSE;
}

gboolean OnUnmap(GtkWidget *, GdkEvent *, gpointer data) {
    if (GuiWindow *w = GuiFindWindow(GPOINTER_TO_INT(data))) w->mapped = false;
    return FALSE;
}

void WaitMapped(int win) {
    IterateUntil(
        [win] {
            GuiWindow *w = GuiFindWindow(win);
            return !w || w->mapped;
        },
        500);
}

// CSS of a string control: its colours and font, and no frame or inner padding, so that it fills
// exactly the rectangle it was given.
void UpdateEntryStyle(GuiControl &c, uint32_t window_back) {
    const PangoFontDescription *desc = c.font ? c.font : GuiDefaultFontDescription();
    uint32_t front = c.front >= 0 ? uint32_t(c.front) : 0;
    uint32_t back = c.back >= 0 ? uint32_t(c.back) : window_back;
    const char *family = pango_font_description_get_family(desc);
    int px = pango_font_description_get_size(desc) / PANGO_SCALE;
    gchar *css = g_strdup_printf(
        "entry { color: #%06X; background-color: #%06X; background-image: none; border: none; "
        "border-radius: 0; box-shadow: none; outline: none; padding: 0 2px; min-height: 0; "
        "font-family: \"%s\"; font-size: %dpx; font-weight: %d; font-style: %s; }",
        front, back, family ? family : "Sans", px, int(pango_font_description_get_weight(desc)),
        pango_font_description_get_style(desc) == PANGO_STYLE_NORMAL ? "normal" : "italic");
    gtk_css_provider_load_from_data(c.css, css, -1, nullptr);
    g_free(css);
}

void RemoveFromWindow(int id, const GuiControl &c) {
    if (GuiWindow *w = GuiFindWindow(c.win)) {
        std::erase(w->controls, id);
        if (w->hovered == id) w->hovered = -1;
        if (w->area && (c.kind != KindString)) gtk_widget_queue_draw_area(w->area, c.x, c.y, c.w, c.h);
    }
}

void ReleaseControl(GuiControl &c) {
    if (c.entry) gtk_widget_destroy(c.entry);
    if (c.css) g_object_unref(c.css);
    if (c.surface) cairo_surface_destroy(c.surface);
    if (c.font) pango_font_description_free(c.font);
    c = GuiControl{};
}

// A new control of the current window under number id (an old one of that number is freed first).
GuiControl *NewControl(int id, int kind, int x, int y, int w, int h) {
    GuiWindow *win = GuiFindWindow(g_gui.current_window);
    if (!win || w < 0 || h < 0) return nullptr;
    FreeControl(id);
    GuiControl &c = g_gui.controls[id];
    c.kind = kind;
    c.win = g_gui.current_window;
    c.x = x;
    c.y = y;
    c.w = w;
    c.h = h;
    if (g_gui.default_control_font) c.font = pango_font_description_copy(g_gui.default_control_font);
    win->controls.push_back(id);
    return &c;
}

cairo_surface_t *ImageSurfaceRef(int img) {
    GuiImage *im = GuiFindImage(img);
    return im && im->surface ? cairo_surface_reference(im->surface) : nullptr;
}

} // namespace

bool GuiOnMainThread() {
    return g_gui.ready && std::this_thread::get_id() == g_gui.main_thread;
}

bool OnGuiThread() {
    return GuiOnMainThread();
}

GuiWindow *GuiFindWindow(int win) {
    auto it = g_gui.windows.find(win);
    return it == g_gui.windows.end() ? nullptr : &it->second;
}

GuiControl *GuiFindControl(int id) {
    auto it = g_gui.controls.find(id);
    return it == g_gui.controls.end() ? nullptr : &it->second;
}

void GuiQueueControlRedraw(int id) {
    GuiControl *c = GuiFindControl(id);
    if (!c) return;
    GuiWindow *w = GuiFindWindow(c->win);
    if (w && w->area) gtk_widget_queue_draw_area(w->area, c->x, c->y, c->w, c->h);
}

bool InitGui() {
    if (g_gui.ready) return true;
    gdk_set_allowed_backends("x11");
    // Nothing here draws with OpenGL; without this GDK loads the GL driver (tens of megabytes
    // resident) just to probe visuals.
    g_setenv("GDK_GL", "disable", TRUE);
    if (!gtk_init_check(nullptr, nullptr)) return false;
    g_gui.main_thread = std::this_thread::get_id();
    g_gui.ready = true;
    return true;
}

void FreeGui() {
    if (!g_gui.ready) return;
    while (!g_gui.windows.empty()) CloseWindow(g_gui.windows.begin()->first);
    GuiFreeAllTimers();
    GuiFreeAllMenus();
    GuiFreeAllImages();
    GuiFreeAllFonts();
    if (g_gui.default_control_font) pango_font_description_free(g_gui.default_control_font);
    g_gui.default_control_font = nullptr;
    g_gui.queue.clear();
    g_gui.current = GuiEvent{};
    g_gui.current_window = -1;
    // Let GTK finish destroying the windows.
    while (g_main_context_iteration(nullptr, FALSE)) {
    }
}

// --- windows ---

bool OpenWindow(int win, int x, int y, int w, int h, const std::string &title, uint32_t flags) {
    if (!GuiOnMainThread() || win < 0 || win >= MaxWindowNumber || w <= 0 || h <= 0) return false;
    CloseWindow(win);
    GuiWindow &gw = g_gui.windows[win];
    gw.w = w;
    gw.h = h;
    gw.top = gtk_window_new(GTK_WINDOW_TOPLEVEL);
    gtk_window_set_title(GTK_WINDOW(gw.top), title.c_str());
    gtk_window_set_resizable(GTK_WINDOW(gw.top), FALSE);
    if (flags & WindowBorderless) gtk_window_set_decorated(GTK_WINDOW(gw.top), FALSE);
    if (flags & WindowCentered)
        gtk_window_set_position(GTK_WINDOW(gw.top), GTK_WIN_POS_CENTER);
    else
        gtk_window_move(GTK_WINDOW(gw.top), x, y);
    gw.fixed = gtk_fixed_new();
    gw.area = gtk_drawing_area_new();
    gtk_widget_set_size_request(gw.area, w, h);
    gtk_fixed_put(GTK_FIXED(gw.fixed), gw.area, 0, 0);
    gtk_container_add(GTK_CONTAINER(gw.top), gw.fixed);
    gpointer data = GINT_TO_POINTER(win);
    g_signal_connect(gw.area, "draw", G_CALLBACK(OnDraw), data);
    g_signal_connect(gw.top, "map-event", G_CALLBACK(OnMap), data);
    g_signal_connect(gw.top, "unmap-event", G_CALLBACK(OnUnmap), data);
    GuiConnectInput(win, gw);
    gtk_widget_show_all(gw.fixed);
    g_window_open[win].store(true, std::memory_order_release);
    g_gui.current_window = win;
    if (flags & WindowInvisible) {
        gtk_widget_realize(gw.top);
    } else {
        gtk_widget_show(gw.top);
        WaitMapped(win);
    }
    return true;
}

void CloseWindow(int win) {
    GuiWindow *w = GuiFindWindow(win);
    if (!w || !GuiOnMainThread()) return;
    GuiRemoveWindowTimers(win);
    std::vector<int> ids = w->controls;
    for (int id : ids) FreeControl(id);
    if (w->last_press) gdk_event_free(w->last_press);
    gtk_widget_destroy(w->top);
    gdk_display_flush(gdk_display_get_default());
    g_gui.windows.erase(win);
    g_window_open[win].store(false, std::memory_order_release);
    if (g_gui.current_window == win) g_gui.current_window = -1;
    // Events of the closed window that are still queued refer to nothing now.
    std::erase_if(g_gui.queue, [win](const GuiEvent &e) { return e.win == win; });
}

bool IsWindow(int win) {
    return win >= 0 && win < MaxWindowNumber && g_window_open[win].load(std::memory_order_acquire);
}

void SetWindowColor(int win, uint32_t rgb) {
    if (GuiWindow *w = GuiFindWindow(win)) {
        w->back = rgb & 0xFFFFFF;
        gtk_widget_queue_draw(w->area);
    }
}

void StickyWindow(int win, bool above) {
    if (GuiWindow *w = GuiFindWindow(win)) gtk_window_set_keep_above(GTK_WINDOW(w->top), above);
}

void SetWindowOpacity(int win, int alpha) {
    GuiWindow *w = GuiFindWindow(win);
    if (!w) return;
    gtk_widget_set_opacity(w->top, std::clamp(alpha, 0, 255) / 255.0);
    // A fade-in sets one step per millisecond without waiting for events: send each step now.
    gdk_display_flush(gdk_display_get_default());
}

void ActivateWindow(int win) {
    GuiWindow *w = GuiFindWindow(win);
    if (!w) return;
    gtk_window_present(GTK_WINDOW(w->top));
    WaitMapped(win);
    // Without a window manager the focus is set directly, which X refuses for a window not yet on
    // the screen: asked again once it is mapped, the window surely has the keyboard.
    gtk_window_present(GTK_WINDOW(w->top));
}

void HideWindow(int win, bool hide) {
    GuiWindow *w = GuiFindWindow(win);
    if (!w) return;
    if (hide) {
        gtk_widget_hide(w->top);
    } else {
        gtk_widget_show(w->top);
        WaitMapped(win);
    }
}

void MinimizeWindow(int win) {
    if (GuiWindow *w = GuiFindWindow(win)) gtk_window_iconify(GTK_WINDOW(w->top));
}

void SetBusyCursor(int win, bool busy) {
    GuiWindow *w = GuiFindWindow(win);
    if (!w) return;
    GdkWindow *gdk = gtk_widget_get_window(w->top);
    if (!gdk) return;
    GdkDisplay *display = gdk_window_get_display(gdk);
    GdkCursor *cursor = busy ? gdk_cursor_new_for_display(display, GDK_WATCH) : nullptr;
    gdk_window_set_cursor(gdk, cursor);
    if (cursor) g_object_unref(cursor);
    // The caller is about to keep the main thread busy: the change must reach the X server now.
    gdk_display_flush(display);
}

void DisableWindow(int win, bool disable) {
    GuiWindow *w = GuiFindWindow(win);
    if (!w) return;
    w->disabled = disable;
    // String controls stop taking keys and clicks as well.
    for (int id : w->controls)
        if (GuiControl *c = GuiFindControl(id); c && c->entry) gtk_widget_set_sensitive(c->entry, !disable);
}

void UseWindow(int win) {
    if (GuiFindWindow(win)) g_gui.current_window = win;
}

bool WindowRect(int win, Rect &r) {
    GuiWindow *w = GuiFindWindow(win);
    GdkWindow *gdk = w ? gtk_widget_get_window(w->top) : nullptr;
    if (!gdk) return false;
    GdkRectangle frame;
    gdk_window_get_frame_extents(gdk, &frame);
    r = Rect{frame.x, frame.y, frame.width, frame.height};
    return true;
}

void BeginWindowDrag(int win) {
    GuiWindow *w = GuiFindWindow(win);
    if (!w || !w->last_press || !w->mapped) return;
    const GdkEventButton &press = w->last_press->button;
    // A move started after the button went up would follow the pointer until the next click.
    GdkDevice *pointer = gdk_seat_get_pointer(gdk_display_get_default_seat(gdk_display_get_default()));
    GdkModifierType state = GdkModifierType(0);
    gdk_device_get_state(pointer, gtk_widget_get_window(w->top), nullptr, &state);
    if (press.button < 1 || press.button > 5 || !(state & (GDK_BUTTON1_MASK << (press.button - 1)))) return;
    gtk_window_begin_move_drag(GTK_WINDOW(w->top), int(press.button), int(press.x_root), int(press.y_root),
                               press.time);
}

// --- controls ---

bool TextControl(int id, int x, int y, int w, int h, const std::string &text, uint32_t flags) {
    GuiControl *c = NewControl(id, KindText, x, y, w, h);
    if (!c) return false;
    c->text = text;
    c->flags = flags;
    GuiQueueControlRedraw(id);
    return true;
}

bool ImageControl(int id, int x, int y, int w, int h, int img) {
    GuiControl *c = NewControl(id, KindImage, x, y, w, h);
    if (!c) return false;
    c->surface = ImageSurfaceRef(img);
    if (c->surface && (w == 0 || h == 0)) {
        c->w = cairo_image_surface_get_width(c->surface);
        c->h = cairo_image_surface_get_height(c->surface);
    }
    GuiQueueControlRedraw(id);
    return true;
}

bool CanvasControl(int id, int x, int y, int w, int h) {
    GuiControl *c = NewControl(id, KindCanvas, x, y, w, h);
    if (!c) return false;
    c->surface = GuiNewSurface(std::max(w, 1), std::max(h, 1), false);
    cairo_t *cr = cairo_create(c->surface);
    cairo_set_source_rgb(cr, 1, 1, 1);
    cairo_paint(cr);
    cairo_destroy(cr);
    GuiQueueControlRedraw(id);
    return true;
}

bool StringControl(int id, int x, int y, int w, int h, const std::string &text) {
    GuiControl *c = NewControl(id, KindString, x, y, w, h);
    if (!c) return false;
    GuiWindow *win = GuiFindWindow(c->win);
    c->entry = gtk_entry_new();
    gtk_entry_set_has_frame(GTK_ENTRY(c->entry), FALSE);
    gtk_entry_set_width_chars(GTK_ENTRY(c->entry), 1);
    gtk_entry_set_text(GTK_ENTRY(c->entry), text.c_str());
    gtk_widget_set_size_request(c->entry, w, h);
    c->css = gtk_css_provider_new();
    gtk_style_context_add_provider(gtk_widget_get_style_context(c->entry), GTK_STYLE_PROVIDER(c->css),
                                   GTK_STYLE_PROVIDER_PRIORITY_APPLICATION);
    UpdateEntryStyle(*c, win->back);
    gtk_fixed_put(GTK_FIXED(win->fixed), c->entry, x, y);
    gtk_widget_set_sensitive(c->entry, !win->disabled);
    gtk_widget_show(c->entry);
    return true;
}

void ActivateControl(int id) {
    GuiControl *c = GuiFindControl(id);
    if (c && c->entry) gtk_widget_grab_focus(c->entry);
}

void SetControlText(int id, const std::string &text) {
    GuiControl *c = GuiFindControl(id);
    if (!c) return;
    if (c->entry) {
        gtk_entry_set_text(GTK_ENTRY(c->entry), text.c_str());
    } else {
        c->text = text;
        GuiQueueControlRedraw(id);
    }
}

std::string GetControlText(int id) {
    GuiControl *c = GuiFindControl(id);
    if (!c) return {};
    return c->entry ? std::string(gtk_entry_get_text(GTK_ENTRY(c->entry))) : c->text;
}

void SetControlColor(int id, ColorWhich which, uint32_t rgb) {
    GuiControl *c = GuiFindControl(id);
    if (!c) return;
    (which == ColorFront ? c->front : c->back) = rgb & 0xFFFFFF;
    if (c->entry)
        UpdateEntryStyle(*c, GuiFindWindow(c->win)->back);
    else
        GuiQueueControlRedraw(id);
}

int64_t GetControlColor(int id, ColorWhich which) {
    GuiControl *c = GuiFindControl(id);
    if (!c) return -1;
    if (which == ColorFront) return c->front >= 0 ? c->front : 0;
    if (c->back >= 0) return c->back;
    GuiWindow *w = GuiFindWindow(c->win);
    return w ? w->back : 0;
}

void SetControlFont(int id, int font) {
    GuiControl *c = GuiFindControl(id);
    if (!c) return;
    if (c->font) pango_font_description_free(c->font);
    c->font = IsFont(font) ? pango_font_description_copy(GuiFontDescription(font)) : nullptr;
    if (c->entry)
        UpdateEntryStyle(*c, GuiFindWindow(c->win)->back);
    else
        GuiQueueControlRedraw(id);
}

void SetDefaultFont(int font) {
    if (g_gui.default_control_font) pango_font_description_free(g_gui.default_control_font);
    g_gui.default_control_font =
        IsFont(font) ? pango_font_description_copy(GuiFontDescription(font)) : nullptr;
}

void SetImageControl(int id, int img) {
    GuiControl *c = GuiFindControl(id);
    if (!c || c->kind != KindImage) return;
    GuiQueueControlRedraw(id);
    if (c->surface) cairo_surface_destroy(c->surface);
    c->surface = ImageSurfaceRef(img);
    GuiQueueControlRedraw(id);
}

void ResizeControl(int id, int x, int y, int w, int h) {
    GuiControl *c = GuiFindControl(id);
    if (!c || w < 0 || h < 0) return;
    GuiQueueControlRedraw(id);
    if (c->kind == KindCanvas && (w != c->w || h != c->h)) {
        cairo_surface_t *s = GuiNewSurface(std::max(w, 1), std::max(h, 1), false);
        cairo_t *cr = cairo_create(s);
        cairo_set_source_rgb(cr, 1, 1, 1);
        cairo_paint(cr);
        cairo_set_source_surface(cr, c->surface, 0, 0);
        cairo_rectangle(cr, 0, 0, c->w, c->h);
        cairo_fill(cr);
        cairo_destroy(cr);
        cairo_surface_destroy(c->surface);
        c->surface = s;
    }
    c->x = x;
    c->y = y;
    c->w = w;
    c->h = h;
    if (c->entry) {
        gtk_widget_set_size_request(c->entry, w, h);
        gtk_fixed_move(GTK_FIXED(GuiFindWindow(c->win)->fixed), c->entry, x, y);
    }
    GuiQueueControlRedraw(id);
}

void FreeControl(int id) {
    GuiControl *c = GuiFindControl(id);
    if (!c) return;
    RemoveFromWindow(id, *c);
    ReleaseControl(*c);
    g_gui.controls.erase(id);
}

bool IsControl(int id) {
    return GuiFindControl(id) != nullptr;
}

bool ControlRect(int id, Rect &r) {
    GuiControl *c = GuiFindControl(id);
    GuiWindow *w = c ? GuiFindWindow(c->win) : nullptr;
    GdkWindow *gdk = w ? gtk_widget_get_window(w->area) : nullptr;
    if (!gdk) return false;
    int ox = 0, oy = 0;
    gdk_window_get_origin(gdk, &ox, &oy);
    r = Rect{ox + c->x, oy + c->y, c->w, c->h};
    return true;
}
