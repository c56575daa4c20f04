// Reading a DSF and a DFF through tavd.so, each against a plain read + memcpy of the same file
// measured in the same run: a 100 MB stereo DSF (oldest bit least significant, so every byte is
// bit-reversed as well as interleaved) and a DFF of the same payload, pulled with Tavo_ChannelGetData
// in requests of 81,607,680 bytes as the program pulls them. The page cache is warm for both.
//
// Counters: ratio = baseline time / reader time (the target is 0.8 or more: reading takes at most
// 1.25 times the plain read + copy), and both speeds in GB/s.
//
// WavPack: a .wv made by `wavpack` from a DFF of 20 s of two tones through a sigma-delta modulator
// (random bytes would not do: `wavpack` stores them almost as they are, and they decode several times
// faster than music), decoded through tavd.so against reading that DFF through tavd.so. Counters:
// ratio = DFF time / WavPack time, and realtime_dsd512 = how many times faster than a DSD512 stereo
// track plays the decoding goes (the target is 3 or more: DSD512 is the highest rate, and the program
// decodes a chunk of minutes ahead while the one before it plays).

#include "dsd_testfiles.h"
#include "fixtures.h"
#include "tavd.h"
#include "tavo.h"

#include <benchmark/benchmark.h>

#include <chrono>
#include <cmath>
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
    std::string dsf, dff, wv_source, wv;     // wv empty when `wavpack` is not installed
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

void BM_ReadWavPackVsDff(benchmark::State &state) {
    if (Files->wv.empty()) {
        state.SkipWithError("wavpack is not installed");
        return;
    }
    double wv = 0, dff = 0;
    uint64_t bytes = 0;
    for (auto _ : state) {
        auto t0 = std::chrono::steady_clock::now();
        const uint64_t got = ReadStream(Files->wv);
        auto t1 = std::chrono::steady_clock::now();
        const uint64_t want = ReadStream(Files->wv_source);
        auto t2 = std::chrono::steady_clock::now();
        if (got == 0 || got != want) {
            state.SkipWithError("the WavPack file delivers other than its DFF");
            return;
        }
        wv += Seconds(t0, t1);
        dff += Seconds(t1, t2);
        bytes += got;
        state.SetIterationTime(Seconds(t0, t1));
    }
    constexpr double Dsd512StereoBytesPerSecond = 2 * 22'579'200 / 8.0;
    state.SetBytesProcessed(static_cast<int64_t>(bytes));
    state.counters["ratio"] = dff / wv;
    state.counters["realtime_dsd512"] = bytes / wv / Dsd512StereoBytesPerSecond;
}
BENCHMARK(BM_ReadWavPackVsDff)->UseManualTime()->Unit(benchmark::kMillisecond)->MinTime(2.0);

// 20 s of DSD64 stereo: 1 kHz and 3 kHz left, 440 Hz and 3 kHz right, through a second-order
// sigma-delta modulator, in a DFF (without the ABSS chunk, which `wavpack` 5.6 misreads).
bool WriteTonesDff(const std::string &path) {
    constexpr uint32_t Rate = 2'822'400;
    constexpr uint64_t Bytes = Rate / 8 * 20; // per channel
    std::string out;
    auto be = [&](uint64_t v, int n) {
        for (int i = n - 1; i >= 0; --i) out += char(v >> (8 * i) & 0xFF);
    };
    const uint64_t prop = 4 + (12 + 4) + (12 + 10) + (12 + 20);
    out += "FRM8";
    be(4 + (12 + 4) + (12 + prop) + 12 + 2 * Bytes, 8);
    out += "DSD FVER";
    be(4, 8);
    be(0x01050000, 4);
    out += "PROP";
    be(prop, 8);
    out += "SND FS  ";
    be(4, 8);
    be(Rate, 4);
    out += "CHNL";
    be(10, 8);
    be(2, 2);
    out += "SLFTSRGTCMPR";
    be(20, 8);
    out += "DSD \x0Fnot compressed.DSD ";
    be(2 * Bytes, 8);
    const double tone[2][2] = {{1000, 3000}, {440, 3000}};
    double i1[2] = {}, i2[2] = {};
    int y[2] = {1, 1};
    for (uint64_t k = 0; k < Bytes; ++k) {
        for (int c = 0; c < 2; ++c) {
            uint8_t byte = 0;
            for (int b = 0; b < 8; ++b) {
                const double t = double(8 * k + uint64_t(b)) / Rate;
                const double x =
                    0.3 * std::sin(2 * M_PI * tone[c][0] * t) + 0.2 * std::sin(2 * M_PI * tone[c][1] * t);
                i1[c] += x - y[c];
                i2[c] += i1[c] - y[c];
                y[c] = i2[c] >= 0 ? 1 : -1;
                byte = uint8_t(byte << 1 | (y[c] > 0));
            }
            out += char(byte);
        }
    }
    FILE *f = fopen(path.c_str(), "wb");
    return f && fwrite(out.data(), 1, out.size(), f) == out.size() && fclose(f) == 0;
}

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
    f->wv_source = f->dir.path + "tones.dff";
    if (!WriteTonesDff(f->wv_source)) return false;
    const std::string wv = f->dir.path + "tones.wv";
    if (std::system(("wavpack -q -y '" + f->wv_source + "' -o '" + wv + "' 2>/dev/null").c_str()) == 0)
        f->wv = wv;
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
