// Windows and their controls: a GtkWindow holding a GtkFixed, whose bottom child is a drawing area
// that paints the window's colour, image, text and canvas controls in creation order; string
// controls (GtkEntry) lie above it.

#include "gui_internal.h"

#include <atomic>
#include <chrono>
#include <cmath>

GuiState Gui;

namespace {

// Window numbers that are open, for IsWindow on any thread. Written by the main thread (release),
// read by any thread (acquire).
constexpr int MaxWindowNumber = 1024;
std::atomic<bool> WindowOpen[MaxWindowNumber];

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
    SetSourceRgb(cr, w->Back);
    cairo_paint(cr);
    double x1, y1, x2, y2;
    cairo_clip_extents(cr, &x1, &y1, &x2, &y2);
    for (int id : w->Controls) {
        const GuiControl *c = GuiFindControl(id);
        if (!c || c->Kind == KindString) continue;
        int cw = c->Width, ch = c->Height;
        if (c->Kind == KindImage && c->Surface && (cw == 0 || ch == 0)) {
            cw = cairo_image_surface_get_width(c->Surface);
            ch = cairo_image_surface_get_height(c->Surface);
        }
        if (c->X >= x2 || c->Y >= y2 || c->X + cw <= x1 || c->Y + ch <= y1) continue;
        if (c->Kind == KindText) {
            GuiPaintTextControl(cr, *c, w->Back);
        } else if (c->Surface) {
            cairo_save(cr);
            cairo_rectangle(cr, c->X, c->Y, cw, ch);
            cairo_clip(cr);
            cairo_set_source_surface(cr, c->Surface, c->X, c->Y);
            cairo_paint(cr);
            cairo_restore(cr);
        }
    }
    return FALSE;
}

gboolean OnMap(GtkWidget *, GdkEvent *, gpointer data) {
    if (GuiWindow *w = GuiFindWindow(GPOINTER_TO_INT(data))) w->Mapped = true;
    return FALSE;
}

gboolean OnUnmap(GtkWidget *, GdkEvent *, gpointer data) {
    if (GuiWindow *w = GuiFindWindow(GPOINTER_TO_INT(data))) w->Mapped = false;
    return FALSE;
}

void WaitMapped(int win) {
    IterateUntil(
        [win] {
            GuiWindow *w = GuiFindWindow(win);
            return !w || w->Mapped;
        },
        500);
}

// CSS of a string control: its colours and font, and no frame or inner padding, so that it fills
// exactly the rectangle it was given.
void UpdateEntryStyle(GuiControl &c, uint32_t window_back) {
    const PangoFontDescription *desc = c.Font ? c.Font : GuiDefaultFontDescription();
    uint32_t front = c.Front >= 0 ? uint32_t(c.Front) : 0;
    uint32_t back = c.Back >= 0 ? uint32_t(c.Back) : window_back;
    const char *family = pango_font_description_get_family(desc);
    int px = pango_font_description_get_size(desc) / PANGO_SCALE;
    gchar *css = g_strdup_printf(
        "entry { color: #%06X; background-color: #%06X; background-image: none; border: none; "
        "border-radius: 0; box-shadow: none; outline: none; padding: 0 2px; min-height: 0; "
        "font-family: \"%s\"; font-size: %dpx; font-weight: %d; font-style: %s; }",
        front, back, family ? family : "Sans", px, int(pango_font_description_get_weight(desc)),
        pango_font_description_get_style(desc) == PANGO_STYLE_NORMAL ? "normal" : "italic");
    gtk_css_provider_load_from_data(c.Css, css, -1, nullptr);
    g_free(css);
}

void RemoveFromWindow(int id, const GuiControl &c) {
    if (GuiWindow *w = GuiFindWindow(c.Window)) {
        std::erase(w->Controls, id);
        if (w->Hovered == id) w->Hovered = -1;
        if (w->Area && (c.Kind != KindString))
            gtk_widget_queue_draw_area(w->Area, c.X, c.Y, c.Width, c.Height);
    }
}

void ReleaseControl(GuiControl &c) {
    if (c.Entry) gtk_widget_destroy(c.Entry);
    if (c.Css) g_object_unref(c.Css);
    if (c.Surface) cairo_surface_destroy(c.Surface);
    if (c.Font) pango_font_description_free(c.Font);
    c = GuiControl{};
}

// A new control of the current window under number id (an old one of that number is freed first).
GuiControl *NewControl(int id, int kind, int x, int y, int w, int h) {
    GuiWindow *win = GuiFindWindow(Gui.CurrentWindow);
    if (!win || w < 0 || h < 0) return nullptr;
    FreeControl(id);
    GuiControl &c = Gui.Controls[id];
    c.Kind = kind;
    c.Window = Gui.CurrentWindow;
    c.X = x;
    c.Y = y;
    c.Width = w;
    c.Height = h;
    if (Gui.DefaultControlFont) c.Font = pango_font_description_copy(Gui.DefaultControlFont);
    win->Controls.push_back(id);
    return &c;
}

cairo_surface_t *ImageSurfaceRef(int img) {
    GuiImage *im = GuiFindImage(img);
    return im && im->Surface ? cairo_surface_reference(im->Surface) : nullptr;
}

} // namespace

bool GuiOnMainThread() {
    return Gui.Ready && std::this_thread::get_id() == Gui.MainThread;
}

bool OnGuiThread() {
    return GuiOnMainThread();
}

GuiWindow *GuiFindWindow(int win) {
    auto it = Gui.Windows.find(win);
    return it == Gui.Windows.end() ? nullptr : &it->second;
}

GuiControl *GuiFindControl(int id) {
    auto it = Gui.Controls.find(id);
    return it == Gui.Controls.end() ? nullptr : &it->second;
}

void GuiQueueControlRedraw(int id) {
    GuiControl *c = GuiFindControl(id);
    if (!c) return;
    GuiWindow *w = GuiFindWindow(c->Window);
    if (w && w->Area) gtk_widget_queue_draw_area(w->Area, c->X, c->Y, c->Width, c->Height);
}

bool InitGui() {
    if (Gui.Ready) return true;
    gdk_set_allowed_backends("x11");
    // Nothing here draws with OpenGL; without this GDK loads the GL driver (tens of megabytes
    // resident) just to probe visuals.
    g_setenv("GDK_GL", "disable", TRUE);
    if (!gtk_init_check(nullptr, nullptr)) return false;
    Gui.MainThread = std::this_thread::get_id();
    Gui.Ready = true;
    return true;
}

void FreeGui() {
    if (!Gui.Ready) return;
    while (!Gui.Windows.empty()) CloseWindow(Gui.Windows.begin()->first);
    GuiFreeAllTimers();
    GuiFreeAllMenus();
    GuiFreeAllImages();
    GuiFreeAllFonts();
    if (Gui.DefaultControlFont) pango_font_description_free(Gui.DefaultControlFont);
    Gui.DefaultControlFont = nullptr;
    Gui.Queue.clear();
    Gui.Current = GuiEvent{};
    Gui.CurrentWindow = -1;
    // Let GTK finish destroying the windows.
    while (g_main_context_iteration(nullptr, FALSE)) {
    }
}

// --- windows ---

bool OpenWindow(int win, int x, int y, int w, int h, const std::string &title, uint32_t flags) {
    if (!GuiOnMainThread() || win < 0 || win >= MaxWindowNumber || w <= 0 || h <= 0) return false;
    CloseWindow(win);
    GuiWindow &gw = Gui.Windows[win];
    gw.Width = w;
    gw.Height = h;
    gw.Top = gtk_window_new(GTK_WINDOW_TOPLEVEL);
    gtk_window_set_title(GTK_WINDOW(gw.Top), title.c_str());
    gtk_window_set_resizable(GTK_WINDOW(gw.Top), FALSE);
    if (flags & WindowBorderless) gtk_window_set_decorated(GTK_WINDOW(gw.Top), FALSE);
    if (flags & WindowCentered)
        gtk_window_set_position(GTK_WINDOW(gw.Top), GTK_WIN_POS_CENTER);
    else
        gtk_window_move(GTK_WINDOW(gw.Top), x, y);
    gw.Fixed = gtk_fixed_new();
    gw.Area = gtk_drawing_area_new();
    gtk_widget_set_size_request(gw.Area, w, h);
    gtk_fixed_put(GTK_FIXED(gw.Fixed), gw.Area, 0, 0);
    gtk_container_add(GTK_CONTAINER(gw.Top), gw.Fixed);
    gpointer data = GINT_TO_POINTER(win);
    g_signal_connect(gw.Area, "draw", G_CALLBACK(OnDraw), data);
    g_signal_connect(gw.Top, "map-event", G_CALLBACK(OnMap), data);
    g_signal_connect(gw.Top, "unmap-event", G_CALLBACK(OnUnmap), data);
    GuiConnectInput(win, gw);
    gtk_widget_show_all(gw.Fixed);
    WindowOpen[win].store(true, std::memory_order_release);
    Gui.CurrentWindow = win;
    if (flags & WindowInvisible) {
        gtk_widget_realize(gw.Top);
    } else {
        gtk_widget_show(gw.Top);
        WaitMapped(win);
    }
    return true;
}

void CloseWindow(int win) {
    GuiWindow *w = GuiFindWindow(win);
    if (!w || !GuiOnMainThread()) return;
    GuiRemoveWindowTimers(win);
    std::vector<int> ids = w->Controls;
    for (int id : ids) FreeControl(id);
    if (w->LastPress) gdk_event_free(w->LastPress);
    gtk_widget_destroy(w->Top);
    gdk_display_flush(gdk_display_get_default());
    Gui.Windows.erase(win);
    WindowOpen[win].store(false, std::memory_order_release);
    if (Gui.CurrentWindow == win) Gui.CurrentWindow = -1;
    // Events of the closed window that are still queued refer to nothing now.
    std::erase_if(Gui.Queue, [win](const GuiEvent &e) { return e.Window == win; });
}

bool IsWindow(int win) {
    return win >= 0 && win < MaxWindowNumber && WindowOpen[win].load(std::memory_order_acquire);
}

void SetWindowColor(int win, uint32_t rgb) {
    if (GuiWindow *w = GuiFindWindow(win)) {
        w->Back = rgb & 0xFFFFFF;
        gtk_widget_queue_draw(w->Area);
    }
}

void StickyWindow(int win, bool above) {
    if (GuiWindow *w = GuiFindWindow(win)) gtk_window_set_keep_above(GTK_WINDOW(w->Top), above);
}

void SetWindowOpacity(int win, int alpha) {
    GuiWindow *w = GuiFindWindow(win);
    if (!w) return;
    gtk_widget_set_opacity(w->Top, std::clamp(alpha, 0, 255) / 255.0);
    // A fade-in sets one step per millisecond without waiting for events: send each step now.
    gdk_display_flush(gdk_display_get_default());
}

void ActivateWindow(int win) {
    GuiWindow *w = GuiFindWindow(win);
    if (!w) return;
    gtk_window_present(GTK_WINDOW(w->Top));
    WaitMapped(win);
    // Without a window manager the focus is set directly, which X refuses for a window not yet on
    // the screen: asked again once it is mapped, the window surely has the keyboard.
    gtk_window_present(GTK_WINDOW(w->Top));
}

void HideWindow(int win, bool hide) {
    GuiWindow *w = GuiFindWindow(win);
    if (!w) return;
    if (hide) {
        gtk_widget_hide(w->Top);
    } else {
        gtk_widget_show(w->Top);
        WaitMapped(win);
    }
}

void MinimizeWindow(int win) {
    if (GuiWindow *w = GuiFindWindow(win)) gtk_window_iconify(GTK_WINDOW(w->Top));
}

void SetBusyCursor(int win, bool busy) {
    GuiWindow *w = GuiFindWindow(win);
    if (!w) return;
    GdkWindow *gdk = gtk_widget_get_window(w->Top);
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
    w->Disabled = disable;
    // String controls stop taking keys and clicks as well.
    for (int id : w->Controls)
        if (GuiControl *c = GuiFindControl(id); c && c->Entry) gtk_widget_set_sensitive(c->Entry, !disable);
}

void UseWindow(int win) {
    if (GuiFindWindow(win)) Gui.CurrentWindow = win;
}

bool WindowRect(int win, Rect &r) {
    GuiWindow *w = GuiFindWindow(win);
    GdkWindow *gdk = w ? gtk_widget_get_window(w->Top) : nullptr;
    if (!gdk) return false;
    GdkRectangle frame;
    gdk_window_get_frame_extents(gdk, &frame);
    r = Rect{frame.x, frame.y, frame.width, frame.height};
    return true;
}

void BeginWindowDrag(int win) {
    GuiWindow *w = GuiFindWindow(win);
    if (!w || !w->LastPress || !w->Mapped) return;
    const GdkEventButton &press = w->LastPress->button;
    // A move started after the button went up would follow the pointer until the next click.
    GdkDevice *pointer = gdk_seat_get_pointer(gdk_display_get_default_seat(gdk_display_get_default()));
    GdkModifierType state = GdkModifierType(0);
    gdk_device_get_state(pointer, gtk_widget_get_window(w->Top), nullptr, &state);
    if (press.button < 1 || press.button > 5 || !(state & (GDK_BUTTON1_MASK << (press.button - 1)))) return;
    gtk_window_begin_move_drag(GTK_WINDOW(w->Top), int(press.button), int(press.x_root), int(press.y_root),
                               press.time);
}

// --- controls ---

bool TextControl(int id, int x, int y, int w, int h, const std::string &text, uint32_t flags) {
    GuiControl *c = NewControl(id, KindText, x, y, w, h);
    if (!c) return false;
    c->Text = text;
    c->Flags = flags;
    GuiQueueControlRedraw(id);
    return true;
}

bool ImageControl(int id, int x, int y, int w, int h, int img) {
    GuiControl *c = NewControl(id, KindImage, x, y, w, h);
    if (!c) return false;
    c->Surface = ImageSurfaceRef(img);
    if (c->Surface && (w == 0 || h == 0)) {
        c->Width = cairo_image_surface_get_width(c->Surface);
        c->Height = cairo_image_surface_get_height(c->Surface);
    }
    GuiQueueControlRedraw(id);
    return true;
}

bool CanvasControl(int id, int x, int y, int w, int h) {
    GuiControl *c = NewControl(id, KindCanvas, x, y, w, h);
    if (!c) return false;
    c->Surface = GuiNewSurface(std::max(w, 1), std::max(h, 1), false);
    cairo_t *cr = cairo_create(c->Surface);
    cairo_set_source_rgb(cr, 1, 1, 1);
    cairo_paint(cr);
    cairo_destroy(cr);
    GuiQueueControlRedraw(id);
    return true;
}

bool StringControl(int id, int x, int y, int w, int h, const std::string &text) {
    GuiControl *c = NewControl(id, KindString, x, y, w, h);
    if (!c) return false;
    GuiWindow *win = GuiFindWindow(c->Window);
    c->Entry = gtk_entry_new();
    gtk_entry_set_has_frame(GTK_ENTRY(c->Entry), FALSE);
    gtk_entry_set_width_chars(GTK_ENTRY(c->Entry), 1);
    gtk_entry_set_text(GTK_ENTRY(c->Entry), text.c_str());
    gtk_widget_set_size_request(c->Entry, w, h);
    c->Css = gtk_css_provider_new();
    gtk_style_context_add_provider(gtk_widget_get_style_context(c->Entry), GTK_STYLE_PROVIDER(c->Css),
                                   GTK_STYLE_PROVIDER_PRIORITY_APPLICATION);
    UpdateEntryStyle(*c, win->Back);
    gtk_fixed_put(GTK_FIXED(win->Fixed), c->Entry, x, y);
    gtk_widget_set_sensitive(c->Entry, !win->Disabled);
    gtk_widget_show(c->Entry);
    return true;
}

void ActivateControl(int id) {
    GuiControl *c = GuiFindControl(id);
    if (c && c->Entry) gtk_widget_grab_focus(c->Entry);
}

void SetControlText(int id, const std::string &text) {
    GuiControl *c = GuiFindControl(id);
    if (!c) return;
    if (c->Entry) {
        gtk_entry_set_text(GTK_ENTRY(c->Entry), text.c_str());
    } else {
        c->Text = text;
        GuiQueueControlRedraw(id);
    }
}

void SelectControlText(int id) {
    GuiControl *c = GuiFindControl(id);
    if (c && c->Entry) gtk_editable_select_region(GTK_EDITABLE(c->Entry), 0, -1);
}

std::string GetControlText(int id) {
    GuiControl *c = GuiFindControl(id);
    if (!c) return {};
    return c->Entry ? std::string(gtk_entry_get_text(GTK_ENTRY(c->Entry))) : c->Text;
}

void SetControlColor(int id, ColorWhich which, uint32_t rgb) {
    GuiControl *c = GuiFindControl(id);
    if (!c) return;
    (which == ColorFront ? c->Front : c->Back) = rgb & 0xFFFFFF;
    if (c->Entry)
        UpdateEntryStyle(*c, GuiFindWindow(c->Window)->Back);
    else
        GuiQueueControlRedraw(id);
}

int64_t GetControlColor(int id, ColorWhich which) {
    GuiControl *c = GuiFindControl(id);
    if (!c) return -1;
    if (which == ColorFront) return c->Front >= 0 ? c->Front : 0;
    if (c->Back >= 0) return c->Back;
    GuiWindow *w = GuiFindWindow(c->Window);
    return w ? w->Back : 0;
}

void SetControlFont(int id, int font) {
    GuiControl *c = GuiFindControl(id);
    if (!c) return;
    if (c->Font) pango_font_description_free(c->Font);
    c->Font = IsFont(font) ? pango_font_description_copy(GuiFontDescription(font)) : nullptr;
    if (c->Entry)
        UpdateEntryStyle(*c, GuiFindWindow(c->Window)->Back);
    else
        GuiQueueControlRedraw(id);
}

void SetDefaultFont(int font) {
    if (Gui.DefaultControlFont) pango_font_description_free(Gui.DefaultControlFont);
    Gui.DefaultControlFont = IsFont(font) ? pango_font_description_copy(GuiFontDescription(font)) : nullptr;
}

void SetImageControl(int id, int img) {
    GuiControl *c = GuiFindControl(id);
    if (!c || c->Kind != KindImage) return;
    GuiQueueControlRedraw(id);
    if (c->Surface) cairo_surface_destroy(c->Surface);
    c->Surface = ImageSurfaceRef(img);
    GuiQueueControlRedraw(id);
}

void ResizeControl(int id, int x, int y, int w, int h) {
    GuiControl *c = GuiFindControl(id);
    if (!c || w < 0 || h < 0) return;
    GuiQueueControlRedraw(id);
    if (c->Kind == KindCanvas && (w != c->Width || h != c->Height)) {
        cairo_surface_t *s = GuiNewSurface(std::max(w, 1), std::max(h, 1), false);
        cairo_t *cr = cairo_create(s);
        cairo_set_source_rgb(cr, 1, 1, 1);
        cairo_paint(cr);
        cairo_set_source_surface(cr, c->Surface, 0, 0);
        cairo_rectangle(cr, 0, 0, c->Width, c->Height);
        cairo_fill(cr);
        cairo_destroy(cr);
        cairo_surface_destroy(c->Surface);
        c->Surface = s;
    }
    c->X = x;
    c->Y = y;
    c->Width = w;
    c->Height = h;
    if (c->Entry) {
        gtk_widget_set_size_request(c->Entry, w, h);
        gtk_fixed_move(GTK_FIXED(GuiFindWindow(c->Window)->Fixed), c->Entry, x, y);
    }
    GuiQueueControlRedraw(id);
}

void FreeControl(int id) {
    GuiControl *c = GuiFindControl(id);
    if (!c) return;
    RemoveFromWindow(id, *c);
    ReleaseControl(*c);
    Gui.Controls.erase(id);
}

bool IsControl(int id) {
    return GuiFindControl(id) != nullptr;
}

bool ControlRect(int id, Rect &r) {
    GuiControl *c = GuiFindControl(id);
    GuiWindow *w = c ? GuiFindWindow(c->Window) : nullptr;
    GdkWindow *gdk = w ? gtk_widget_get_window(w->Area) : nullptr;
    if (!gdk) return false;
    int ox = 0, oy = 0;
    gdk_window_get_origin(gdk, &ox, &oy);
    r = Rect{ox + c->X, oy + c->Y, c->Width, c->Height};
    return true;
}
