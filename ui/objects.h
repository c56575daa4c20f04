// The program's numbered objects: windows, controls, images, fonts, timers, menus and commands, and
// the colour palette. Every subsystem addresses the platform layer with these numbers.
#pragma once

#include <cstdint>
#include <initializer_list>

// --- Windows
enum WindowId : int {
    MainWindow = 20,
    DeviceWindow = 21,
    OptionsWindow = 22,
    SplashWindow = 23,
    DialogWindow = 24, // the playlist name and delete dialogs
};

// --- Controls of the main window, in the order they are created
enum MainControl : int {
    PhotoView = 51,
    CornerBox = 64,
    TitleBar = 32,
    CloseButton = 30,
    MinimizeButton = 31,
    RateCanvas = 33,
    PositionBar = 65,
    ListPanel = 63,
    ScrollUpButton = 66,
    ScrollDownButton = 67,
    PauseText = 37,
    NextText = 36,
    StopText = 35,
    PlayText = 34,
    List1Button = 38,
    List2Button = 40,
    ListsButton = 42,
    LibraryButton = 48,
    OpenButton = 44,
    EmptyListButton = 46,
    SplashCanvas = 68, // the splash window's one canvas
};

// --- Controls of the secondary windows
enum SecondaryControl : int {
    DeviceRowBase = 120, // device row i is DeviceRowBase + i, i = 0..11
    CloseMark = 500,
    DeviceHeader = 501,
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
    const char *face;
    int points;
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
};
enum CommandId : int {
    CmdPlayPause = 200,   // Space
    CmdNext = 201,        // N
    CmdStop = 202,        // S
    CmdPlay = 203,        // P
    CmdRemove = 206,      // Delete
    CmdScrollUp = 207,    // Up
    CmdScrollDown = 208,  // Down
    CmdMoveUp = 209,      // Ctrl+Up
    CmdMoveDown = 210,    // Ctrl+Down
    CmdEmptyBoth = 211,   // Ctrl+C
    CmdWritePlaylist = 214,
    CmdDeletePlaylist = 215,
    CmdSortByName = 216,
    CmdSortRandom = 217,
    CmdDriveFirst = 219, // drive menu items 219 to 225, one per drive slot
    CmdDriveLast = 225,
    CmdEscape = 398,      // Escape in the device and options windows and the dialogs
    CmdSplashEnter = 444, // Enter on the splash
    CmdSplashSpace = 445, // Space on the splash
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
static_assert(AllDifferent({PhotoView,      CornerBox,        TitleBar,       CloseButton,  MinimizeButton,
                            RateCanvas,     PositionBar,      ListPanel,      ScrollUpButton,
                            ScrollDownButton, PauseText,      NextText,       StopText,     PlayText,
                            List1Button,    List2Button,      ListsButton,    LibraryButton, OpenButton,
                            EmptyListButton, SplashCanvas,    DeviceRowBase,  DeviceRowBase + 11,
                            CloseMark,      DeviceHeader,     ViewLine,       TrackLine,    BlendLine,
                            StartLine,      DialogFrame,      DialogCaption,  DialogEntry,  DialogName,
                            DialogOk,       DialogCancel}));
static_assert(int{DeviceRowBase} > int{SplashCanvas}, "the device rows lie above every control of the main window");
static_assert(AllDifferent({SplashPictureImage, List1Patch, List2Patch, ListsPatch, OpenPatch, EmptyListPatch,
                            LibraryPatch, TurntablePhotoImage, CoverPicture, CornerPatch, LabelMaskImage,
                            RatePatch, PanelBackground, PlainPanelBackground, PositionBarPatch, ScrollUpPatch,
                            ScrollDownPatch, ScratchImage}));
static_assert(AllDifferent({RefreshTimer, FinishTimer, SplashTimer}));
static_assert(AllDifferent({CmdPlayPause, CmdNext, CmdStop, CmdPlay, CmdRemove, CmdScrollUp, CmdScrollDown,
                            CmdMoveUp, CmdMoveDown, CmdEmptyBoth, CmdWritePlaylist, CmdDeletePlaylist,
                            CmdSortByName, CmdSortRandom, CmdDriveFirst, CmdDriveFirst + 1, CmdDriveFirst + 2,
                            CmdDriveFirst + 3, CmdDriveFirst + 4, CmdDriveFirst + 5, CmdDriveLast, CmdEscape,
                            CmdSplashEnter, CmdSplashSpace}));
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
