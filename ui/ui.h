// ui/: what every window of the program shares: the numbered objects and the main window's layout
// (objects.h), the program's kind of window with its texts and modal loop, hit-testing of clicks, and
// the ways a long command lets the window system run without handling its events.
// Main thread only, except where a comment says otherwise.
#pragma once

#include "platform/gui.h"

#include <cstdint>
#include <span>
#include <string>

// --- Windows (windows.cpp) ----------------------------------------------------------------------

// A window of the program's own look, as the splash, the set-up windows and the dialogs have:
// borderless, centred on the screen, kept above the other windows, in colour `back`. It is built
// hidden; ActivateWindow shows it once it is drawn.
void OpenPlainWindow(int win, int width, int height, const std::string &title, uint32_t back);
// Creates the seven text fonts of FontTable under their FontId numbers.
void LoadTextFonts();
// A static text (TextControl) in `font`, `front` on `back`; flags as TextControl takes them.
void TextItem(int id, int x, int y, int w, int h, const std::string &text, int font, uint32_t front,
              uint32_t back, uint32_t flags = 0);
// The font and colours of a text or string control.
void SetControlLook(int id, int font, uint32_t front, uint32_t back);

// --- The main window's layout (layout.cpp) --------------------------------------------------------
//
// Controls made at their places in MainLayout (ui/objects.h), in the main window, which is current.

// The canvas `control`; when it has a picture, that patch is cut from the photograph
// (TurntablePhotoImage) under it and painted on it.
void PlaceCanvas(int control);
// The text control `control` (TextItem).
void PlaceText(int control, const std::string &text, int font, uint32_t front, uint32_t back);

// --- Modal windows (modal.cpp) ------------------------------------------------------------------
//
// The splash, the device and options windows and the dialogs each hold the program until the user
// answers. RunModalWindow runs that wait from a row that says how the window takes its events and
// what it does with them. Every event taken stores PointerPos first.

constexpr int KeepWaiting = -1; // a handler's answer that lets the loop go on
constexpr int ModalPollMs = 20;

struct ModalWindow {
    int Window = -1;
    // How events come: waited for up to ModalPollMs each (true), or polled ModalPollMs apart while
    // none is pending, a close request of the main window among them noted (PollWindowEvent).
    bool WaitForEvents = false;
    // Which events count: while true, every event that comes while the pointer is over the window,
    // whichever window it is for; while false, the window's own events wherever the pointer is.
    bool UnderPointerOnly = false;
    // The handlers of the events that count, each returning KeepWaiting or the loop's answer; null
    // ones drop their events. Click: a left press, or a quick second click that comes as a double
    // click (one more click). Command: a key's command or a menu item, by number. Timer: a timer of
    // the window ticked, by number.
    int (*Click)() = nullptr;
    int (*Command)(int number) = nullptr;
    int (*Timer)(int timer) = nullptr;
    // The texts that light up under the pointer: on each pointer move, a text in DeviceText under it
    // turns DeviceHighlight and a lit one no longer under it turns back; texts in another colour
    // (grey device rows) keep it.
    std::span<const int> HoverTexts = {};
};

// Runs the window's loop until a handler answers; returns that answer. Main thread.
int RunModalWindow(const ModalWindow &window);

// --- Hit-testing (pointer.cpp) ------------------------------------------------------------------
//
// Every clickable thing of the program is a drawn text or canvas, so a press is tested against the
// pointer position stored when it came and the rectangles of windows and controls on the screen.
// Each window loop stores PointerPos before it tests.

struct PointerPosition {
    int32_t X = 0, Y = 0; // screen coordinates
};
extern PointerPosition PointerPos; // main thread

constexpr int RowHeight = 32; // the list panel's rows

// Stores the pointer's current screen position in PointerPos.
void RememberPointer();
// True when PointerPos lies in the window's outer rectangle (left and top edges inside, right and
// bottom edges outside); false for a window that does not exist.
bool PointerOverWindow(int win);
// The same for a control's rectangle on the screen.
bool PointerOverControl(int control);
// The 1-based row of the control under PointerPos: (PointerPos.Y - top of the control) / RowHeight + 1,
// the division truncating toward zero; 0 for a control that does not exist.
int RowUnderPointer(int control);

// Whether (x, y) lies in r, left and top edges inside, right and bottom edges outside.
bool PointInRect(int x, int y, const Rect &r);

// --- Events taken and not handled (events.cpp) ------------------------------------------------------
//
// A command that waits (stopping the output, loading an album) keeps the windows painted by taking
// their pending events without handling them. A request to close the main window is not lost that
// way: it is noted in CloseRequested, and the event loop honours it once the command has ended.

// Set when a close request of the main window was taken unhandled; the event loop clears it when it
// closes. Main thread.
extern bool CloseRequested;
// The command of the last key of the main window (EventMenu of an EventMenuItem) taken unhandled
// while playback waited (PassEventsNotingKeys); the event loop runs it and clears it once the
// waiting command is done, so that a key pressed while Play starts acts once the sound has started.
// 0 for none. Main thread.
extern int NotedCommand;

// Takes the pending events without handling them: poll without waiting; while one was there, wait
// 1 ms and poll again, until `quiet_polls` polls in a row find nothing. Called off the main thread it
// only returns (no window is touched there).
void DrainWindowEvents(int quiet_polls = 1);
// Takes the pending events without handling them and without waiting, noting the last key command
// of the main window in NotedCommand. Nothing off the main thread.
void PassEventsNotingKeys();
// Takes at most one pending event without handling it. Nothing off the main thread.
void PassOneWindowEvent();
// The next event without waiting (WindowEvent), for a loop of its own that handles some events and
// drops the rest: a close request of the main window among them is noted.
int PollWindowEvent();
// Waits ms milliseconds; on the main thread the pending events are taken meanwhile (each 1 ms), so
// that the windows stay painted. Any thread.
void WaitPassingEvents(int ms);
