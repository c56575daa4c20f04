// Output set-up and transport: starting the output for the next track, stopping it, finishing once
// the last data has played, and the Play, Pause, Next and Stop commands.
//
// Everything here runs on the main thread. Waits drain the pending window events so that the window
// stays painted.

#include "audio.h"
#include "internal.h"

#include "library/library.h"
#include "library/settings.h"

#include <algorithm>
#include <chrono>

// --- shared by the main thread, the audio thread and AsioProc (internal.h says who writes which)
TransportState Transport;
// --- main thread, before any audio thread; read by all
const PlaybackDisplay *Display = nullptr;
// --- end of state

namespace {

using Clock = std::chrono::steady_clock;

// --- main thread: the pause toggle; the Pause text's colour shows it
bool Paused = false;
// --- main thread: when an output that ran dry ends its run; unset while it has not run dry
Clock::time_point DryRunEnds{};
// --- end of state

constexpr int StartBlinkMs = 100;        // the Play text blinks while the first chunk is read
constexpr int StartWaitLimitMs = 60'000; // the first part of a run is read within this, or it fails
constexpr int StopAttempts = 250;        // Tava_ASIO_Stop tries, 20 ms apart at the most
constexpr int StopRetryMs = 20;
constexpr int ThreadStopWaitMs = 4000;
constexpr int StreamReleaseWaitMs = 200;
constexpr int RateTakenWaitMs = 200;
constexpr int RateRetryWaitMs = 50;
constexpr int OutputIdleWaitMs = 20;
// Periods of 50 ms: the output thread wakes 20 times a second, and a pause still takes effect
// within a fifth of a second (the device's four periods).
constexpr uint32_t OutputPeriodMs = 50;
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
// times, each followed by a wait of at most StopRetryMs for the output to report it stopped).
void StopOutput() {
    for (int i = 0; i < StopAttempts && EngineFn.Tava_ASIO_IsStarted(); ++i) {
        EngineFn.Tava_ASIO_Stop();
        WaitOutputStopped(StopRetryMs);
    }
}

// Waits until the output host reports the rate taken, at most limit_ms.
bool WaitRateTaken(float rate, int limit_ms) {
    thread_local float wanted;
    wanted = rate;
    return WaitForCondition([] { return EngineFn.Tava_ASIO_GetRate() == static_cast<double>(wanted); },
                            limit_ms);
}

// The Play text blinks (every StartBlinkMs) until the audio thread has handed its first part to
// buffer A or has ended; the wait wakes at the hand-over. Releases TickSemaphore on every wake, so
// that a track opened inside the first part (before the output calls AsioProc) is not held.
void WaitFirstHandOver() {
    bool lit = false;
    const auto limit = Clock::now() + std::chrono::milliseconds(StartWaitLimitMs);
    auto blink = Clock::now() + std::chrono::milliseconds(StartBlinkMs);
    while (HandOverCount() == 0 && AudioThreadRuns() && Clock::now() < limit) {
        Transport.TickSemaphore.Release();
        const auto now = Clock::now();
        if (now >= blink) {
            lit = !lit;
            Show<&PlaybackDisplay::LightPlayText>(lit);
            blink = now + std::chrono::milliseconds(StartBlinkMs);
        }
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(blink - now).count();
        Memory.HandOverSignal.WaitFor(static_cast<int>(std::clamp<int64_t>(left, 1, 10)));
        DrainWithWindow();
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

// Starts the first part of a run: where Play or Space with no list shown (the playlists or the
// library on the panel) starts. List 1 from its first entry, else List 2; none when both are empty.
PlayStart StartOfLists(PlayStart start) {
    if (start.List == 1 || start.List == 2) return start;
    std::lock_guard<std::mutex> guard(ListLock);
    if (!ListOf(1).Entries.empty()) return {1, 0};
    if (!ListOf(2).Entries.empty()) return {2, 0};
    return {};
}

// Where Next goes on: the entry after the track heard, across the end of List 1 into List 2; none
// ({}) after the last track. The read-ahead may have opened later tracks (PlayingList -1 once it
// opened the last one): they do not count, only the track heard does. A track heard that has left
// the lists meanwhile goes on from the start of the list playing.
PlayStart TrackAfterHeard(int playing) {
    const EntryPlace place = FindEntry(TakeNowPlaying().Track.TrackId);
    std::lock_guard<std::mutex> guard(ListLock);
    const size_t size1 = ListOf(1).Entries.size(), size2 = ListOf(2).Entries.size();
    if (place.List == 0) return playing > 0 ? PlayStart{playing, 0} : PlayStart{};
    const size_t next = place.Index + 1;
    if (place.List == 1 && next < size1) return {1, static_cast<int32_t>(next)};
    if (place.List == 1 && size2 > 0) return {2, 0};
    if (place.List == 2 && next < size2) return {2, static_cast<int32_t>(next)};
    return {};
}

} // namespace

bool WaitForCondition(bool (*done)(), int limit_ms, Semaphore *signal) {
    const auto limit = Clock::now() + std::chrono::milliseconds(limit_ms);
    for (;;) {
        if (done()) return true;
        const auto now = Clock::now();
        if (now >= limit) return false;
        if (signal) {
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(limit - now).count();
            signal->WaitFor(static_cast<int>(std::clamp<int64_t>(left, 1, 10)));
        } else {
            SleepMs(1);
        }
        DrainWithWindow();
    }
}

bool WaitStreamReleased(uint32_t stream, int limit_ms) {
    // The main and the audio thread each wait for their own stream.
    thread_local uint32_t released;
    released = stream;
    return WaitForCondition([] { return EngineFn.Tavo_ChannelGetLength(released, 0) == UINT64_MAX; },
                            limit_ms);
}

bool WaitOutputStopped(int limit_ms) {
    return WaitForCondition([] { return EngineFn.Tava_ASIO_IsStarted() == 0; }, limit_ms);
}

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
        WaitStreamReleased(stream, StreamReleaseWaitMs);
    }
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
    // A thread that did not end at the last stop still owns the buffers.
    if (AudioThreadRuns()) return false;
    DryRunEnds = {};
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
    // No track opened: the lists hold nothing from `start` on, or the track could not be opened (its
    // message is shown). Nothing to play is no error of the output.
    if (!stream) {
        StartFailed();
        return false;
    }
    float rate = 0;
    if (!EngineFn.Tavo_ChannelGetAttribute(stream, TAVO_ATTRIB_DSDRATE, &rate)) rate = 0;
    if (!EngineFn.Tava_ASIO_CheckRate(rate)) {
        const int code = EngineFn.Tava_ASIO_ErrorGetCode();
        EngineFn.Tavo_StreamFree(stream);
        Transport.StreamHandle.store(0, std::memory_order_release);
        if (code != 0) ShowEngineError(code);
        DrainWithWindow();
        StartFailed();
        return false;
    }

    Transport.RunningFrequency.store(Transport.OutputFrequency, std::memory_order_release);
    EngineFn.Tava_ASIO_SetRate(rate);
    WaitRateTaken(rate, RateTakenWaitMs);
    StartAudioThread();

    // The Play text blinks until the first part is in buffer A. A thread that has handed over
    // nothing (the first track delivered no data) leaves nothing to play.
    WaitFirstHandOver();
    if (Memory.HandedBytes.load(std::memory_order_acquire) == 0) {
        StopPlayback(false);
        StartFailed();
        return false;
    }
    Show<&PlaybackDisplay::LightPlayText>(true);

    Memory.ActiveBuffer.store(ActiveA, std::memory_order_release);
    Transport.OutputDsdRate.store(rate, std::memory_order_release);
    ShowRateLabel(RateLabelText(rate));

    EngineFn.Tava_ASIO_ChannelEnable(0, OutputChannel, AsioProc, nullptr);
    EngineFn.Tava_ASIO_ChannelJoin(0, OutputChannel + 1u, OutputChannel);
    EngineFn.Tava_ASIO_ChannelSetFormat(0, OutputChannel, TAVA_FORMAT_DSD_MSB);
    for (int i = 0; i < 9 && EngineFn.Tava_ASIO_GetRate() != static_cast<double>(rate); ++i) {
        EngineFn.Tava_ASIO_SetRate(rate);
        WaitRateTaken(rate, RateRetryWaitMs);
    }
    Show<&PlaybackDisplay::StartRefresh>();
    WaitOutputStopped(OutputIdleWaitMs);
    if (!EngineFn.Tava_ASIO_Start(OutputPeriodMs, 0)) {
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
    DryRunEnds = {};
    // A close request taken here is noted (CloseRequested): the stop is done whole first, and the
    // event loop then closes.
    DrainWithWindow();
    JoinAudioThread(ThreadStopWaitMs);

    // Once the reset returns, the output host calls AsioProc no more.
    EngineFn.Tava_ASIO_ChannelReset(0, -1, TAVA_RESET_ENABLE | TAVA_RESET_JOIN);
    StopOutput();
    const uint32_t stream = Transport.StreamHandle.load(std::memory_order_acquire);
    if (stream) EngineFn.Tavo_StreamFree(stream);
    Transport.StreamHandle.store(0, std::memory_order_release);

    if (!keep) {
        ZeroPlaybackBuffer(Memory.StagingBuffer);
        ZeroPlaybackBuffer(Memory.BufferA);
        ZeroPlaybackBuffer(Memory.BufferB);
    }
    ZeroPlaybackBuffer(Memory.SpareBuffer);
    EmptyTrackQueue();
    if (stream) WaitStreamReleased(stream, StreamReleaseWaitMs);

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
    // The last data leaves the device's buffer before the output stops.
    WaitLastDataPlayed();
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
        // The output ran out of data before the decoder finished: the run ends after a pause, on
        // the first tick past it, while the window goes on answering.
        if (DryRunEnds == Clock::time_point{})
            DryRunEnds = Clock::now() + std::chrono::milliseconds(DryStopMs);
        else if (Clock::now() >= DryRunEnds)
            EndRun();
    }
    return false;
}

void TransportPlay(PlayStart start) {
    if (!PlaybackIdle()) return;
    start = StartOfLists(start);
    if (start.List == 0) return;
    // Idle is the state every stop leaves: nothing to stop first.
    ResetTimeDisplays();
    StartPlayback(start, false);
}

void TransportPause(bool space_key, PlayStart start) {
    if (PlaybackIdle()) {
        start = StartOfLists(start);
        if (space_key && start.List != 0) StartPlayback(start, false);
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
    const PlayStart next = TrackAfterHeard(playing);
    if (next.List == 0) {
        EndRun();
        return;
    }
    StopPlayback(true);
    SetTransportColours(0);
    StartPlayback(next, true);
}

void TransportStop() {
    if (!PlaybackIdle())
        EndRun();
    else
        ResetTimeDisplays();
}
