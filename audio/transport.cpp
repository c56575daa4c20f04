// Output set-up and transport: starting the output for the next track, stopping it, finishing once
// the last data has played, and the Play, Pause, Next and Stop commands.
//
// Everything here runs on the main thread. Waits drain the pending window events so that the window
// stays painted.

#include "audio.h"
#include "internal.h"

#include "library/library.h"
#include "library/settings.h"
#include "ui/ui.h"

// --- main thread; the audio thread reads RunningFrequency and PlayState, and sets PlayState to 2
std::atomic<int64_t> PlayState{0};
std::atomic<int64_t> RunningFrequency{0};
std::atomic<float> OutputDsdRate{0};
int64_t ShownTrackId = 0;
const PlaybackDisplay *Display = nullptr;
// --- end of state

namespace {

// --- main thread: the pause toggle; the Pause text's colour shows it
bool Paused = false;

constexpr int StartBlinkMs = 100;          // the Play text blinks while the first chunk is read
constexpr int StopAttempts = 250;          // Tava_ASIO_Stop tries, 20 ms apart
constexpr int ThreadStopWaitMs = 4000;
constexpr uint32_t DefaultEngineFrequency = 44'100;

// The engine core as the start of the event loop leaves it, at the run's frequency.
void InitEngineCore() {
    const uint32_t frequency =
        OutputFrequency > 0 ? static_cast<uint32_t>(OutputFrequency) : DefaultEngineFrequency;
    EngineFn.Tavo_Init(0, frequency, 0x1000, nullptr, nullptr);
    EngineFn.Tavo_SetConfig(1, 0);
}

void SetPauseText(bool paused) {
    Paused = paused;
    Show<&PlaybackDisplay::ShowPaused>(paused);
}

// Back to idle after StartPlayback could not start the output.
void StartFailed() {
    RunningFrequency.store(0, std::memory_order_release);
    PlayState.store(0, std::memory_order_release);
    HandedBytes.store(0, std::memory_order_release);
    PlayingList.store(0, std::memory_order_release);
    NextIndex.store(0, std::memory_order_release);
    SetTransportColours(0);
}

} // namespace

void ReleaseStream() {
    const uint32_t stream = StreamHandle.load(std::memory_order_acquire);
    if (stream) {
        EngineFn.Tavo_ChannelStop(stream);
        EngineFn.Tavo_StreamFree(stream);
    }
    WaitPassingEvents(200);
    StreamHandle.store(0, std::memory_order_release);
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

bool StartPlayback(bool resume) {
    RunningFrequency.store(0, std::memory_order_release);
    OutputDry.store(0, std::memory_order_release);
    EngineFn.Tavo_Free();
    if (resume)
        FindResumeIndex();
    else
        NextIndex.store(0, std::memory_order_release);
    EmptyNowPlaying();

    InitEngineCore();
    EngineFn.Tavo_SetConfig(0x10800, 0);
    SetTransportColours(ActiveView);
    TickSemaphore.Release();
    EmptyTrackQueue();
    PlayState.store(1, std::memory_order_release);
    FillTarget.store(1, std::memory_order_release);
    // The callback starts on A. Set before the audio thread starts, so that the thread, which refills
    // whichever buffer the callback is not on, never takes A for a buffer already left.
    ActiveBuffer.store(ActiveA, std::memory_order_release);

    if (!StagingBuffer && !ReservePlaybackMemory()) {
        ShowEngineError(1);
        StartFailed();
        return false;
    }

    OpenNextTrack();
    if (StreamHandle.load(std::memory_order_acquire)) {
        ResetTimeDisplays();
        DrainWindowEvents();
    } else {
        NextIndex.store(0, std::memory_order_release);
        EmptyNowPlaying();
    }

    const uint32_t stream = StreamHandle.load(std::memory_order_acquire);
    float rate = 0;
    if (stream && !EngineFn.Tavo_ChannelGetAttribute(stream, TAVO_ATTRIB_DSDRATE, &rate)) rate = 0;
    if (!EngineFn.Tava_ASIO_CheckRate(rate)) {
        const int code = EngineFn.Tava_ASIO_ErrorGetCode();
        if (stream) EngineFn.Tavo_StreamFree(stream);
        StreamHandle.store(0, std::memory_order_release);
        if (code != 0) ShowEngineError(code);
        DrainWindowEvents();
        WaitPassingEvents(800);
        StartFailed();
        return false;
    }

    RunningFrequency.store(OutputFrequency, std::memory_order_release);
    EngineFn.Tava_ASIO_SetRate(rate);
    WaitPassingEvents(200);
    StartAudioThread();

    // The Play text blinks until the first chunk is in buffer A. A thread that has read its first
    // chunk and handed over nothing (the first track delivered no data) leaves nothing to play.
    bool lit = false;
    while (HandedBytes.load(std::memory_order_acquire) == 0) {
        if (HandOverCount() > 0 || !AudioThreadRuns()) {
            if (HandedBytes.load(std::memory_order_acquire) != 0) break;
            StopPlayback(false);
            StartFailed();
            return false;
        }
        WaitPassingEvents(StartBlinkMs);
        TickSemaphore.Release();
        lit = !lit;
        Show<&PlaybackDisplay::LightPlayText>(lit);
    }
    Show<&PlaybackDisplay::LightPlayText>(true);

    ActiveBuffer.store(ActiveA, std::memory_order_release);
    OutputDsdRate.store(rate, std::memory_order_release);
    ShowRateLabel(RateLabelText(rate));

    EngineFn.Tava_ASIO_ChannelEnable(0, OutputChannel, AsioProc, nullptr);
    EngineFn.Tava_ASIO_ChannelJoin(0, OutputChannel + 1u, OutputChannel);
    EngineFn.Tava_ASIO_ChannelSetFormat(0, OutputChannel, TAVA_FORMAT_DSD_MSB);
    for (int i = 0; i < 9; ++i) {
        if (EngineFn.Tava_ASIO_GetRate() != static_cast<double>(rate)) {
            EngineFn.Tava_ASIO_SetRate(rate);
            WaitPassingEvents(50);
        }
    }
    Show<&PlaybackDisplay::StartRefresh>();
    WaitPassingEvents(20);
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
    StopThread.store(1, std::memory_order_release);
    // A close request taken here is noted (CloseRequested): the stop is done whole first, and the
    // event loop then closes.
    DrainWindowEvents();
    JoinAudioThread(ThreadStopWaitMs);

    // Once the reset returns, the output host calls AsioProc no more.
    EngineFn.Tava_ASIO_ChannelReset(0, -1, TAVA_RESET_ENABLE | TAVA_RESET_JOIN);
    for (int i = 0; i < StopAttempts && EngineFn.Tava_ASIO_IsStarted(); ++i) {
        EngineFn.Tava_ASIO_Stop();
        WaitPassingEvents(20);
    }
    if (const uint32_t stream = StreamHandle.load(std::memory_order_acquire))
        EngineFn.Tavo_StreamFree(stream);
    StreamHandle.store(0, std::memory_order_release);

    if (!keep) {
        ZeroPlaybackBuffer(StagingBuffer);
        ZeroPlaybackBuffer(BufferA);
        ZeroPlaybackBuffer(BufferB);
    }
    ZeroPlaybackBuffer(SpareBuffer);
    EmptyTrackQueue();
    WaitPassingEvents(200);

    RunningFrequency.store(0, std::memory_order_release);
    PlayState.store(0, std::memory_order_release);
    HandedBytes.store(0, std::memory_order_release);
    OutputDry.store(0, std::memory_order_release);
    OutputDsdRate.store(0, std::memory_order_release);
    ShownTrackId = 0;
    FillA.store(0, std::memory_order_release);
    ReadA.store(0, std::memory_order_release);
    FillB.store(0, std::memory_order_release);
    ReadB.store(0, std::memory_order_release);
    ActiveBuffer.store(0, std::memory_order_release);
    BufferSwitched.store(0, std::memory_order_release);
    FillTarget.store(1, std::memory_order_release);
    if (!keep) {
        EmptyNowPlaying();
        NextIndex.store(0, std::memory_order_release);
    }

    ResetTimeDisplays();
    EngineFn.Tavo_Free();
    Show<&PlaybackDisplay::StopTimers>();
    // The core stays open between runs, for the probes of tracks added meanwhile.
    InitEngineCore();
}

void FinishPlayback() {
    if (AudioThreadRuns()) return;
    JoinAudioThread(0);
    const int64_t state = PlayState.load(std::memory_order_acquire);
    const bool played_out = state == 2 && BothBuffersUsedUp();
    const bool dry = OutputDry.load(std::memory_order_acquire) == 1;
    if (!((played_out || dry) && state == 2 && EngineFn.Tava_ASIO_IsStarted())) return;
    WaitPassingEvents(100);
    for (int i = 0; i < StopAttempts && EngineFn.Tava_ASIO_IsStarted(); ++i) {
        EngineFn.Tava_ASIO_Stop();
        WaitPassingEvents(20);
    }
    StopPlayback(false);
    SetTransportColours(0);
    PlayingList.store(0, std::memory_order_release);
    NextIndex.store(0, std::memory_order_release);
    ResetTimeDisplays();
}

void TransportPlay() {
    if (PlayingList.load(std::memory_order_acquire) != 0) return;
    ResetTimeDisplays();
    StopPlayback(false);
    StartPlayback(false);
}

void TransportPause(bool space_key) {
    if (PlayingList.load(std::memory_order_acquire) == 0) {
        if (space_key) StartPlayback(false);
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
    const int8_t playing = PlayingList.load(std::memory_order_acquire);
    if (playing == 0) return;
    DrainWindowEvents();
    if (playing == -1) {
        StopPlayback(false);
        SetTransportColours(0);
        PlayingList.store(0, std::memory_order_release);
        NextIndex.store(0, std::memory_order_release);
        return;
    }
    StopPlayback(true);
    SetTransportColours(0);
    StartPlayback(true);
}

void TransportStop() {
    if (PlayingList.load(std::memory_order_acquire) != 0) {
        StopPlayback(false);
        SetTransportColours(0);
        PlayingList.store(0, std::memory_order_release);
        NextIndex.store(0, std::memory_order_release);
    }
    ResetTimeDisplays();
}
