// The output thread: once per period it calls the program's procedure for the pair (or takes silence while
// paused), converts the bytes into the device's frames (DSD packing, or the PCM converter) and writes them.
// The device paces it; a PCM that never blocks is paced by the clock instead.
#include "output.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <ctime>
#include <new>
#include <pthread.h>
#include <sched.h>
#include <system_error>
#include <thread>

namespace tava {

namespace {

// --- fixed from OutputStart to OutputStop: written by the main thread before the output thread starts,
//     read by the output thread, released by the main thread after it has ended
Stream g_stream;
std::vector<uint8_t> g_pair;   // one period of the program's byte-interleaved pair
std::vector<uint8_t> g_frames; // the same period in the device's layout

// --- main thread only
std::thread g_thread;

// --- shared between the main thread and the output thread
std::atomic<TavaProc> g_proc{nullptr}; // main writes; output reads once per period
std::atomic<void *> g_user{nullptr};   // main writes while stopped; output reads with g_proc
std::atomic<bool> g_paused{false};     // main writes; output reads once per period
std::atomic<double> g_volume{1.0};     // main writes; output reads once per period (PCM path)
// Output writes: true from before it reads g_proc and g_paused until the procedure has returned. The main
// thread, after changing either, waits for it to be false; then the next period sees the change.
std::atomic<bool> g_inPeriod{false};
std::atomic<bool> g_run{false}; // main writes; false asks the output thread to end
std::atomic<int> g_failure{0};  // output writes the ALSA error that ended it; main reads after the join

thread_local bool t_outputThread = false;

// The output thread asks for real-time scheduling at a modest priority; where the system does not grant it
// the thread runs at normal priority, which only costs safety margin.
constexpr int kRealTimePriority = 20;

constexpr int64_t kNanosPerSecond = 1000000000;

// Monotonic time of a frame position: start + frames / rate.
timespec FrameTime(const timespec &start, uint64_t frames, uint32_t rate) {
    const int64_t ns = start.tv_nsec + static_cast<int64_t>(frames % rate) * kNanosPerSecond / rate;
    timespec t;
    t.tv_sec = start.tv_sec + static_cast<time_t>(frames / rate) + static_cast<time_t>(ns / kNanosPerSecond);
    t.tv_nsec = static_cast<long>(ns % kNanosPerSecond);
    return t;
}

double SecondsSince(const timespec &start) {
    timespec now;
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<double>(now.tv_sec - start.tv_sec) + (now.tv_nsec - start.tv_nsec) * 1e-9;
}

// True when the device has consumed frames far faster than real time since start: more than twice the frames
// the elapsed time allows, plus a buffer. Hardware never does (its clock drifts by parts per million); the
// null plugin and file captures over it consume whatever they are given at once.
bool RunsAheadOfClock(const Stream &s, const timespec &start, uint64_t written) {
    snd_pcm_sframes_t delay = 0;
    if (snd_pcm_delay(s.pcm, &delay) < 0) return false;
    const double consumed =
        static_cast<double>(written) - static_cast<double>(std::max<snd_pcm_sframes_t>(delay, 0));
    return consumed > 2.0 * SecondsSince(start) * s.frameRate + s.bufferFrames;
}

// One period of the pair in g_pair: what the procedure delivers, DSD silence behind it; all silence while
// paused or without a procedure. Returns false for such a period of silence, where no music was asked for.
bool FillPeriod(uint32_t length) {
    uint32_t delivered = 0;
    bool asked = false;
    // Sequentially consistent with the main thread's store and load (see OutputWaitForPeriod): either the
    // main thread sees this period in flight and waits, or this period sees its change.
    g_inPeriod.store(true, std::memory_order_seq_cst);
    TavaProc proc = g_proc.load(std::memory_order_seq_cst);
    if (proc && !g_paused.load(std::memory_order_seq_cst)) {
        void *user = g_user.load(std::memory_order_relaxed);
        delivered = std::min(proc(0, g_stream.procChannel, g_pair.data(), length, user), length);
        asked = true;
    }
    g_inPeriod.store(false, std::memory_order_seq_cst);
    std::memset(g_pair.data() + delivered, kDsdSilence, length - delivered);
    return asked;
}

uint32_t FrameBytes(const Stream &s) {
    return s.pcmConverter ? s.pcmFrameBytes : s.layout.channels * ContainerBytes(s.layout.packing);
}

// The procedure's bytes per period: whole device frames of DSD, or whole converter steps of PCM.
uint32_t PeriodLength(const Stream &s) {
    return s.pcmConverter ? s.pcmSteps * PcmPairBytesPerStep(s.pcmConverter)
                          : s.periodFrames * PairBytesPerFrame(s.layout.packing);
}

// Writes frames of g_frames. An error is recovered once (underrun, suspend); an error that cannot be
// recovered, or one right after a recovery with nothing written in between, is returned.
int WriteFrames(const Stream &s, uint32_t frames) {
    const uint32_t frameBytes = FrameBytes(s);
    const uint8_t *p = g_frames.data();
    snd_pcm_uframes_t left = frames;
    bool recovered = false;
    while (left > 0) {
        const snd_pcm_sframes_t n = snd_pcm_writei(s.pcm, p, left);
        if (n > 0) {
            p += static_cast<size_t>(n) * frameBytes;
            left -= static_cast<snd_pcm_uframes_t>(n);
            recovered = false;
            continue;
        }
        if (n == 0 || n == -EAGAIN) {
            snd_pcm_wait(s.pcm, 100);
            continue;
        }
        if (recovered || snd_pcm_recover(s.pcm, static_cast<int>(n), 1) < 0) return static_cast<int>(n);
        recovered = true;
    }
    return 0;
}

void OutputThread() {
    t_outputThread = true;
    sched_param sp{};
    sp.sched_priority =
        std::clamp(kRealTimePriority, sched_get_priority_min(SCHED_FIFO), sched_get_priority_max(SCHED_FIFO));
    pthread_setschedparam(pthread_self(), SCHED_FIFO, &sp);

    const Stream &s = g_stream;
    const uint32_t length = PeriodLength(s);
    uint8_t marker = kDopMarkerA;
    bool clockPaced = s.neverBlocks;
    uint64_t written = 0; // frames written since start
    timespec start;
    clock_gettime(CLOCK_MONOTONIC, &start);

    while (g_run.load(std::memory_order_acquire)) {
        // Clock pacing keeps the frames written within one buffer of the frames the elapsed time allows, as a
        // device's buffer would: the procedure is called when the period is due, not earlier.
        if (clockPaced && written + s.periodFrames > s.bufferFrames) {
            const timespec due = FrameTime(start, written + s.periodFrames - s.bufferFrames, s.frameRate);
            while (clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &due, nullptr) == EINTR) {
            }
        }
        const bool music = FillPeriod(length);
        uint32_t frames = s.periodFrames;
        if (s.pcmConverter)
            frames = PcmConvert(s.pcmConverter, g_pair.data(), length, !music,
                                g_volume.load(std::memory_order_relaxed), g_frames.data());
        else
            ConvertPair(s.layout, g_pair.data(), g_frames.data(), s.periodFrames, marker);
        if (int err = WriteFrames(s, frames); err < 0) {
            g_failure.store(err, std::memory_order_relaxed);
            return; // IsStarted still reports a started output until the program stops it
        }
        written += frames;
        if (!clockPaced && written > s.bufferFrames) clockPaced = RunsAheadOfClock(s, start, written);
    }
    // PCM: a last period fades out what the converter holds back, and the device plays what it has, so a stop
    // ends without a click. (DSD stops at once: its silence pattern needs no fade.)
    if (s.pcmConverter) {
        std::memset(g_pair.data(), kDsdSilence, length);
        const uint32_t frames = PcmConvert(s.pcmConverter, g_pair.data(), length, true, 0.0, g_frames.data());
        if (WriteFrames(s, frames) == 0) snd_pcm_drain(s.pcm);
    }
}

// Main thread, after changing g_proc or g_paused: waits until no period that may have read the old value is
// still in the procedure.
void OutputWaitForPeriod() {
    if (t_outputThread) return; // called from the procedure itself: the change applies from the next period
    while (g_inPeriod.load(std::memory_order_seq_cst))
        std::this_thread::sleep_for(std::chrono::microseconds(200));
}

} // namespace

void OutputSetProc(TavaProc proc, void *user) {
    g_user.store(user, std::memory_order_relaxed);
    g_proc.store(proc, std::memory_order_seq_cst);
}

void OutputClearProc() {
    g_proc.store(nullptr, std::memory_order_seq_cst);
    OutputWaitForPeriod();
}

void OutputSetPaused(bool paused) {
    g_paused.store(paused, std::memory_order_seq_cst);
    OutputWaitForPeriod();
}

void OutputSetVolume(double gain) {
    g_volume.store(gain, std::memory_order_relaxed);
}

bool OutputStart(const Stream &stream, std::string &why) {
    try {
        g_stream = stream;
        const size_t frames = stream.pcmConverter ? PcmMaxFrames(stream.pcmConverter) : stream.periodFrames;
        g_pair.assign(PeriodLength(stream), kDsdSilence);
        g_frames.assign(frames * FrameBytes(stream), 0);
        g_failure.store(0, std::memory_order_relaxed);
        g_run.store(true, std::memory_order_release);
        g_thread = std::thread(OutputThread);
    } catch (const std::bad_alloc &) {
        why = "no memory for the output buffers";
    } catch (const std::system_error &e) {
        why = std::string("cannot start the output thread: ") + e.what();
    }
    if (g_thread.joinable()) return true;
    g_run.store(false, std::memory_order_relaxed);
    g_pair = {};
    g_frames = {};
    return false;
}

int OutputStop() {
    g_run.store(false, std::memory_order_release);
    if (g_thread.joinable()) g_thread.join();
    g_pair = {};
    g_frames = {};
    return g_failure.load(std::memory_order_relaxed);
}

bool OnOutputThread() {
    return t_outputThread;
}

} // namespace tava
