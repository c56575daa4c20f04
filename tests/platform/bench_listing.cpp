// The cost of walking a music disk with ListFolder, as ratios to a bare readdir walk (what `find`
// does) and to `find` itself, measured in the same run over a tree of 20,000 album folders holding
// 100,000 files.

#include "fixtures.h"
#include "platform/files.h"

#include <benchmark/benchmark.h>

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

namespace {

std::string TreeRoot;

void MakeTree() {
    for (int a = 0; a < 20; ++a)
        for (int b = 0; b < 40; ++b)
            for (int c = 0; c < 25; ++c) {
                std::string folder = TreeRoot + "Artist " + std::to_string(a) + "/Album " +
                                     std::to_string(b) + "/CD" + std::to_string(c) + "/";
                std::filesystem::create_directories(folder);
                for (int f = 0; f < 5; ++f) {
                    int fd = open((folder + "0" + std::to_string(f) + " Track.dsf").c_str(),
                                  O_CREAT | O_WRONLY, 0644);
                    close(fd);
                }
            }
}

// What find does: getdents and the entry types, nothing more.
long ReaddirWalk(const std::string &folder) {
    long count = 0;
    DIR *dir = opendir(folder.c_str());
    if (!dir) return 0;
    std::vector<std::string> below;
    while (const dirent *e = readdir(dir)) {
        if (e->d_name[0] == '.' && (!e->d_name[1] || (e->d_name[1] == '.' && !e->d_name[2]))) continue;
        ++count;
        if (e->d_type == DT_DIR) below.push_back(folder + e->d_name + "/");
    }
    closedir(dir);
    for (const std::string &f : below) count += ReaddirWalk(f);
    return count;
}

long ListFolderWalk(const std::string &folder, ListDetail detail) {
    std::vector<DirEntry> entries;
    if (!ListDirectory(folder, "*.*", entries, detail)) return 0;
    long count = static_cast<long>(entries.size());
    for (const DirEntry &e : entries)
        if (e.Attributes == AttrDirectory) count += ListFolderWalk(folder + e.Name + "/", detail);
    return count;
}

double Seconds(auto &&work) {
    auto start = std::chrono::steady_clock::now();
    work();
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// The fastest of five, so that a busy neighbour on the machine does not set the baseline.
double Best(auto &&work) {
    double best = 1e9;
    for (int i = 0; i < 5; ++i) best = std::min(best, Seconds(work));
    return best;
}

double ReaddirSeconds() {
    static double seconds = Best([] { benchmark::DoNotOptimize(ReaddirWalk(TreeRoot)); });
    return seconds;
}

double FindSeconds() {
    static double seconds = Best([] {
        std::string command = "find '" + TreeRoot + "' > /dev/null";
        benchmark::DoNotOptimize(system(command.c_str()));
    });
    return seconds;
}

void Walk(benchmark::State &state, ListDetail detail) {
    long entries = 0;
    double best = 1e9;
    for (auto _ : state) {
        double s = Seconds([&] { entries = ListFolderWalk(TreeRoot, detail); });
        best = std::min(best, s);
        state.SetIterationTime(s);
    }
    state.counters["entries"] = static_cast<double>(entries);
    state.counters["vs_readdir"] = best / ReaddirSeconds();
    state.counters["vs_find"] = best / FindSeconds();
}

void BM_ListFolderWalk_Everything(benchmark::State &state) {
    Walk(state, ListDetail::Everything);
}
void BM_ListFolderWalk_FolderDetails(benchmark::State &state) {
    Walk(state, ListDetail::FolderDetails);
}
BENCHMARK(BM_ListFolderWalk_Everything)->UseManualTime()->Iterations(5)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ListFolderWalk_FolderDetails)->UseManualTime()->Iterations(5)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char **argv) {
    benchmark::Initialize(&argc, argv);
    const TempFolder tree;
    TreeRoot = tree.path;
    MakeTree();
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
