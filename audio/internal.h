// Helpers shared by the files of audio/; not part of the subsystem's surface (audio.h).
#pragma once

#include "audio.h"

#include <atomic>
#include <cstdint>

// --- The playback memory (memory.cpp, thread.cpp) ---------------------------------------------

constexpr int64_t ActiveA = 6, ActiveB = 8;

// The four buffers and their hand-over between the audio thread and AsioProc. The buffers are
// reserved once by ReservePlaybackMemory (null before) and handed between the threads as
// AudioThread and AsioProc describe.
struct PlaybackMemory {
    // Bytes asked of the decoder per refill: ProgramChunkSize in the program. Tests lower it to see
    // many buffer switches in a short run (at most PlayBufferSize, a multiple of 8). Written by the
    // main thread while no audio thread runs; read by the audio thread.
    int64_t ChunkSize = ProgramChunkSize;
    uint8_t *StagingBuffer = nullptr; // PlayBufferSize: the decoder's chunk, audio thread only
    uint8_t *BufferA = nullptr;       // PlayBufferSize: written by the audio thread, read by AsioProc
    uint8_t *BufferB = nullptr;       // PlayBufferSize: likewise
    uint8_t *SpareBuffer = nullptr;   // SpareBufferSize

    // The buffers' state. Fill: valid bytes, written by the audio thread. Read: the callback's read
    // position, written by AsioProc (and set to 0 by the audio thread before a refilled buffer's
    // fill level is stored). A buffer is ready when Read is 0 and Fill is above 0, used up when Read
    // has reached Fill.
    std::atomic<int64_t> FillA{0}, ReadA{0}, FillB{0}, ReadB{0};
    // The buffer AsioProc reads: ActiveA or ActiveB (0 before the first start). AsioProc writes it
    // while the output runs, the main thread before the output starts.
    std::atomic<int64_t> ActiveBuffer{0};
    // 1: the next chunk goes to A, 2: to B. Audio thread; the main thread resets it.
    std::atomic<int64_t> FillTarget{1};
    // Set to 1 by AsioProc when it moves to the other buffer; the audio thread clears it.
    std::atomic<int64_t> BufferSwitched{0};
    // Bytes of the last chunk handed to buffer A or B; 0 until the first hand-over. Audio thread.
    std::atomic<int64_t> HandedBytes{0};
    // 1 once AsioProc found the other buffer not ready; stays 1 until playback stops or starts
    // again. AsioProc sets it; the main and audio threads read it.
    std::atomic<int64_t> OutputDry{0};
    // AsioProc calls since the program started; AsioProc writes, any thread reads.
    std::atomic<int64_t> ProcCalls{0};
    // ProcCalls as the call that set BufferSwitched leaves it. AsioProc writes it before it sets
    // BufferSwitched; the audio thread reads it after.
    std::atomic<int64_t> SwitchCall{0};
    // Released by HandOver after every chunk handed to A or B: the main thread waits on it for the
    // first chunk of a run.
    Semaphore HandOverSignal{0};
    // Released by AsioProc when it moves to the other buffer, and by the main thread when it asks
    // the audio thread to end: the audio thread sleeps on it while it has nothing to refill.
    Semaphore AudioWake{0};
};
extern PlaybackMemory Memory;

// --- The transport's state (tracks.cpp, transport.cpp, thread.cpp) ----------------------------
//
// Written by the main thread while no audio thread runs, else as each comment says.
struct TransportState {
    // 0 idle, 1 List 1, 2 List 2, -1 both lists used up. Main thread; the audio thread when it
    // opens the following track. Read by both and by the view refresh (PlaybackIdle).
    std::atomic<int8_t> PlayingList{0};
    // 0-based index of the next entry to open in PlayingList. Written like PlayingList.
    std::atomic<int32_t> NextIndex{0};
    // The decoding stream being read, 0 for none. Written like PlayingList.
    std::atomic<uint32_t> StreamHandle{0};
    // 0 idle, 1 feeding (the decoder still delivers), 2 draining (the last data is read). Main
    // thread; the audio thread sets 2.
    std::atomic<int64_t> PlayState{0};
    // OutputFrequency while the output is set up, else 0; the audio thread fills buffers only while
    // it is above 0. Main thread.
    std::atomic<int64_t> RunningFrequency{0};
    // The DSD rate the output runs at, 0 when stopped; track opens refuse other rates. Main thread.
    std::atomic<float> OutputDsdRate{0};
    // 1 asks the audio thread to end. Main thread.
    std::atomic<int64_t> StopThread{0};
    // Released by every AsioProc call; a track open waits on it once before it queues the track.
    // Count 0 at start-up; it exists before any thread.
    Semaphore TickSemaphore{0};
    // The run's rate: set by the first track appended to a list since both lists were last emptied
    // (ResetRunRate puts both back to 0). Main thread.
    int32_t SessionDsdRate = 0;
    int32_t OutputFrequency = 0; // that track's frequency attribute (DSD rate / 32)
};
extern TransportState Transport;

// True on the audio thread (thread.cpp).
bool OnAudioThread();
// Calls the display procedure Proc (a member of PlaybackDisplay) with the arguments when there is a window to
// show it on and this is not the audio thread.
template <auto Proc, typename... Args>
void Show(Args &&...args) {
    if (Display && Display->*Proc && !OnAudioThread()) (Display->*Proc)(static_cast<Args &&>(args)...);
}
// A message box through the display (PlaybackDisplay::ShowMessage); nothing without one. Any thread.
void ShowMessage(const std::string &title, const std::string &text, uint32_t flags);
// Waits ms milliseconds; on the main thread the window takes its pending events meanwhile
// (PlaybackDisplay::WaitPassingEvents). Any thread.
void WaitWithWindow(int ms);
// On the main thread the window takes its pending events without waiting; elsewhere nothing.
void DrainWithWindow();
// Stops and releases StreamHandle, waits until the core no longer knows it (at most 200 ms), and
// sets it to 0. Main or audio thread.
void ReleaseStream();
// Waits until done() holds, at most limit_ms; the window takes its events meanwhile on the main
// thread. signal, when given, is released by whoever makes done() true, so that the wait wakes at
// once instead of on the next poll. True when done() held. Any thread.
bool WaitForCondition(bool (*done)(), int limit_ms, Semaphore *signal = nullptr);
// Waits until the output host reports it stopped, at most limit_ms. Main thread.
bool WaitOutputStopped(int limit_ms);
// Waits until the core no longer knows `stream` (freed), at most limit_ms. Main or audio thread.
bool WaitStreamReleased(uint32_t stream, int limit_ms);
// Waits until the output has taken `periods` more periods since `since` (a ProcCalls count), at
// most limit_ms: the data handed before `since` has left a device buffer of that many periods.
// Main or audio thread.
bool WaitOutputPeriods(int64_t since, int periods, int limit_ms);
// The output has taken the periods its device holds since now (the last data has left the device's
// buffer), at most 100 ms.
void WaitLastDataPlayed();

// The audio thread's lifetime (thread.cpp). Main thread.
void StartAudioThread();
// Waits up to ms for the audio thread to end (woken by its end) and joins it. A thread that still
// runs then (a read stuck in the file system) is left to end by itself: true when no thread is
// left. StartPlayback refuses to start while one is.
bool JoinAudioThread(int ms);
// Chunks handed to A or B since the audio thread started (a hand-over of 0 bytes counts). Any thread.
int64_t HandOverCount();
// Both playback buffers read to their fill level. Any thread.
bool BothBuffersUsedUp();
// Everything of the run has played: the decoder has delivered its last data (PlayState 2), and
// both buffers are used up or the output ran dry, while the output still runs. Main or audio thread.
bool EverythingPlayed();
