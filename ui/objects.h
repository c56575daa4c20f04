// The program's numbered objects: windows, controls, images, fonts, timers, menus and commands, and
// the colour palette. Every subsystem addresses the platform layer with these numbers.
#pragma once

#include <cassert>
#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <iterator>

// --- Windows
enum WindowId : int {
    MainWindow = 20,
    DeviceWindow = 21,
    OptionsWindow = 22,
    SplashWindow = 23,
    DialogWindow = 24, // the playlist name and delete dialogs
};

// --- Controls of the main window, in the order they are created (the first lies lowest): name,
//     number, place in the window (x, y, width, height) and the picture it shows: the photograph
//     for PhotoView, the patch of the photograph under it for a canvas, NoPicture for the texts and
//     the buttons drawn by hand. The table MainLayout below holds the same rows.
#define GS_MAIN_CONTROLS(X)                                                                                  \
    X(PhotoView, 51, 0, PhotoTop, MainWidth, MainHeight - PhotoTop, TurntablePhotoImage)                     \
    X(CornerBox, 64, 680, 32, 128, 128, CornerPatch) /* only while ViewCover is 1 */                         \
    X(TitleBar, 32, 0, 0, 724, 24, NoPicture)                                                                \
    X(CloseButton, 30, 770, 0, 50, 24, NoPicture)                                                            \
    X(MinimizeButton, 31, 724, 0, 46, 24, NoPicture)                                                         \
    X(RateCanvas, 33, 12, 32, 76, 22, RatePatch)                                                             \
    X(PositionBar, 65, 150, 80, 470, 28, PositionBarPatch)                                                   \
    X(ListPanel, 63, 100, 122, 570, 400, PanelBackground)                                                    \
    X(ScrollUpButton, 66, 744, 224, 36, 36, ScrollUpPatch)                                                   \
    X(ScrollDownButton, 67, 744, 392, 36, 36, ScrollDownPatch)                                               \
    X(PauseText, 37, 12, 82, 62, 30, NoPicture)                                                              \
    X(NextText, 36, 12, 124, 62, 30, NoPicture)                                                              \
    X(StopText, 35, 12, 166, 62, 30, NoPicture)                                                              \
    X(PlayText, 34, 12, 208, 62, 30, NoPicture)                                                              \
    X(List1Button, 38, 8, 270, 76, 26, List1Patch)                                                           \
    X(List2Button, 40, 8, 310, 76, 26, List2Patch)                                                           \
    X(ListsButton, 42, 8, 354, 76, 26, ListsPatch)                                                           \
    X(LibraryButton, 48, 8, 500, 76, 26, LibraryPatch)                                                       \
    X(OpenButton, 44, 8, 410, 76, 26, OpenPatch)                                                             \
    X(EmptyListButton, 46, 8, 450, 76, 26, EmptyListPatch)

enum MainControl : int {
#define GS_CONTROL_NUMBER(name, number, ...) name = number,
    GS_MAIN_CONTROLS(GS_CONTROL_NUMBER)
#undef GS_CONTROL_NUMBER
};

// --- Controls of the secondary windows
enum SecondaryControl : int {
    SplashCanvas = 68,   // the splash window's one canvas
    DeviceRowBase = 120, // device row i is DeviceRowBase + i, i = 0..11
    CloseMark = 500,
    DeviceHeader = 501,
    DeviceNoneLine = 503, // "No sound device found", when no device could be opened
    ViewLine = 502,
    TrackLine = 507,
    BlendLine = 508,
    StartLine = 550,
    DialogFrame = 520, // the playlist dialogs: a canvas under everything, with the frame lines
    DialogCaption = 521,
    DialogEntry = 522, // the name dialog's text entry
    DialogName = 523,  // the delete dialog's playlist name
    DialogOk = 524,
    DialogCancel = 525,
};

// --- Images
enum ImageId : int {
    SplashPictureImage = 0,
    List1Patch = 39,
    List2Patch = 41,
    ListsPatch = 43,
    OpenPatch = 45,
    EmptyListPatch = 47,
    LibraryPatch = 49,
    TurntablePhotoImage = 50,
    CoverPicture = 52,
    CornerPatch = 53,
    LabelMaskImage = 54,
    RatePatch = 56,
    PanelBackground = 57,
    PlainPanelBackground = 58,
    PositionBarPatch = 59,
    ScrollUpPatch = 60,
    ScrollDownPatch = 61,
    ScratchImage = 62, // a picture made and freed within one drawing step
};

// --- Fonts, created once at start (face, points)
enum FontId : int {
    FontTahoma10,
    FontSegoe12,
    FontSegoe14,
    FontSegoeLight11,
    FontSegoeLight12,
    FontCalligraphy11,
    FontCalligraphy12,
    Font_COUNT
};
struct FontRow {
    const char *Face;
    int Points;
};
inline constexpr FontRow FontTable[] = {
    {"Tahoma", 10},         {"Segoe UI", 12},           {"Segoe UI", 14},           {"Segoe UI Light", 11},
    {"Segoe UI Light", 12}, {"Lucida Calligraphy", 11}, {"Lucida Calligraphy", 12},
};
static_assert(sizeof(FontTable) / sizeof(FontTable[0]) == Font_COUNT, "one row per font");

// --- Window timers
enum TimerId : int {
    RefreshTimer = 117, // main window, every 200 ms while playing
    FinishTimer = 119,  // main window, started by the audio thread when the last data has played
    SplashTimer = 121,  // splash window, 800 ms
    RemoteTimer = 122,  // main window, every 10 ms while requests from the session bus wait
};

// --- Pop-up menus and commands (keyboard commands and menu items share one number space)
enum MenuId : int {
    ListMenu = 212,
    PlaylistMenu = 213,
    DriveMenu = 218,
    DeviceMenu = 226, // over the turntable: the audio device
};
enum CommandId : int {
    CmdPlayPause = 200,  // Space
    CmdNext = 201,       // N
    CmdStop = 202,       // S
    CmdPlay = 203,       // P
    CmdRemove = 206,     // Delete
    CmdScrollUp = 207,   // Up
    CmdScrollDown = 208, // Down
    CmdMoveUp = 209,     // Ctrl+Up
    CmdMoveDown = 210,   // Ctrl+Down
    CmdEmptyBoth = 211,  // Ctrl+C
    CmdWritePlaylist = 214,
    CmdDeletePlaylist = 215,
    CmdSortByName = 216,
    CmdSortRandom = 217,
    CmdDriveFirst = 219, // drive menu items 219 to 225, one per drive slot
    CmdDriveLast = 225,
    CmdSeekBack = 226,    // Left
    CmdSeekForward = 227, // Right
    CmdAudioDevice = 228, // the device and options windows again, from the main window
    CmdEscape = 398,      // Escape in the device and options windows and the dialogs
    CmdSplashEnter = 444, // Enter on the splash
    CmdSplashSpace = 445, // Space on the splash
    CmdDialogEnter = 446, // Return in the playlist-name dialog
};

// --- Numbers of one kind must differ: the platform layer keeps one table per kind, and a number
//     given twice would silently free the first object.
constexpr bool AllDifferent(std::initializer_list<int> numbers) {
    for (const int *a = numbers.begin(); a != numbers.end(); ++a)
        for (const int *b = a + 1; b != numbers.end(); ++b)
            if (*a == *b) return false;
    return true;
}
static_assert(AllDifferent({MainWindow, DeviceWindow, OptionsWindow, SplashWindow, DialogWindow}));
#define GS_CONTROL_NAME(name, ...) name,
static_assert(AllDifferent({GS_MAIN_CONTROLS(GS_CONTROL_NAME) SplashCanvas, DeviceRowBase, DeviceRowBase + 11,
                            CloseMark, DeviceHeader, DeviceNoneLine, ViewLine, TrackLine, BlendLine,
                            StartLine, DialogFrame, DialogCaption, DialogEntry, DialogName, DialogOk,
                            DialogCancel}));
#undef GS_CONTROL_NAME
static_assert(AllDifferent({SplashPictureImage, List1Patch, List2Patch, ListsPatch, OpenPatch, EmptyListPatch,
                            LibraryPatch, TurntablePhotoImage, CoverPicture, CornerPatch, LabelMaskImage,
                            RatePatch, PanelBackground, PlainPanelBackground, PositionBarPatch, ScrollUpPatch,
                            ScrollDownPatch, ScratchImage}));
static_assert(AllDifferent({RefreshTimer, FinishTimer, SplashTimer}));
static_assert(AllDifferent({CmdPlayPause,      CmdNext,           CmdStop,           CmdPlay,
                            CmdRemove,         CmdScrollUp,       CmdScrollDown,     CmdMoveUp,
                            CmdMoveDown,       CmdEmptyBoth,      CmdWritePlaylist,  CmdDeletePlaylist,
                            CmdSortByName,     CmdSortRandom,     CmdDriveFirst,     CmdDriveFirst + 1,
                            CmdDriveFirst + 2, CmdDriveFirst + 3, CmdDriveFirst + 4, CmdDriveFirst + 5,
                            CmdDriveLast,      CmdEscape,         CmdSplashEnter,    CmdSplashSpace,
                            CmdDialogEnter,    CmdSeekBack,       CmdSeekForward,    CmdAudioDevice}));
static_assert(CmdDriveLast - CmdDriveFirst + 1 == 7, "one drive item per drive slot");

// --- Palette (0xRRGGBB)
enum Palette : uint32_t {
    WindowBack = 0x101010,
    ButtonBack = 0x060606,
    CaptionText = 0xE0E0E0,
    TitleColour = 0x828282,
    Highlight = 0x60F060,
    ButtonText = 0xEFEFEF,
    GlyphColour = 0xEEEEEE,
    ArrowColour = 0xA2A2A2,
    CloseBack = 0x000000,
    CloseHover = 0x852C33,
    MinimizeBack = 0x000000,
    MinimizeHover = 0x302020,
    TitleBack = 0x000000,
    DeviceBack = 0x161616,
    DeviceText = 0xFFFFFF,
    DeviceGrey = 0xA1A1A1,
    DeviceHighlight = 0x60F060,
};

// --- The main window's layout: a row per control of GS_MAIN_CONTROLS, in window coordinates. The
//     program builds the window from it, and the view draws within it.
constexpr int MainWidth = 820, MainHeight = 560;
constexpr int PhotoTop = 24; // the photograph lies below the title bar
constexpr int NoPicture = -1;

struct LayoutRow {
    int Control;
    int X, Y, W, H;
    int Picture; // an image, or NoPicture
};
inline constexpr LayoutRow MainLayout[] = {
#define GS_LAYOUT_ROW(name, number, x, y, w, h, picture) {name, x, y, w, h, picture},
    GS_MAIN_CONTROLS(GS_LAYOUT_ROW)
#undef GS_LAYOUT_ROW
};

// The row of a control of the main window.
constexpr const LayoutRow &LayoutOf(int control) {
    size_t i = 0;
    while (i + 1 < std::size(MainLayout) && MainLayout[i].Control != control) ++i;
    assert(MainLayout[i].Control == control && "a control of the main window");
    return MainLayout[i];
}

static_assert(
    [] {
        for (const LayoutRow &row : MainLayout)
            if (row.Control >= DeviceRowBase) return false;
        return true;
    }(),
    "the device rows lie above every control of the main window");

// The record's label on the photograph, where a cover is printed (window coordinates); the label
// mask (LabelMaskImage) is as large.
constexpr int LabelLeft = 241, LabelTop = 205, LabelWidth = 258, LabelHeight = 222;
