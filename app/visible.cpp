// The visible start: splash, the saved-device check, the device and options windows when needed,
// the main window and its fade-in, the playback memory, then the event loop.

#include "app.h"
#include "ui/objects.h"
#include "ui/ui.h"

#include "audio/audio.h"
#include "library/settings.h"
#include "platform/gui.h"
#include "platform/system.h"
#include "resources.h"
#include "windows/windows.h"

namespace {

constexpr int SplashWidth = 420, SplashHeight = 280;
constexpr int SplashMs = 800;
constexpr int SplashTimedOut = 2; // the splash's answer when its timer ticks

void CloseSplash() {
    RemoveWindowTimer(SplashWindow, SplashTimer);
    RemoveKeyboardShortcut(SplashWindow, KeyReturn);
    RemoveKeyboardShortcut(SplashWindow, KeySpace);
    CloseWindow(SplashWindow);
}

} // namespace

bool ChooseAudioDevice() {
    OpenDeviceWindow();
    // Each device appears in the open window as it has been probed.
    ListedDevice device;
    bool any_opened = false;
    for (int n = 0; ListOutputDevice(n, device); ++n) {
        AddDeviceRow(device.Row, device.Route, device.BusyNote);
        any_opened = any_opened || device.Opened;
    }
    if (!any_opened) ShowNoDeviceFound();
    return RunDeviceWindow();
}

void ChangeAudioDevice() {
    // The window probes every device, the one in use among them: playback stops and the device
    // closes first.
    TransportStop();
    CloseOutputForChange();
    const DeviceRecord previous = DeviceCaps;
    const int previous_number = OutputDevice;
    const uint8_t previous_channel = OutputChannel;
    if (ChooseAudioDevice()) {
        if (OpenOutputDevice()) {
            // The cover options shape the main window as it was built: those chosen now are saved
            // and hold from the next start.
            const uint8_t view = ViewCover, track = CoverTrack, blend = BlendPicture;
            if (!ShowOptions()) ViewCover = view, CoverTrack = track, BlendPicture = blend;
            ShowWriteFailure(SaveSettings());
            ViewCover = view, CoverTrack = track, BlendPicture = blend;
            return;
        }
        ShowOutputError();
        CloseOutputForChange();
    }
    // Left without a choice, or the device chosen does not open: the one before plays on.
    DeviceCaps = previous;
    OutputDevice = previous_number;
    OutputChannel = previous_channel;
    if (!OpenOutputDevice()) {
        ShowOutputError();
        CloseSequence();
    }
}

void OpenSplash() {
    // Built hidden and shown with its picture, so that it never flashes empty.
    OpenPlainWindow(SplashWindow, SplashWidth, SplashHeight, "Groovestone", WindowBack);
    CanvasControl(SplashCanvas, 0, 0, SplashWidth, SplashHeight);
    if (StartDrawing(CanvasOutput(SplashCanvas))) {
        Box(0, 0, SplashWidth, SplashHeight, WindowBack);
        const ResourceBytes picture = Resource(ResSplashPicture);
        if (CatchImage(SplashPictureImage, picture.data, picture.size)) DrawImage(SplashPictureImage, 0, 0);
        StopDrawing();
    }
    FreeImage(SplashPictureImage);
    ActivateWindow(SplashWindow);
}

bool WaitOnSplash(bool ask_device) {
    AddWindowTimer(SplashWindow, SplashTimer, SplashMs);
    AddKeyboardShortcut(SplashWindow, KeyReturn, CmdSplashEnter);
    AddKeyboardShortcut(SplashWindow, KeySpace, CmdSplashSpace);
    // The answers: ask for the device (1) or not (0), or what the caller brought when time is up.
    const ModalWindow splash = {
        .Window = SplashWindow,
        .Click = [] { return 1; },
        .Command = [](int command) { return command == CmdSplashEnter ? 1 : 0; },
        .Timer = [](int timer) { return timer == SplashTimer ? SplashTimedOut : KeepWaiting; },
    };
    const int answer = RunModalWindow(splash);
    CloseSplash();
    return answer == SplashTimedOut ? ask_device : answer == 1;
}

void FadeInMainWindow() {
    ActivateWindow(MainWindow);
    SleepMs(20);
    // Linux: the opacity is _NET_WM_WINDOW_OPACITY, which a compositing window manager applies; each
    // step is let through to the X server during its 1 ms wait. Without a compositor the window
    // simply appears.
    for (int alpha = 5; alpha <= 255; alpha += 5) {
        SetWindowOpacity(MainWindow, alpha);
        WaitPassingEvents(1);
    }
}

void RunVisibleStart() {
    LoadTextFonts();
    ConfigureEngine();

    OutputChannel = 0;
    ViewCover = 2;
    CoverTrack = 0;
    BlendPicture = 1;
    LoadSettings();
    bool ask_device = true;
    // Values the program never writes are not taken: the device is asked for again, and the options
    // window starts from the defaults, so that the file written next fits.
    if (Saved.Loaded && SavedValuesInRange()) {
        OutputChannel = Saved.Values[0];
        ViewCover = Saved.Values[4];
        CoverTrack = Saved.Values[5];
        BlendPicture = Saved.Values[6];
        ask_device = false;
    }

    OpenSplash();
    if (!ask_device && !ChooseDeviceAtStart) ask_device = !CheckSavedDevice();
    // --choose-device asks whatever the splash is told.
    ask_device = WaitOnSplash(ask_device) || ChooseDeviceAtStart;

    if (ask_device) {
        if (!ChooseAudioDevice() || !ShowOptions()) return;
        // The choice holds for this run even when it cannot be kept: the next start asks again.
        ShowWriteFailure(SaveSettings());
    }

    BuildMainWindow();
    FadeInMainWindow();
    // Address space only: a page costs memory when the audio thread first writes it. Should the
    // address space be short, StartPlayback tries again.
    ReservePlaybackMemory();
    DrainWindowEvents(2);
    SleepMs(200);
    RunEventLoop();
}
