// Reading a DSF and a DFF through tavd.so, each against a plain read + memcpy of the same file
// measured in the same run: a 100 MB stereo DSF (oldest bit least significant, so every byte is
// bit-reversed as well as interleaved) and a DFF of the same payload, pulled with Tavo_ChannelGetData
// in requests of 81,607,680 bytes as the program pulls them. The page cache is warm for both.
//
// Counters: ratio = baseline time / reader time (the target is 0.8 or more: reading takes at most
// 1.25 times the plain read + copy), and both speeds in GB/s.

#include "dsd_testfiles.h"
#include "fixtures.h"
#include "tavd.h"
#include "tavo.h"

#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <memory>
#include <string>
#include <unistd.h>

namespace {

constexpr uint32_t Request = 81'607'680;
constexpr uint64_t BytesPerChannel = 50ull << 20; // 100 MiB of payload in two channels

struct Fixture {
    TempFolder dir;
    std::string dsf, dff;
    std::unique_ptr<uint8_t[]> out, staging; // the caller's buffer; the baseline's read buffer
};
Fixture *Files = nullptr;

double Seconds(std::chrono::steady_clock::time_point a, std::chrono::steady_clock::time_point b) {
    return std::chrono::duration<double>(b - a).count();
}

// The baseline: read the whole file in requests of the same size, and copy each into the buffer.
uint64_t PlainReadCopy(const std::string &path) {
    int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return 0;
    uint64_t total = 0;
    for (ssize_t n; (n = read(fd, Files->staging.get(), Request)) > 0;) {
        memcpy(Files->out.get(), Files->staging.get(), static_cast<size_t>(n));
        total += static_cast<uint64_t>(n);
    }
    close(fd);
    benchmark::DoNotOptimize(Files->out.get());
    return total;
}

uint64_t ReadStream(const std::string &path) {
    TavoHandle h = Tavd_DSD_StreamCreateFile(0, path.c_str(), 0, 0, 0x80200210, 0);
    if (!h) return 0;
    uint64_t total = 0;
    for (int32_t n; (n = Tavo_ChannelGetData(h, Files->out.get(), Request)) > 0;)
        total += static_cast<uint64_t>(n);
    Tavo_StreamFree(h);
    benchmark::DoNotOptimize(Files->out.get());
    return total;
}

void Compare(benchmark::State &state, const std::string &path) {
    double reader = 0, baseline = 0;
    uint64_t bytes = 0, plain_bytes = 0;
    bool reader_first = false;
    for (auto _ : state) {
        // Alternate the order, so that neither side always follows the other.
        reader_first = !reader_first;
        auto t0 = std::chrono::steady_clock::now();
        uint64_t got = reader_first ? ReadStream(path) : PlainReadCopy(path);
        auto t1 = std::chrono::steady_clock::now();
        uint64_t got2 = reader_first ? PlainReadCopy(path) : ReadStream(path);
        auto t2 = std::chrono::steady_clock::now();
        double first = Seconds(t0, t1), second = Seconds(t1, t2);
        double r = reader_first ? first : second;
        reader += r;
        baseline += reader_first ? second : first;
        bytes += reader_first ? got : got2;
        plain_bytes += reader_first ? got2 : got;
        state.SetIterationTime(r);
    }
    if (bytes == 0 || plain_bytes == 0) {
        state.SkipWithError("cannot read the test file");
        return;
    }
    state.SetBytesProcessed(static_cast<int64_t>(bytes));
    state.counters["ratio"] = baseline / reader;
    state.counters["reader_GBps"] = bytes / reader / 1e9;
    state.counters["baseline_GBps"] = plain_bytes / baseline / 1e9;
}

void BM_ReadDsfLsbVsPlainRead(benchmark::State &state) {
    Compare(state, Files->dsf);
}
void BM_ReadDffVsPlainRead(benchmark::State &state) {
    Compare(state, Files->dff);
}
BENCHMARK(BM_ReadDsfLsbVsPlainRead)->UseManualTime()->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(BM_ReadDffVsPlainRead)->UseManualTime()->Unit(benchmark::kMillisecond)->MinTime(2.0);

bool Setup(Fixture *f) {
    f->dsf = f->dir.path + "stereo.dsf";
    f->dff = f->dir.path + "stereo.dff";
    TestDsdShape shape;
    shape.channels = 2;
    shape.samples = 8 * BytesPerChannel;
    shape.kind = TestDsdKind::DsfLsb;
    if (!TestDsd_WriteFile(shape, f->dsf)) return false;
    shape.kind = TestDsdKind::Dff;
    if (!TestDsd_WriteFile(shape, f->dff)) return false;
    // Buffers touched once, so that no page fault is timed.
    f->out.reset(new uint8_t[Request]);
    f->staging.reset(new uint8_t[Request]);
    memset(f->out.get(), 0x69, Request);
    memset(f->staging.get(), 0x69, Request);
    // Warm the page cache with both files.
    return PlainReadCopy(f->dsf) > 0 && PlainReadCopy(f->dff) > 0;
}

} // namespace

int main(int argc, char **argv) {
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    if (Tavo_Init(0, 44100, 0, nullptr, nullptr) != 1) {
        fprintf(stderr, "bench_read: Tavo_Init failed (%d)\n", Tavo_ErrorGetCode());
        return 1;
    }
    Fixture fixture;
    Files = &fixture;
    bool ok = Setup(&fixture);
    if (ok)
        benchmark::RunSpecifiedBenchmarks();
    else
        fprintf(stderr, "bench_read: cannot write the test files in %s\n", fixture.dir.path.c_str());
    benchmark::Shutdown();
    Tavo_Free();
    return ok ? 0 : 1;
}
