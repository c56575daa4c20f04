// State shared by the gui_*.cpp files of the layer; not for the program (it includes gui.h).
// Everything here is written and read by the main thread only, except where a comment says so.
#pragma once

#include "gui.h"

#include <gtk/gtk.h>

#include <deque>
#include <map>
#include <string>
#include <thread>
#include <utility>
#include <vector>

enum ControlKind { KindText = 1, KindImage, KindCanvas, KindString };

struct GuiControl {
    int kind = 0;
    int win = -1;
    int x = 0, y = 0, w = 0, h = 0;
    std::string text;                     // text controls (a string control keeps it in its entry)
    uint32_t flags = 0;                   // ControlFlags
    int64_t front = -1, back = -1;        // -1: default colour
    PangoFontDescription *font = nullptr; // owned copy; nullptr: the system's default
    cairo_surface_t *surface = nullptr;   // image control: a reference; canvas: owned, RGB24
    GtkWidget *entry = nullptr;           // string control
    GtkCssProvider *css = nullptr;        // string control: its colours and font
};

struct GuiWindow {
    GtkWidget *top = nullptr;   // the GtkWindow
    GtkWidget *fixed = nullptr; // GtkFixed: the painting area at the bottom, string controls above
    GtkWidget *area = nullptr;  // GtkDrawingArea covering the inside: paints every other control
    int w = 0, h = 0;
    uint32_t back = 0xF0F0F0;
    bool disabled = false;
    bool drop = false;
    bool mapped = false;
    std::vector<int> controls;             // creation order = stacking order, bottom first
    std::vector<std::pair<int, int>> keys; // shortcut key -> event number
    int hovered = -1;                      // canvas under the pointer, -1 none
    GdkEvent *last_press = nullptr;        // copy of the last button press (drag, menus)
};

struct GuiImage {
    cairo_surface_t *surface = nullptr; // ARGB32 (alpha) or RGB24
    bool alpha = false;
};

struct GuiFont {
    PangoFontDescription *desc = nullptr;
    int pixels = 0;
};

struct GuiEvent {
    int kind = EventNone;
    int win = -1;
    int control = -1;
    int menu = -1;
    int timer = -1;
    std::string drop;
};

// An event of the window with one detail: what = control, menu item or timer by kind.
inline GuiEvent MakeEvent(int kind, int win, int what = -1) {
    GuiEvent e;
    e.kind = kind;
    e.win = win;
    if (kind == EventMouseEnterControl || kind == EventMouseLeaveControl) e.control = what;
    if (kind == EventMenuItem) e.menu = what;
    if (kind == EventTimerTick) e.timer = what;
    return e;
}

struct GuiState {
    bool ready = false;
    std::thread::id main_thread;
    std::map<int, GuiWindow> windows;
    std::map<int, GuiControl> controls;
    std::map<int, GuiImage> images;
    std::map<int, GuiFont> fonts;
    int current_window = -1;
    PangoFontDescription *default_control_font = nullptr; // SetDefaultFont, owned copy
    std::deque<GuiEvent> queue;
    GuiEvent current;                            // the event last taken
    std::map<std::pair<int, int>, guint> timers; // (window, timer) -> GLib source id
};
extern GuiState g_gui;

bool GuiOnMainThread();
GuiWindow *GuiFindWindow(int win);
GuiControl *GuiFindControl(int id);
GuiImage *GuiFindImage(int img);
void GuiPushEvent(GuiEvent ev);
// Repaints the part of the window under a control.
void GuiQueueControlRedraw(int id);
// Removes the window's timers (gui_event.cpp).
void GuiRemoveWindowTimers(int win);
void GuiFreeAllTimers();
void GuiFreeAllMenus();
void GuiFreeAllImages();
void GuiFreeAllFonts();
// Input handlers of a window (gui_event.cpp), connected by OpenWindow.
void GuiConnectInput(int win, GuiWindow &w);

// Fonts and text (gui_font.cpp).
PangoContext *GuiTextContext();
// The font's description, or the system's default for -1 or a missing font.
const PangoFontDescription *GuiFontDescription(int font);
const PangoFontDescription *GuiDefaultFontDescription();
PangoLayout *GuiMakeLayout(const PangoFontDescription *desc, const std::string &text);
// Paints a text control into the window's cairo context.
void GuiPaintTextControl(cairo_t *cr, const GuiControl &c, uint32_t window_back);

// Images (gui_image.cpp).
cairo_surface_t *GuiNewSurface(int w, int h, bool alpha);

inline void SetSourceRgb(cairo_t *cr, uint32_t rgb, int alpha = 255) {
    cairo_set_source_rgba(cr, ((rgb >> 16) & 0xff) / 255.0, ((rgb >> 8) & 0xff) / 255.0, (rgb & 0xff) / 255.0,
                          alpha / 255.0);
}
