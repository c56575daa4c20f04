// Output set-up and transport: starting the output for the next track, stopping it, finishing once
// the last data has played, and the Play, Pause, Next and Stop commands.
//
// Everything here runs on the main thread. Waits drain the pending window events so that the window
// stays painted.

#include "audio.h"
#include "internal.h"

#include "library/library.h"
#include "library/settings.h"

// --- shared by the main thread, the audio thread and AsioProc (internal.h says who writes which)
TransportState Transport;
// --- main thread, before any audio thread; read by all
const PlaybackDisplay *Display = nullptr;
// --- end of state

namespace {

// --- main thread: the pause toggle; the Pause text's colour shows it
bool Paused = false;

constexpr int StartBlinkMs = 100; // the Play text blinks while the first chunk is read
constexpr int StopAttempts = 250; // Tava_ASIO_Stop tries, 20 ms apart
constexpr int ThreadStopWaitMs = 4000;
constexpr uint32_t DefaultEngineFrequency = 44'100;

// The engine core as the start of the event loop leaves it, at the run's frequency.
void InitEngineCore() {
    const uint32_t frequency = Transport.OutputFrequency > 0
                                   ? static_cast<uint32_t>(Transport.OutputFrequency)
                                   : DefaultEngineFrequency;
    EngineFn.Tavo_Init(0, frequency, 0x1000, nullptr, nullptr);
    EngineFn.Tavo_SetConfig(1, 0);
}

// Stops the output host, asking again while it reports that it still runs (at most StopAttempts
// times, 20 ms apart).
void StopOutput() {
    for (int i = 0; i < StopAttempts && EngineFn.Tava_ASIO_IsStarted(); ++i) {
        EngineFn.Tava_ASIO_Stop();
        WaitWithWindow(20);
    }
}

void SetPauseText(bool paused) {
    Paused = paused;
    Show<&PlaybackDisplay::ShowPaused>(paused);
}

// Back to idle after StartPlayback could not start the output.
void StartFailed() {
    Transport.RunningFrequency.store(0, std::memory_order_release);
    Transport.PlayState.store(0, std::memory_order_release);
    Memory.HandedBytes.store(0, std::memory_order_release);
    Transport.PlayingList.store(0, std::memory_order_release);
    Transport.NextIndex.store(0, std::memory_order_release);
    SetTransportColours(0);
}

constexpr int DryStopMs = 2000; // an output that ran dry is stopped after this pause

} // namespace

bool EverythingPlayed() {
    const int64_t state = Transport.PlayState.load(std::memory_order_acquire);
    const bool played_out = state == 2 && BothBuffersUsedUp();
    const bool dry = Memory.OutputDry.load(std::memory_order_acquire) == 1;
    return (played_out || dry) && state == 2 && EngineFn.Tava_ASIO_IsStarted();
}

void ShowMessage(const std::string &title, const std::string &text, uint32_t flags) {
    if (Display && Display->ShowMessage) Display->ShowMessage(title, text, flags);
}

void WaitWithWindow(int ms) {
    if (Display && Display->WaitPassingEvents && !OnAudioThread())
        Display->WaitPassingEvents(ms);
    else
        SleepMs(ms);
}

void DrainWithWindow() {
    if (Display && Display->DrainEvents && !OnAudioThread()) Display->DrainEvents();
}

void ReleaseStream() {
    const uint32_t stream = Transport.StreamHandle.load(std::memory_order_acquire);
    if (stream) {
        EngineFn.Tavo_ChannelStop(stream);
        EngineFn.Tavo_StreamFree(stream);
    }
    WaitWithWindow(200);
    Transport.StreamHandle.store(0, std::memory_order_release);
}

bool PlaybackPaused() {
    return Paused;
}

void SetTransportColours(int list) {
    if (list != 1 && list != 2) Paused = false;
    Show<&PlaybackDisplay::SetTransportColours>(list);
}

void ResetTimeDisplays() {
    Show<&PlaybackDisplay::ResetTimeDisplays>();
}

bool StartPlayback(PlayStart start, bool resume) {
    Transport.RunningFrequency.store(0, std::memory_order_release);
    Memory.OutputDry.store(0, std::memory_order_release);
    EngineFn.Tavo_Free();
    if (resume) ResetTimeDisplays();
    Transport.NextIndex.store(resume ? start.Index : 0, std::memory_order_release);
    EmptyNowPlaying();

    InitEngineCore();
    EngineFn.Tavo_SetConfig(0x10800, 0);
    SetTransportColours(start.List);
    Transport.TickSemaphore.Release();
    EmptyTrackQueue();
    Transport.PlayState.store(1, std::memory_order_release);
    Memory.FillTarget.store(1, std::memory_order_release);
    // The callback starts on A. Set before the audio thread starts, so that the thread, which refills
    // whichever buffer the callback is not on, never takes A for a buffer already left.
    Memory.ActiveBuffer.store(ActiveA, std::memory_order_release);

    if (!Memory.StagingBuffer && !ReservePlaybackMemory()) {
        ShowEngineError(1);
        StartFailed();
        return false;
    }

    // From idle only a list with entries plays; a resume goes on where the lists go on.
    if ((start.List == 1 || start.List == 2) && (resume || !ListOf(start.List).Entries.empty())) {
        Transport.PlayingList.store(static_cast<int8_t>(start.List), std::memory_order_release);
        if (resume)
            OpenNextTrack();
        else
            OpenTrackAt(start.List, start.Index);
        if (start.Offset > 0) PositionStreamHeard(start.Offset);
        const int8_t playing = Transport.PlayingList.load(std::memory_order_acquire);
        if (playing > 0) SetTransportColours(playing);
    }
    if (Transport.StreamHandle.load(std::memory_order_acquire)) {
        ResetTimeDisplays();
        DrainWithWindow();
    } else {
        Transport.NextIndex.store(0, std::memory_order_release);
        EmptyNowPlaying();
    }

    const uint32_t stream = Transport.StreamHandle.load(std::memory_order_acquire);
    float rate = 0;
    if (stream && !EngineFn.Tavo_ChannelGetAttribute(stream, TAVO_ATTRIB_DSDRATE, &rate)) rate = 0;
    if (!EngineFn.Tava_ASIO_CheckRate(rate)) {
        const int code = EngineFn.Tava_ASIO_ErrorGetCode();
        if (stream) EngineFn.Tavo_StreamFree(stream);
        Transport.StreamHandle.store(0, std::memory_order_release);
        if (code != 0) ShowEngineError(code);
        DrainWithWindow();
        WaitWithWindow(800);
        StartFailed();
        return false;
    }

    Transport.RunningFrequency.store(Transport.OutputFrequency, std::memory_order_release);
    EngineFn.Tava_ASIO_SetRate(rate);
    WaitWithWindow(200);
    StartAudioThread();

    // The Play text blinks until the first chunk is in buffer A. A thread that has read its first
    // chunk and handed over nothing (the first track delivered no data) leaves nothing to play.
    bool lit = false;
    while (Memory.HandedBytes.load(std::memory_order_acquire) == 0) {
        if (HandOverCount() > 0 || !AudioThreadRuns()) {
            if (Memory.HandedBytes.load(std::memory_order_acquire) != 0) break;
            StopPlayback(false);
            StartFailed();
            return false;
        }
        WaitWithWindow(StartBlinkMs);
        Transport.TickSemaphore.Release();
        lit = !lit;
        Show<&PlaybackDisplay::LightPlayText>(lit);
    }
    Show<&PlaybackDisplay::LightPlayText>(true);

    Memory.ActiveBuffer.store(ActiveA, std::memory_order_release);
    Transport.OutputDsdRate.store(rate, std::memory_order_release);
    ShowRateLabel(RateLabelText(rate));

    EngineFn.Tava_ASIO_ChannelEnable(0, OutputChannel, AsioProc, nullptr);
    EngineFn.Tava_ASIO_ChannelJoin(0, OutputChannel + 1u, OutputChannel);
    EngineFn.Tava_ASIO_ChannelSetFormat(0, OutputChannel, TAVA_FORMAT_DSD_MSB);
    for (int i = 0; i < 9; ++i) {
        if (EngineFn.Tava_ASIO_GetRate() != static_cast<double>(rate)) {
            EngineFn.Tava_ASIO_SetRate(rate);
            WaitWithWindow(50);
        }
    }
    Show<&PlaybackDisplay::StartRefresh>();
    WaitWithWindow(20);
    if (!EngineFn.Tava_ASIO_Start(0, 0)) {
        // Without a running output nothing would ever play or end this run.
        const int code = EngineFn.Tava_ASIO_ErrorGetCode();
        StopPlayback(false);
        StartFailed();
        ShowEngineError(code);
        return false;
    }
    return true;
}

void StopPlayback(bool keep) {
    Transport.StopThread.store(1, std::memory_order_release);
    // A close request taken here is noted (CloseRequested): the stop is done whole first, and the
    // event loop then closes.
    DrainWithWindow();
    JoinAudioThread(ThreadStopWaitMs);

    // Once the reset returns, the output host calls AsioProc no more.
    EngineFn.Tava_ASIO_ChannelReset(0, -1, TAVA_RESET_ENABLE | TAVA_RESET_JOIN);
    StopOutput();
    if (const uint32_t stream = Transport.StreamHandle.load(std::memory_order_acquire))
        EngineFn.Tavo_StreamFree(stream);
    Transport.StreamHandle.store(0, std::memory_order_release);

    if (!keep) {
        ZeroPlaybackBuffer(Memory.StagingBuffer);
        ZeroPlaybackBuffer(Memory.BufferA);
        ZeroPlaybackBuffer(Memory.BufferB);
    }
    ZeroPlaybackBuffer(Memory.SpareBuffer);
    EmptyTrackQueue();
    WaitWithWindow(200);

    Transport.RunningFrequency.store(0, std::memory_order_release);
    Transport.PlayState.store(0, std::memory_order_release);
    Memory.HandedBytes.store(0, std::memory_order_release);
    Memory.OutputDry.store(0, std::memory_order_release);
    Transport.OutputDsdRate.store(0, std::memory_order_release);
    Memory.FillA.store(0, std::memory_order_release);
    Memory.ReadA.store(0, std::memory_order_release);
    Memory.FillB.store(0, std::memory_order_release);
    Memory.ReadB.store(0, std::memory_order_release);
    Memory.ActiveBuffer.store(0, std::memory_order_release);
    Memory.BufferSwitched.store(0, std::memory_order_release);
    Memory.FillTarget.store(1, std::memory_order_release);
    if (!keep) {
        EmptyNowPlaying();
        Transport.NextIndex.store(0, std::memory_order_release);
    }

    ResetTimeDisplays();
    EngineFn.Tavo_Free();
    Show<&PlaybackDisplay::StopTimers>();
    // The core stays open between runs, for the probes of tracks added meanwhile.
    InitEngineCore();
}

void EndRun() {
    StopPlayback(false);
    SetTransportColours(0);
    Transport.PlayingList.store(0, std::memory_order_release);
    Transport.NextIndex.store(0, std::memory_order_release);
    ResetTimeDisplays();
}

void FinishPlayback() {
    if (AudioThreadRuns()) return;
    JoinAudioThread(0);
    if (!EverythingPlayed()) return;
    WaitWithWindow(100);
    StopOutput();
    EndRun();
}

bool OutputPlaysOn() {
    const int64_t state = Transport.PlayState.load(std::memory_order_acquire);
    const bool running = AudioThreadRuns() ? state != 0 : EngineFn.Tava_ASIO_IsStarted() != 0;
    const bool dry = Memory.OutputDry.load(std::memory_order_acquire) == 1;
    if (!dry && running) return true;
    ResetTimeDisplays();
    if (dry && state != 2) {
        // The output ran out of data before the decoder finished: stop after a pause.
        WaitWithWindow(DryStopMs);
        EndRun();
    }
    return false;
}

void TransportPlay(PlayStart start) {
    if (!PlaybackIdle()) return;
    ResetTimeDisplays();
    StopPlayback(false);
    StartPlayback(start, false);
}

void TransportPause(bool space_key, PlayStart start) {
    if (PlaybackIdle()) {
        if (space_key) StartPlayback(start, false);
        return;
    }
    if (Paused) {
        if (EngineFn.Tava_ASIO_IsStarted()) EngineFn.Tava_ASIO_ChannelReset(0, -1, TAVA_RESET_PAUSE);
        SetPauseText(false);
    } else {
        SetPauseText(true);
        if (EngineFn.Tava_ASIO_IsStarted()) EngineFn.Tava_ASIO_ChannelPause(0, OutputChannel);
    }
}

void TransportNext() {
    const int8_t playing = Transport.PlayingList.load(std::memory_order_acquire);
    if (playing == 0) return;
    DrainWithWindow();
    if (playing == -1) {
        EndRun();
        return;
    }
    StopPlayback(true);
    SetTransportColours(0);
    StartPlayback({playing, ResumeIndex(playing)}, true);
}

void TransportStop() {
    if (!PlaybackIdle())
        EndRun();
    else
        ResetTimeDisplays();
}
