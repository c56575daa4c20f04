// The turntable view: what playback shows on the photograph, and the refresh that runs while a list
// plays.

#include "view.h"

#include "ui/objects.h"
#include "ui/ui.h"

namespace {

constexpr int RefreshMs = 200;
constexpr int FinishMs = 200;
constexpr int DryStopMs = 2000; // how long a run-dry output stays before playback stops

void ShowRate(const std::string &text) {
    if (!StartDrawing(CanvasOutput(RateCanvas))) return;
    DrawImage(RatePatch, 0, 0);
    if (text.size() > 2) {
        DrawingMode(ModeTransparent);
        DrawingFont(FontSegoeLight11);
        DrawText(1, 1, text, Highlight);
    }
    StopDrawing();
}

void ColourTransport(int list) {
    for (int text : {PlayText, StopText, NextText, PauseText}) SetControlColor(text, ColorBack, ButtonBack);
    if (list != 1 && list != 2) {
        SetControlColor(PlayText, ColorFront, ButtonText);
        SetControlColor(PauseText, ColorFront, ButtonText);
    }
}

void LightPlay(bool lit) {
    SetControlColor(PlayText, ColorFront, lit ? Highlight : ButtonText);
}

void ShowPaused(bool paused) {
    SetControlColor(PauseText, ColorFront, paused ? Highlight : ButtonText);
}

void ShowBareBar() {
    if (!StartDrawing(CanvasOutput(PositionBar))) return;
    DrawImage(PositionBarPatch, 0, 0);
    StopDrawing();
}

void StartRefresh() {
    AddWindowTimer(MainWindow, RefreshTimer, RefreshMs);
}

void StopTimers() {
    RemoveWindowTimer(MainWindow, RefreshTimer);
    RemoveWindowTimer(MainWindow, FinishTimer);
}

// Audio thread.
bool PostFinish() {
    if (!IsWindow(MainWindow)) return false;
    AddWindowTimer(MainWindow, FinishTimer, FinishMs);
    return true;
}

} // namespace

const PlaybackDisplay TurntableDisplay = {
    .ShowRateLabel = ShowRate,
    .SetTransportColours = ColourTransport,
    .LightPlayText = LightPlay,
    .ShowPaused = ShowPaused,
    .ResetTimeDisplays = ShowBareBar,
    .StartRefresh = StartRefresh,
    .StopTimers = StopTimers,
    .PostFinish = PostFinish,
};

void RefreshNowPlaying() {
    const bool running = AudioThreadRuns() ? PlayState.load(std::memory_order_acquire) != 0
                                           : EngineFn.Tava_ASIO_IsStarted() != 0;
    const bool dry = OutputDry.load(std::memory_order_acquire) == 1;
    if (!dry && running) return;
    ResetTimeDisplays();
    if (dry && PlayState.load(std::memory_order_acquire) != 2) {
        // The output ran out of data before the decoder finished: stop after a pause.
        WaitPassingEvents(DryStopMs);
        StopPlayback(false);
        SetTransportColours(0);
        PlayingList.store(0, std::memory_order_release);
        NextIndex.store(0, std::memory_order_release);
    }
}
