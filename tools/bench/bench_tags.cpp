// Loading an album of 12 DSF tracks into the lists as the program does it (the probe of each file
// through the engine, its cover lookup, the append), with and without ID3v2 tags holding covers of
// 1 to 3 MB; and the reading of one track's tags, which the program does when the track begins to be
// heard, never while it loads. The page cache is warm for every case.
//
// Counters: ratio = the untagged album's load time / this case's time, measured in the same run. The
// tagged load must stay within 10 % of the untagged one (ratio 0.91 or more).

#include "audio/audio.h"
#include "fixtures.h"
#include "library/library.h"
#include "library/settings.h"
#include "tagged.h"
#include "tavo.h"

#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>
#include <vector>

namespace {

constexpr int Tracks = 12;

struct Album {
    TempFolder dir;
    std::vector<std::string> plain, tagged;
    double plainSeconds = 0; // the untagged load, measured first
};
Album *Files = nullptr;

void MakeAlbum() {
    Files = new Album;
    std::mt19937 random(7);
    for (int i = 0; i < Tracks; ++i) {
        TestDsdShape shape;
        shape.samples = 2'822'400; // one second of DSD64
        shape.seed = uint32_t(i + 1);
        const std::vector<uint8_t> sound = TestDsd_Bytes(shape);
        const std::string name = (i < 9 ? "0" : "") + std::to_string(i + 1) + " Track.dsf";
        Files->plain.push_back(Files->dir.File("plain/" + name, std::string(sound.begin(), sound.end())));
        // A JPEG's first bytes, then noise: 1 to 3 MB, as stores' covers are.
        std::string cover = "\xFF\xD8\xFF\xE0";
        cover.resize(size_t(1 + i % 3) << 20);
        for (size_t k = 4; k < cover.size(); ++k) cover[k] = char(random());
        const TestTagFields fields = {"Track " + std::to_string(i + 1),
                                      "Artist",
                                      "Album",
                                      std::to_string(i + 1),
                                      {{3, "image/jpeg", cover}}};
        Files->tagged.push_back(Files->dir.File("tagged/" + name, DsfWithTag(shape, Id3v2Tag(4, fields))));
    }
}

// What the program does with an album's paths, a side of six tracks into each list: probe, append,
// and the run's rate from the first.
void Load(const std::vector<std::string> &paths) {
    ClearList(1);
    ClearList(2);
    ResetRunRate();
    for (size_t i = 0; i < paths.size(); ++i)
        if (const ProbedTrack probe = ProbeTrack(paths[i], "dsf")) {
            AppendEntry(i < MaxListEntries ? 1 : 2, probe.Entry);
            AcceptRunRate(probe.Entry);
        }
    if (ListOf(1).Entries.size() + ListOf(2).Entries.size() != Tracks) std::abort();
}

template <typename Step>
void Measure(benchmark::State &state, Step step, bool baseline) {
    double total = 0;
    for (auto _ : state) {
        const auto t0 = std::chrono::steady_clock::now();
        step();
        total += std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    }
    const double each = total / double(state.iterations());
    if (baseline) Files->plainSeconds = each;
    state.counters["ms"] = each * 1000;
    state.counters["ratio"] = Files->plainSeconds / each;
}

void BM_LoadAlbumWithoutTags(benchmark::State &state) {
    Measure(
        state, [] { Load(Files->plain); }, true);
}

void BM_LoadAlbumWithTaggedCovers(benchmark::State &state) {
    Measure(
        state, [] { Load(Files->tagged); }, false);
}

// The tags of the first track as it begins to be heard: read, and its cover found in the cache.
void BM_TagsOfOneTrackWhenHeard(benchmark::State &state) {
    Load(Files->tagged);
    const int32_t first = ListOf(1).Entries[0].TrackId, second = ListOf(1).Entries[1].TrackId;
    int32_t id = first;
    Measure(
        state,
        [&] {
            id = id == first ? second : first; // another track each time: never the one remembered
            if (TagsOfTrack(id).CoverFile.empty()) std::abort();
        },
        false);
}

BENCHMARK(BM_LoadAlbumWithoutTags)->Unit(benchmark::kMillisecond)->MinTime(1.0);
BENCHMARK(BM_LoadAlbumWithTaggedCovers)->Unit(benchmark::kMillisecond)->MinTime(1.0);
BENCHMARK(BM_TagsOfOneTrackWhenHeard)->Unit(benchmark::kMillisecond)->MinTime(1.0);

} // namespace

int main(int argc, char **argv) {
    if (BindEngine(ENGINE_DIR) != BindOk) {
        std::fprintf(stderr, "bench_tags: cannot bind the engine in %s\n", ENGINE_DIR);
        return 1;
    }
    static const PlaybackDisplay Printer = {
        .ShowMessage =
            [](const std::string &title, const std::string &text, uint32_t) {
                std::fprintf(stderr, "bench_tags: %s: %s\n", title.c_str(), text.c_str());
            },
    };
    Display = &Printer;
    EngineFn.Tavo_Init(0, 44'100, 0x1000, nullptr, nullptr);
    DeviceCaps.Dsd = {1, 1, 1, 1};
    ViewCover = 2; // the cover lookup runs, as with covers shown
    MakeAlbum();
    setenv("XDG_CACHE_HOME", (Files->dir.path + "cache").c_str(), 1);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    delete Files;
    return 0;
}
