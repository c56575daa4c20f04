// The audio thread and the output callback. The thread reads the decoding stream a chunk at a time
// into the staging buffer and hands each chunk to buffer A or B; the output host's thread calls
// AsioProc, which copies from memory, moves to the other buffer when one is used up and moves
// NowPlaying when the bytes played pass the end of the track heard.
//
// Who writes what: a buffer's bytes and its fill level are written only by the audio thread, and
// only while AsioProc is on the other buffer (ActiveBuffer differs from `last`); its read position
// is written by AsioProc, and set to 0 by the audio thread during a refill. A refill stores fill 0,
// then read 0, then the new fill level with release; AsioProc loads the read position before the
// fill level, both with acquire, so it sees a buffer as ready only with its new fill level and its
// new bytes.

#include "audio.h"
#include "internal.h"

#include <algorithm>
#include <cstring>
#include <thread>

namespace {

// --- audio thread only
thread_local bool InAudioThread = false;
int64_t StagedBytes = 0; // bytes read into StagingBuffer by the current refill
// --- main thread only
std::thread AudioThreadHandle;
// --- set by the main thread before the thread starts, cleared by the thread as its last act
std::atomic<bool> ThreadRunning{false};
// --- audio thread writes, the main thread reads
std::atomic<int64_t> HandOvers{0};
// --- released by the thread as its last act; the main thread waits on it at a stop
Semaphore ThreadEnded{0};
// --- end of state

constexpr int SwitchSettleMs = 60;    // the longest wait for the call that switched buffers to return
constexpr int AudioWakeLimitMs = 500; // the longest sleep while nothing is due: a safety net only
constexpr int StartChunkGrowth = 4;   // each hand-over of a run's first chunk is this many times the last
constexpr int LastDataPeriods = 4;    // periods the device holds: the output host's buffer
constexpr int LastDataWaitMs = 100;
constexpr int ThreadEndWaitMs = 4000; // at the program's end

struct PlayBuffer {
    uint8_t *Bytes;
    std::atomic<int64_t> &Fill;
    std::atomic<int64_t> &Read;
};

PlayBuffer BufferOf(int64_t active) {
    if (active == ActiveA) return {Memory.BufferA, Memory.FillA, Memory.ReadA};
    return {Memory.BufferB, Memory.FillB, Memory.ReadB};
}

// Output thread. Ready: refilled and not yet read from. The read position comes first (see above).
int64_t ReadyBytes(const PlayBuffer &b) {
    if (b.Read.load(std::memory_order_acquire) != 0) return 0;
    return b.Fill.load(std::memory_order_acquire);
}

// Audio thread: bytes of about a second of sound at the run's rate (a multiple of 8), the first
// hand-over of a run, so that the sound starts without waiting for a whole chunk.
int64_t StartBytes() {
    const int64_t bytes_per_second = Transport.RunningFrequency.load(std::memory_order_acquire) * 8;
    return std::max<int64_t>(8, bytes_per_second / 8 * 8);
}

// Audio thread: the size of the next refill. A run's first chunk is handed over in growing parts
// (about a second, then StartChunkGrowth times the part before), each read while the part before
// plays, until the whole first chunk has gone; every later refill is a whole chunk. `handed`: bytes
// handed over since the run started; `previous`: the last part's size (0 before the first).
int64_t NextRefillBytes(int64_t handed, int64_t previous) {
    const int64_t chunk = Memory.ChunkSize;
    if (handed >= chunk) return chunk;
    const int64_t part = previous == 0 ? StartBytes() : previous * StartChunkGrowth;
    return std::min(part, chunk - handed);
}

// Audio thread: sleeps until AsioProc moves to the other buffer or the thread is asked to end; the
// longest sleep is a safety net, nothing is due on a clock.
void WaitForWork() {
    Memory.AudioWake.WaitFor(AudioWakeLimitMs);
}

// Audio thread, after AsioProc moved to the other buffer: waits for the call that moved to return,
// so that the buffer it left is no longer read.
void WaitSwitchSettled() {
    const int64_t switched_at = Memory.SwitchCall.load(std::memory_order_relaxed);
    for (int waited = 0; waited < SwitchSettleMs; ++waited) {
        if (Memory.ProcCalls.load(std::memory_order_acquire) >= switched_at) return;
        SleepMs(1);
    }
}

// Audio thread: the staged chunk into the target buffer, published to AsioProc.
void HandOver(const PlayBuffer &target) {
    target.Fill.store(0, std::memory_order_relaxed);
    target.Read.store(0, std::memory_order_release);
    CopyWords(Memory.StagingBuffer, target.Bytes, static_cast<size_t>(StagedBytes));
    target.Fill.store(StagedBytes, std::memory_order_release);
    Memory.HandedBytes.store(StagedBytes, std::memory_order_release);
    HandOvers.fetch_add(1, std::memory_order_release);
    Memory.HandOverSignal.Release();
}

// Audio thread, once the lists are used up: waits for the last data to play, then has the main
// thread finish (timer 119). Without a main window the program is ending: the thread closes the
// engine itself.
void Drain() {
    while (!Transport.StopThread.load(std::memory_order_acquire)) {
        if (EverythingPlayed()) {
            if (!Display || !Display->PostFinish || !Display->PostFinish()) {
                WaitLastDataPlayed();
                EngineFn.Tava_ASIO_Free();
                EngineFn.Tavo_Free();
            }
            return;
        }
        // AsioProc wakes it once it has read a buffer to its end.
        WaitForWork();
    }
}

} // namespace

bool OnAudioThread() {
    return InAudioThread;
}

bool AudioThreadRuns() {
    return ThreadRunning.load(std::memory_order_acquire);
}

int64_t HandOverCount() {
    return HandOvers.load(std::memory_order_acquire);
}

bool BothBuffersUsedUp() {
    return Memory.ReadA.load(std::memory_order_acquire) == Memory.FillA.load(std::memory_order_acquire) &&
           Memory.ReadB.load(std::memory_order_acquire) == Memory.FillB.load(std::memory_order_acquire);
}

void CopyWords(const void *source, void *destination, size_t length) {
    // memcpy moves the whole words with the widest moves the processor has, and the tail.
    if (length > 0) std::memcpy(destination, source, length);
}

void StartAudioThread() {
    // A thread left running at the last stop has ended since (StartPlayback checked): joined here.
    if (AudioThreadHandle.joinable()) AudioThreadHandle.join();
    while (ThreadEnded.TryWait()) {
    }
    while (Memory.AudioWake.TryWait()) {
    }
    while (Memory.HandOverSignal.TryWait()) {
    }
    Transport.StopThread.store(0, std::memory_order_release);
    HandOvers.store(0, std::memory_order_release);
    ThreadRunning.store(true, std::memory_order_release);
    AudioThreadHandle = std::thread([] {
        AudioThread();
        ThreadRunning.store(false, std::memory_order_release);
        ThreadEnded.Release();
    });
}

void EndAudioThread() {
    Transport.StopThread.store(1, std::memory_order_release);
    if (!JoinAudioThread(ThreadEndWaitMs)) AudioThreadHandle.detach();
}

bool JoinAudioThread(int ms) {
    Memory.AudioWake.Release();
    if (!AudioThreadHandle.joinable()) return true;
    if (!WaitForCondition([] { return !AudioThreadRuns(); }, ms, &ThreadEnded)) return false;
    AudioThreadHandle.join();
    return true;
}

bool WaitOutputPeriods(int64_t since, int periods, int limit_ms) {
    for (int waited = 0; waited < limit_ms; ++waited) {
        if (Memory.ProcCalls.load(std::memory_order_acquire) >= since + periods) return true;
        SleepMs(1);
    }
    return false;
}

void WaitLastDataPlayed() {
    WaitOutputPeriods(Memory.ProcCalls.load(std::memory_order_acquire), LastDataPeriods, LastDataWaitMs);
}

// Audio thread.
void RefillChunk(int64_t bytes) {
    StagedBytes = 0;
    for (;;) {
        if (Transport.StopThread.load(std::memory_order_acquire)) {
            if (Transport.StreamHandle.load(std::memory_order_acquire)) ReleaseStream();
            return;
        }
        const uint32_t stream = Transport.StreamHandle.load(std::memory_order_acquire);
        int32_t got = -1;
        if (stream) {
            got = EngineFn.Tavo_ChannelGetData(stream, Memory.StagingBuffer + StagedBytes,
                                               static_cast<uint32_t>(bytes - StagedBytes));
            if (got >= 0) StagedBytes += got;
        }
        if (!stream || got < 0) {
            // The lists are used up, the next track did not open, or the decoder failed: what is
            // staged plays, then playback ends.
            if (stream) ReleaseStream();
            Transport.PlayState.store(2, std::memory_order_release);
            return;
        }
        if (StagedBytes >= bytes) return;
        // The stream ended inside the chunk: the next track goes on in the same chunk.
        ReleaseStream();
        OpenNextTrack();
    }
}

// Audio thread: started per playback by StartPlayback, at below-normal priority.
void AudioThread() {
    InAudioThread = true;
    SetCurrentThreadBelowNormal();
    Memory.OutputDry.store(0, std::memory_order_release);
    int fills = 0;      // chunks handed over, counted up to 2
    int64_t last = 0;   // the buffer AsioProc must leave before the next refill
    int64_t handed = 0; // bytes handed over in this run, counted up to a chunk
    int64_t part = 0;   // the size of the last refill
    while (!Transport.StopThread.load(std::memory_order_acquire)) {
        const int64_t state = Transport.PlayState.load(std::memory_order_acquire);
        if (state >= 2) {
            Drain();
            return;
        }
        const bool due = (fills < 2 || Memory.ActiveBuffer.load(std::memory_order_acquire) != last) &&
                         Transport.RunningFrequency.load(std::memory_order_acquire) > 0 && state == 1 &&
                         Transport.StreamHandle.load(std::memory_order_acquire) != 0;
        if (!due) {
            WaitForWork();
            continue;
        }
        if (Memory.BufferSwitched.load(std::memory_order_acquire)) {
            WaitSwitchSettled();
            Memory.BufferSwitched.store(0, std::memory_order_release);
        }
        if (fills != 0)
            Memory.FillTarget.store(Memory.FillTarget.load(std::memory_order_relaxed) == 1 ? 2 : 1,
                                    std::memory_order_release);
        if (fills < 2) ++fills;
        part = NextRefillBytes(handed, part);
        RefillChunk(part);
        handed = std::min(handed + part, Memory.ChunkSize);
        if (Transport.StopThread.load(std::memory_order_acquire)) return;
        const bool to_a = Memory.FillTarget.load(std::memory_order_relaxed) == 1;
        HandOver(BufferOf(to_a ? ActiveA : ActiveB));
        last = to_a ? ActiveB : ActiveA;
    }
}

// Output thread, once per period while the output runs.
uint32_t AsioProc(int /*input*/, uint32_t /*channel*/, void *buffer, uint32_t length, void * /*user*/) {
    const int64_t want = static_cast<int32_t>(length); // a signed 32-bit byte count
    auto *out = static_cast<uint8_t *>(buffer);
    int64_t result = 0;
    if (want > 0) {
        const int64_t active =
            Memory.ActiveBuffer.load(std::memory_order_relaxed) == ActiveA ? ActiveA : ActiveB;
        const int64_t other_id = active == ActiveA ? ActiveB : ActiveA;
        const PlayBuffer current = BufferOf(active);
        const PlayBuffer other = BufferOf(other_id);
        const int64_t read = current.Read.load(std::memory_order_relaxed);
        const int64_t fill = current.Fill.load(std::memory_order_acquire);
        if (fill - read > want) {
            // The common path: the active buffer holds more than asked.
            CopyWords(current.Bytes + read, out, static_cast<size_t>(want));
            current.Read.store(read + want, std::memory_order_release);
            result = want;
        } else if (fill > 0 && fill >= read) {
            // The rest of the active buffer (possibly nothing: used up at the last call), then the
            // start of the other buffer if it is ready.
            const int64_t rest = fill - read;
            CopyWords(current.Bytes + read, out, static_cast<size_t>(rest));
            current.Read.store(fill, std::memory_order_release);
            result = rest;
            const int64_t ready = ReadyBytes(other);
            if (ready > 0) {
                // A short last chunk may hold less than the rest of the call.
                const int64_t take = std::min(want - rest, ready);
                CopyWords(other.Bytes, out + rest, static_cast<size_t>(take));
                other.Read.store(take, std::memory_order_release);
                Memory.ActiveBuffer.store(other_id, std::memory_order_release);
                // The count this call leaves behind: the audio thread waits for it before it
                // refills the buffer left.
                Memory.SwitchCall.store(Memory.ProcCalls.load(std::memory_order_relaxed) + 1,
                                        std::memory_order_relaxed);
                Memory.BufferSwitched.store(1, std::memory_order_release);
                Memory.AudioWake.Release();
                result += take;
            }
            // A call served whole from the active buffer misses nothing; the next call looks at the
            // other buffer again.
            if (result < want) Memory.OutputDry.store(1, std::memory_order_release);
            // The audio thread waits for the last data to be read.
            if (ready == 0) Memory.AudioWake.Release();
        } else {
            Memory.OutputDry.store(1, std::memory_order_release);
            Memory.AudioWake.Release();
        }
        if (Memory.OutputDry.load(std::memory_order_relaxed) == 0) CountPlayedBytes(result);
    }
    Memory.ProcCalls.fetch_add(1, std::memory_order_release);
    Transport.TickSemaphore.Release();
    return static_cast<uint32_t>(result);
}
