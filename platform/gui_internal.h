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
    int Kind = 0;
    int Window = -1;
    int X = 0, Y = 0, Width = 0, Height = 0;
    std::string Text;                     // text controls (a string control keeps it in its entry)
    uint32_t Flags = 0;                   // ControlFlags
    int64_t Front = -1, Back = -1;        // -1: default colour
    PangoFontDescription *Font = nullptr; // owned copy; nullptr: the system's default
    cairo_surface_t *Surface = nullptr;   // image control: a reference; canvas: owned, RGB24
    GtkWidget *Entry = nullptr;           // string control
    GtkCssProvider *Css = nullptr;        // string control: its colours and font
};

struct GuiWindow {
    GtkWidget *Top = nullptr;   // the GtkWindow
    GtkWidget *Fixed = nullptr; // GtkFixed: the painting area at the bottom, string controls above
    GtkWidget *Area = nullptr;  // GtkDrawingArea covering the inside: paints every other control
    int Width = 0, Height = 0;
    uint32_t Back = 0xF0F0F0;
    bool Disabled = false;
    bool Drop = false;
    bool Mapped = false;
    std::vector<int> Controls;             // creation order = stacking order, bottom first
    std::vector<std::pair<int, int>> Keys; // shortcut key -> event number
    int Hovered = -1;                      // canvas under the pointer, -1 none
    GdkEvent *LastPress = nullptr;         // copy of the last button press (drag, menus)
};

struct GuiImage {
    cairo_surface_t *Surface = nullptr; // ARGB32 (alpha) or RGB24
    bool Alpha = false;
};

struct GuiFont {
    PangoFontDescription *Description = nullptr;
    int Pixels = 0;
};

struct GuiEvent {
    int Kind = EventNone;
    int Window = -1;
    int Control = -1;
    int Menu = -1;
    int Timer = -1;
    std::vector<std::string> Drop;
};

// An event of the window with one detail: what = control, menu item or timer by kind.
inline GuiEvent MakeEvent(int kind, int win, int what = -1) {
    GuiEvent e;
    e.Kind = kind;
    e.Window = win;
    if (kind == EventMouseEnterControl || kind == EventMouseLeaveControl) e.Control = what;
    if (kind == EventMenuItem) e.Menu = what;
    if (kind == EventTimerTick) e.Timer = what;
    return e;
}

struct GuiState {
    bool Ready = false;
    std::thread::id MainThread;
    std::map<int, GuiWindow> Windows;
    std::map<int, GuiControl> Controls;
    std::map<int, GuiImage> Images;
    std::map<int, GuiFont> Fonts;
    int CurrentWindow = -1;
    PangoFontDescription *DefaultControlFont = nullptr; // SetDefaultFont, owned copy
    std::deque<GuiEvent> Queue;
    GuiEvent Current;                            // the event last taken
    std::map<std::pair<int, int>, guint> Timers; // (window, timer) -> GLib source id
};
extern GuiState Gui;

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
