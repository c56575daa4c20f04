// Windows, controls, images, fonts, drawing, timers, shortcuts, menus, dialogs and the event queue.
// The sound card reservation, built with this half of the layer, has its own header: reserve.h.
//
// Everything is addressed by small numbers that the program chooses (window 20, control 63, image 57,
// timer 117, menu item 214). Creating an object under a number that is in use first frees the old one.
// Built on GTK 3 (X11 backend), cairo, pango, fontconfig, libpng and libjpeg. Every procedure runs on
// the main thread (the one that called InitGui) except where its comment says otherwise. Texts are
// UTF-8, colours 0xRRGGBB, alpha 0 (transparent) to 255 (opaque).
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

struct Rect {
    int X = 0, Y = 0, Width = 0, Height = 0;
};

// --- start and end ---

// Opens the X display through GTK (the X11 backend is forced, so that screen positions, centring and
// opacity work under XWayland as well; command-line options are not parsed). False without a display.
bool InitGui();
// Releases every window, control, image, font, menu and timer, and empties the event queue.
void FreeGui();
// True on the thread that called InitGui, once it has succeeded. Any thread.
bool OnGuiThread();

// --- windows ---

enum WindowFlags : uint32_t {
    WindowBorderless = 1u << 0, // no frame or title bar
    WindowCentered = 1u << 1,   // centred on the screen; x and y are ignored
    WindowInvisible = 1u << 2,  // created hidden; ActivateWindow or HideWindow(win, false) shows it
};

// Opens a window (numbers 0 to 1023) whose inside (client area) is w x h at screen position (x, y),
// and makes it the current window for new controls. A visible window is mapped before this returns (waits up
// to half a second), so its rectangle and pointer events are right from the start. For a fade-in, open it
// with WindowInvisible, set opacity 0, then show it.
bool OpenWindow(int win, int x, int y, int w, int h, const std::string &title, uint32_t flags);
// Closes the window and frees its controls, timers and shortcuts.
void CloseWindow(int win);
// True while the window is open. May be called from any thread.
bool IsWindow(int win);
// Background colour of the window where no control covers it.
void SetWindowColor(int win, uint32_t rgb);
// Keeps the window above other windows (Linux: asks the window manager; without one it does nothing).
void StickyWindow(int win, bool above);
// Opacity of the whole window, 0..255 (Linux: gtk_widget_set_opacity, which sets
// _NET_WM_WINDOW_OPACITY; it shows only under a compositing window manager; at 255 GTK removes the
// property). Each change is sent to the X server at once, so a fade needs no event processing.
void SetWindowOpacity(int win, int alpha);
// Shows the window, raises it and gives it the keyboard focus.
void ActivateWindow(int win);
// Hides or shows the window without closing it.
void HideWindow(int win, bool hide);
// Asks for the window to be minimised; EventMinimize follows when the window manager has done it
// (Linux: without a window manager nothing happens).
void MinimizeWindow(int win);
// The busy (watch) cursor over the window, or its normal cursor again. Shown at once: made for a
// command that keeps the main thread from the window system for a while.
void SetBusyCursor(int win, bool busy);
// A disabled window takes no mouse, keyboard, drop or close input; its timers and minimise/restore
// events go on.
void DisableWindow(int win, bool disable);
// Makes the window current: new controls are created in it.
void UseWindow(int win);
// Outer rectangle of the window on the screen, frame included.
bool WindowRect(int win, Rect &r);
// Lets the user move the window with the mouse button of the last press on it, as a press on a title
// bar does (Linux: gtk_window_begin_move_drag with that press's button, root position and time; does
// nothing when the button is no longer held, so that a quick click never leaves a move running).
// Unlike Windows it returns at once: the move runs while the program waits for events, and no
// button release is reported after it.
void BeginWindowDrag(int win);

// --- controls (in the current window, at fixed positions inside it) ---
//
// Controls never take clicks themselves: mouse events go to the window, and the program hit-tests
// with ControlRect. They are stacked in creation order, the first created at the bottom; string
// controls lie above all painted ones (Linux: image, text and canvas controls are painted by the
// window itself in one draw handler; a string control is a GtkEntry over it).

enum ControlFlags : uint32_t {
    TextCentered = 1u << 0, // text control: centre the text horizontally
};
enum ColorWhich { ColorFront = 0, ColorBack = 1 };

// A static text: the text at the top left (or centred) in the control's font and front colour on its
// back colour (default: black text on the window's colour). Long texts wrap at word boundaries.
bool TextControl(int id, int x, int y, int w, int h, const std::string &text, uint32_t flags = 0);
// Shows the image at the control's top left, cut to w x h (0 x 0: the image's size). The control
// keeps the picture it was given even when the image is freed or replaced later.
bool ImageControl(int id, int x, int y, int w, int h, int img);
// A drawing surface of w x h, white at first; draw on it with StartDrawing(CanvasOutput(id)).
bool CanvasControl(int id, int x, int y, int w, int h);
// A single-line text entry without a frame (Linux: GtkEntry).
bool StringControl(int id, int x, int y, int w, int h, const std::string &text);
// Gives the keyboard focus to a string control.
void ActivateControl(int id);
void SetControlText(int id, const std::string &text);
// Selects the whole text of a string control, so that the next key typed there replaces it.
void SelectControlText(int id);
std::string GetControlText(int id);
void SetControlColor(int id, ColorWhich which, uint32_t rgb);
// The colour set, or the default (front black, back the window's colour); -1 for a missing control.
int64_t GetControlColor(int id, ColorWhich which);
// Font of one control, and the font of controls created from now on (-1: the system's default).
void SetControlFont(int id, int font);
void SetDefaultFont(int font);
void SetImageControl(int id, int img);
// Moves and resizes; a canvas keeps its drawing (cut, or extended with white).
void ResizeControl(int id, int x, int y, int w, int h);
void FreeControl(int id);
bool IsControl(int id);
// The control's rectangle on the screen.
bool ControlRect(int id, Rect &r);

// --- images (off-screen pictures) ---
//
// Pictures are premultiplied 32-bit cairo surfaces; images without alpha are opaque.

// Decodes a PNG or JPEG held in memory, chosen by its signature (Linux: libpng and libjpeg).
// False for another format, a damaged or truncated file, or a side above 16384 pixels (or more than
// 64 million pixels); never crashes on bad input.
bool CatchImage(int img, const void *data, size_t size);
// The same for a file, by its content, whatever its extension.
bool LoadImageFile(int img, const std::string &path);
// A new w x h image: opaque black, or fully transparent when alpha is set.
bool CreateImage(int img, int w, int h, bool alpha);
// dst becomes a copy of the rectangle (x, y, w, h) of src (parts outside src are black/transparent).
bool GrabImage(int src, int dst, int x, int y, int w, int h);
bool CopyImage(int src, int dst);
// Scales the image to w x h: smooth (filtered) or by repeating/dropping pixels (nearest neighbour).
bool ResizeImage(int img, int w, int h, bool smooth);
// Scales the image to w x h by area: each new pixel is the mean of the pixels under it, so that an
// enlarged picture keeps its pixels as sharp blocks (only the pixels across a block's edge are mixed)
// and a reduced one averages all it drops. Made without a picture larger than the result.
bool ResizeImageByArea(int img, int w, int h);
void FreeImage(int img);
bool IsImage(int img);
int ImageWidth(int img);
int ImageHeight(int img);
bool ImageHasAlpha(int img);

// --- fonts ---

enum FontFlags : uint32_t { FontBold = 1u << 0, FontItalic = 1u << 1 };

// Makes a font file held in memory available to this process only (Linux: the bytes go to a
// memfd_create file kept open for the whole run, registered with FcConfigAppFontAddFile on
// /proc/self/fd/N; pango loads faces by file name, so a face made from memory alone is not found).
// Call before any text is laid out. The face is found under its own family name.
bool RegisterPrivateFont(const void *data, size_t size);
// Makes the Windows face names the program asks for find free faces, for this process only (Linux: a
// fontconfig configuration parsed from memory): "Segoe UI" -> Open Sans, "Segoe UI Light" -> Open
// Sans Light, "Tahoma" -> DejaVu Sans Condensed, "Lucida Calligraphy" -> calligraphy_family (the
// family of the face registered with RegisterPrivateFont).
bool AddFontAliases(const std::string &calligraphy_family = "TeX Gyre Chorus");
// Creates a font of the face at a point size: its pixel height is points x dpi / 72, the dpi of the
// screen (Linux: the X screen's font resolution, 96 where none is set); normal weight (400) unless
// FontBold.
bool LoadFont(int font, const std::string &face, int points, uint32_t flags = 0);
void FreeFont(int font);
bool IsFont(int font);
// Pixel height of the font's characters (em size), as computed by LoadFont.
int FontPixelSize(int font);
// Full name of the face that text in this font is drawn with, after aliases and substitution
// (e.g. "Open Sans Light" for "Segoe UI Light"); empty for a missing font.
std::string FontResolvedName(int font);

// --- drawing ---

struct Output {
    int Kind = 0; // 1 canvas, 2 image
    int Id = -1;
};
Output CanvasOutput(int id);
Output ImageOutput(int img);

enum DrawMode {
    ModeDefault = 0,     // text on an opaque box of its back colour; images copied as they are
    ModeTransparent = 1, // text without background
    ModeAlphaBlend = 2,  // boxes with their alpha, images over the target with their own alpha
};

// Starts drawing on a canvas or an image; everything below draws there until StopDrawing. Mode
// ModeDefault and the default font. False when the output does not exist.
bool StartDrawing(Output out);
// Ends drawing; a canvas is repainted on the screen where it lies.
void StopDrawing();
void DrawingMode(int mode);
// Font for DrawText, TextWidth and TextHeight (-1: the system's default).
void DrawingFont(int font);
// Fills the rectangle; with ModeAlphaBlend the colour is mixed in with the alpha.
void Box(int x, int y, int w, int h, uint32_t rgb, int alpha = 255);
// A line of pixels from (x, y) spanning dx x dy pixels, the start pixel included: (20, 7) with extent
// (11, 11) is an 11-pixel diagonal to (30, 17); a negative extent goes left or up.
void Line(int x, int y, int dx, int dy, uint32_t rgb);
void Plot(int x, int y, uint32_t rgb);
// Colour of one pixel (0 outside the output).
uint32_t Point(int x, int y);
void DrawImage(int img, int x, int y);
void DrawImage(int img, int x, int y, int w, int h);
// The image over the output with its own alpha times alpha/255, in every mode.
void DrawAlphaImage(int img, int x, int y, int alpha);
// Writes the text with its top left at (x, y); returns the x after it.
int DrawText(int x, int y, const std::string &text, uint32_t front, uint32_t back = 0);
// Size of the text in the drawing font, in pixels (may be called outside StartDrawing).
int TextWidth(const std::string &text);
int TextHeight(const std::string &text);

// --- window timers ---

// Starts (or restarts) timer `timer` of the window: EventTimerTick every ms milliseconds while the
// program waits for events; a tick does not queue a second time while one is still waiting. Callable
// from any thread: off the main thread the request is handed to the main thread and takes effect
// when it next waits for events.
void AddWindowTimer(int win, int timer, int ms);
// Stops the timer; callable from any thread, like AddWindowTimer.
void RemoveWindowTimer(int win, int timer);

// --- keyboard shortcuts ---

// Key codes (the X keysyms of the unshifted keys) and modifier flags.
enum Keys : int {
    KeySpace = 0x20,
    KeyEscape = 0xff1b,
    KeyReturn = 0xff0d,
    KeyDelete = 0xffff,
    KeyUp = 0xff52,
    KeyDown = 0xff54,
    KeyLeft = 0xff51,
    KeyRight = 0xff53,
    KeyA = 'A',
    KeyC = 'C',
    KeyN = 'N',
    KeyP = 'P',
    KeyS = 'S', // other letters: their capital's code
    KeyShift = 1 << 24,
    KeyControl = 1 << 25,
    KeyAlt = 1 << 26,
};
// A press of key (with exactly the modifiers given) while the window has the focus becomes an
// EventMenuItem with number `event`; it is not passed on to a string control.
void AddKeyboardShortcut(int win, int key, int event);
void RemoveKeyboardShortcut(int win, int key);
// Removes every shortcut of the window.
void RemoveAllKeyboardShortcuts(int win);

// --- pop-up menus ---

// Creates an empty pop-up menu and makes it the menu that MenuItem, MenuBar and OpenSubMenu add to.
bool CreatePopupMenu(int menu);
// Adds an item; choosing it gives an EventMenuItem with number `item`.
void MenuItem(int item, const std::string &text);
// Adds a separator.
void MenuBar();
// Adds an item that opens a sub-menu; the next items go into it until CloseSubMenu.
void OpenSubMenu(const std::string &text);
void CloseSubMenu();
void SetMenuItemText(int menu, int item, const std::string &text);
void DisableMenuItem(int menu, int item, bool disable);
// Shows the menu at the pointer; returns at once, the choice comes later as an EventMenuItem of the
// window (Linux: a GtkMenu popped up with the last press on the window as its trigger).
void DisplayPopupMenu(int menu, int win);
void FreeMenu(int menu);
bool IsMenu(int menu);

// --- dialogs ---

// Windows message box flags that choose the icon.
enum MessageFlags : uint32_t {
    MessageIconStop = 0x10,
    MessageIconQuestion = 0x20,
    MessageIconWarning = 0x30,
    MessageIconInformation = 0x40,
};
// Shows a modal box with the text, an icon from the flags and an OK button, kept above other windows,
// and returns 1 when it is closed (Linux: GtkMessageDialog; the system-modal flag 0x1000 makes no
// difference). Without a display the text goes to standard error. Called from another thread, the box
// is handed to the main thread and the caller returns 1 at once.
int MessageBox(const std::string &title, const std::string &text, uint32_t flags);
// For tests: while a hook is set, MessageBox calls it instead of showing anything and returns what it
// returns. An empty function removes the hook.
using MessageBoxHook = std::function<int(const std::string &title, const std::string &text, uint32_t flags)>;
void SetMessageBoxHook(MessageBoxHook hook);

// The open-file dialog. filter is "label|pattern;pattern|label|pattern..." (e.g. "*.DSF,*.DFF|*.DSF;
// *.DFF"); patterns match names in any case. default_file is a file or folder to start from; without
// one (empty, or a name with wildcards such as "*.*") the dialog starts in the folder of the files
// last chosen with it in this run, else the user's music folder (MusicFolder), else the home folder,
// the first that exists. Returns the chosen paths, empty when cancelled (Linux:
// GtkFileChooserDialog, which would otherwise show its recent files; paths are local file names).
std::vector<std::string> OpenFileDialog(const std::string &title, const std::string &default_file,
                                        const std::string &filter, bool multiple);

// --- dropped files ---

// Accepts files and folders dropped on the window: EventWindowDrop, with EventDropFiles() the local
// paths, each whole (Linux: a GTK drag destination for text/uri-list; URIs that LocalPathOfUri
// refuses are left out).
void EnableWindowDrop(int win, bool enable = true);
// The local path a file URI names ("file:///music/a%20b.dsf" is "/music/a b.dsf"): its escapes
// decoded, line feeds and all. "" for any other URI: another scheme, a host other than none or
// "localhost" (a file of another machine is not the file of that path here), or a path that does not
// fit the system (PathFitsSystem of platform/files.h). Any thread.
std::string LocalPathOfUri(const char *uri);

// --- events ---

enum EventKind : int {
    EventNone = 0,
    EventMenuItem,          // a menu item or keyboard shortcut: EventMenu()
    EventTimerTick,         // a window timer: EventTimer()
    EventCloseWindow,       // the user asked to close the window (it stays open)
    EventLeftButtonDown,    // a left press (the second press of a double click is EventLeftDoubleClick)
    EventLeftDoubleClick,   //
    EventRightButtonDown,   //
    EventMouseMove,         // the pointer moved over the window (consecutive moves give one event)
    EventMouseEnterControl, // the pointer entered the canvas EventControl()
    EventMouseLeaveControl, // the pointer left the canvas EventControl()
    EventWindowDrop,        // files dropped: EventDropFiles()
    EventMinimize,          //
    EventRestore,           //
};

// Takes the next event without waiting (pending window system work is done first); EventNone if
// there is none.
int WindowEvent();
// Waits up to ms milliseconds (-1: without time-out) for the next event, keeping every window alive
// meanwhile; EventNone when the time is up.
int WaitWindowEvent(int ms = -1);
// Details of the event last taken.
int EventWindow();
int EventControl();
int EventMenu();
int EventTimer();
std::vector<std::string> EventDropFiles();

// --- pointer ---

// Position of the mouse pointer on the screen.
void DesktopMouse(int &x, int &y);
