// Playback benchmarks, each against a baseline measured in the same run:
//   --callback  AsioProc on its common path against memcpy of the same length (target: within 1.2x)
//   --latency   the time from StartPlayback to the first callback that delivers data
//   --cpu       CPU time of play_files over 60 s of DSD64 and of DSD512 against the time played
//               (target: under 2% of one core), and whether the disk stays idle between chunks
// With no option, all three. The last two play through ALSA into a file PCM over null (/dev/null)
// that the benchmark's own ALSA configuration defines, paced in real time by the output host.

#include "audio/audio.h"
#include "audio/internal.h"
#include "capture.h"
#include "dsd_testfiles.h"
#include "fixtures.h"
#include "library/library.h"
#include "library/settings.h"
#include "platform/files.h"
#include "platform/gui.h"

#include <benchmark/benchmark.h>

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

// A 64 MB stretch of buffer A, read from start to end and again, for both the callback and memcpy.
constexpr int64_t Region = 64 << 20;

void PrepareBufferA() {
    for (int64_t i = 0; i < Region; i += 4096)
        std::memset(Memory.BufferA + i, static_cast<int>(i >> 12), 4096);
    Memory.ActiveBuffer.store(ActiveA);
    Memory.FillA.store(Region);
    Memory.ReadA.store(0);
    Memory.FillB.store(0);
    Memory.ReadB.store(0);
    Memory.OutputDry.store(0);
    EmptyTrackQueue();
    TrackRecord endless;
    endless.End = int64_t{1} << 50;
    SetNowPlaying(endless);
}

void BM_AsioProc(benchmark::State &state) {
    const auto length = static_cast<uint32_t>(state.range(0));
    std::vector<uint8_t> out(length);
    PrepareBufferA();
    for (auto _ : state) {
        if (Memory.ReadA.load(std::memory_order_relaxed) + 2 * length > Region) Memory.ReadA.store(0);
        benchmark::DoNotOptimize(AsioProc(0, 0, out.data(), length, nullptr));
        benchmark::ClobberMemory();
    }
    while (Transport.TickSemaphore.TryWait()) {
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * length);
}

void BM_Memcpy(benchmark::State &state) {
    const auto length = static_cast<size_t>(state.range(0));
    std::vector<uint8_t> out(length);
    PrepareBufferA();
    int64_t at = 0;
    for (auto _ : state) {
        if (at + 2 * static_cast<int64_t>(length) > Region) at = 0;
        std::memcpy(out.data(), Memory.BufferA + at, length);
        at += static_cast<int64_t>(length);
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(length));
}

// 20 ms periods of DSD64 and DSD512 as the output host asks for them.
BENCHMARK(BM_AsioProc)->Arg(14'112)->Arg(112'896);
BENCHMARK(BM_Memcpy)->Arg(14'112)->Arg(112'896);

// Keeps each run's time per iteration for the ratios.
class RatioReporter : public benchmark::ConsoleReporter {
  public:
    void ReportRuns(const std::vector<Run> &runs) override {
        for (const Run &r : runs) times[r.benchmark_name()] = r.GetAdjustedRealTime();
        ConsoleReporter::ReportRuns(runs);
    }
    std::map<std::string, double> times;
};

void RunCallbackBenchmarks(int argc, char **argv) {
    benchmark::Initialize(&argc, argv);
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    for (const char *arg : {"14112", "112896"}) {
        const double callback = reporter.times[std::string("BM_AsioProc/") + arg];
        const double copy = reporter.times[std::string("BM_Memcpy/") + arg];
        if (copy > 0)
            std::printf("AsioProc / memcpy at %s bytes: %.3f (target: at most 1.2)\n", arg, callback / copy);
    }
}

// --- playing through ALSA

std::string g_folder;

std::string WriteTrack(uint32_t rate, double seconds, const std::string &name) {
    TestDsdShape shape;
    shape.kind = TestDsdKind::DsfLsb;
    shape.rate = rate;
    shape.samples = static_cast<uint64_t>(seconds * rate) / 8 * 8;
    shape.seed = rate;
    const std::string path = g_folder + name;
    return TestDsd_WriteFile(shape, path) ? path : "";
}

void RunLatency() {
    if (BindEngine(ENGINE_DIR) != BindOk || !ReservePlaybackMemory()) {
        std::printf("latency: cannot bind the engine in %s\n", ENGINE_DIR);
        return;
    }
    static const PlaybackDisplay Printer = {
        .ShowMessage = [](const std::string &title, const std::string &text,
                          uint32_t) { std::printf("latency: %s: %s\n", title.c_str(), text.c_str()); },
    };
    Display = &Printer;
    TavaDeviceInfo info;
    int device = -1;
    for (uint32_t n = 0; EngineFn.Tava_ASIO_GetDeviceInfo(n, &info); ++n)
        if (std::strcmp(info.driver, "dsdcapture") == 0) device = static_cast<int>(n);
    if (device < 0 || !EngineFn.Tava_ASIO_Init(device, 1) || !EngineFn.Tava_ASIO_SetDSD(1)) {
        std::printf("latency: the bench device does not open\n");
        return;
    }
    DeviceCaps.Dsd = {1, 1, 1, 1};
    ViewCover = 0;
    for (uint32_t rate : {2'822'400u, 22'579'200u}) {
        const std::string path = WriteTrack(rate, 20, "latency-" + std::to_string(rate) + ".dsf");
        double best = 1e9, worst = 0, start_call = 0;
        for (int run = 0; run < 3; ++run) {
            ClearList(1);
            Transport.SessionDsdRate = Transport.OutputFrequency = 0;
            EngineFn.Tavo_Free();
            EngineFn.Tavo_Init(0, 44'100, 0x1000, nullptr, nullptr);
            const ProbedTrack probe = ProbeTrack(path, "dsf");
            if (!probe) return;
            AppendEntry(1, probe.Entry);
            AcceptRunRate(probe.Entry);
            const auto t0 = Clock::now();
            if (!StartPlayback({1, 0}, false)) return;
            const auto t1 = Clock::now();
            while (NowPlayingPlayed() == 0) std::this_thread::sleep_for(std::chrono::microseconds(200));
            const double total = std::chrono::duration<double>(Clock::now() - t0).count();
            start_call = std::chrono::duration<double>(t1 - t0).count();
            best = std::min(best, total);
            worst = std::max(worst, total);
            TransportStop();
        }
        std::printf("StartPlayback to the first callback with data, %.1f MHz (first chunk: %.1f MB): "
                    "%.0f to %.0f ms (StartPlayback itself %.0f ms)\n",
                    rate / 1e6, std::min<double>(ProgramChunkSize, rate / 8.0 * 2 * 20) / 1e6, best * 1000,
                    worst * 1000, start_call * 1000);
    }
    EngineFn.Tava_ASIO_Free();
    EngineFn.Tavo_Free();
}

// Reads "name: value" of /proc/PID/io.
int64_t ProcIo(pid_t pid, const char *name) {
    std::ifstream in("/proc/" + std::to_string(pid) + "/io");
    std::string key;
    int64_t value = 0;
    while (in >> key >> value)
        if (key == std::string(name) + ":") return value;
    return -1;
}

void RunCpu() {
    for (uint32_t rate : {2'822'400u, 22'579'200u}) {
        const double seconds = 60;
        const std::string path = WriteTrack(rate, seconds, "cpu-" + std::to_string(rate) + ".dsf");
        if (path.empty()) return;
        const auto t0 = Clock::now();
        const pid_t pid = fork();
        if (pid == 0) {
            execl(PLAY_FILES, PLAY_FILES, "dsdcapture", path.c_str(), static_cast<char *>(nullptr));
            _exit(127);
        }
        // Samples the harness's read calls every 50 ms: the stretches with reads are the refills.
        int64_t last_calls = 0, last_bytes = 0;
        int bursts = 0, busy_samples = 0, samples = 0;
        bool in_burst = false;
        int status = 0;
        rusage usage{};
        while (wait4(pid, &status, WNOHANG, &usage) == 0) {
            const int64_t calls = ProcIo(pid, "syscr"), bytes = ProcIo(pid, "rchar");
            if (calls >= 0) {
                // Reads of more than a megabyte in 50 ms are the decoder's, not the odd small read.
                const bool reading = bytes - last_bytes > (1 << 20);
                if (reading && !in_burst) ++bursts;
                in_burst = reading;
                busy_samples += reading;
                ++samples;
                last_calls = calls;
                last_bytes = bytes;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
        const double wall = std::chrono::duration<double>(Clock::now() - t0).count();
        const double cpu = static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
                           (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) * 1e-6;
        const double chunks =
            static_cast<double>(rate) / 4.0 * seconds / static_cast<double>(ProgramChunkSize);
        std::printf("play_files, %.0f s of %.1f MHz: exit %d, %.1f s wall, %.2f s CPU = %.2f%% of one core "
                    "over the wall time (target: under 2%%); reading in %d stretches (%.1f chunks of data), "
                    "%.1f s of %.1f s with reads, %lld read calls\n",
                    seconds, rate / 1e6, WIFEXITED(status) ? WEXITSTATUS(status) : -1, wall, cpu,
                    100.0 * cpu / wall, bursts, chunks, busy_samples * 0.05, samples * 0.05,
                    static_cast<long long>(last_calls));
        fs::remove(path);
    }
}

} // namespace

int main(int argc, char **argv) {
    bool callback = false, latency = false, cpu = false;
    std::vector<char *> rest = {argv[0]};
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--callback") == 0)
            callback = true;
        else if (std::strcmp(argv[i], "--latency") == 0)
            latency = true;
        else if (std::strcmp(argv[i], "--cpu") == 0)
            cpu = true;
        else
            rest.push_back(argv[i]);
    }
    if (!callback && !latency && !cpu) callback = latency = cpu = true;
    if (!ReservePlaybackMemory()) return 1;
    if (callback) RunCallbackBenchmarks(static_cast<int>(rest.size()), rest.data());
    const TempFolder folder;
    g_folder = folder.path;
    // The bench device: the tests' capture device, writing into /dev/null.
    if (latency || cpu) UseCaptureConfig(g_folder, "/dev/null");
    if (latency) RunLatency();
    if (cpu) RunCpu();
    return 0;
}
