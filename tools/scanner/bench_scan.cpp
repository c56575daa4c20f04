// bench_scan [ROUNDS]: the library scan against find(1) over the same tree, in the same run.
//
// Builds a tree of about 20,000 folders and 100,000 files in a temporary folder (a music drive:
// artists, albums of DSF tracks with a cover and an Art folder, a few boxed sets on CD folders, and
// chains of folders deeper than the scan looks), then runs `scan_library ROOT LISTFOLDER` and
// `find ROOT -maxdepth 6` alternately, each as its own process with its output thrown away, after one
// untimed run of each to warm the caches. Prints the median times and the ratio scan / find; the
// target is 1.5 at most. The tree is removed at the end.

#include "fixtures.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

extern char **environ;

namespace {

int Folders = 0, Files = 0;

void Folder(const std::string &path) {
    if (mkdir(path.c_str(), 0755) != 0) {
        std::perror(path.c_str());
        std::exit(1);
    }
    ++Folders;
}

void File(const std::string &path) {
    int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0) {
        std::perror(path.c_str());
        std::exit(1);
    }
    close(fd);
    ++Files;
}

std::string Number(int n, int width) {
    std::string s = std::to_string(n);
    return std::string(width > int(s.size()) ? width - s.size() : 0, '0') + s;
}

// Music/<artist>/<album>/ with 8 tracks, a cover, a booklet and Art/front.jpg; every tenth artist
// has a boxed set Box/CD1..CD4; Other/ holds folder chains seven deep with a track at the bottom.
void BuildTree(const std::string &root) {
    Folder(root + "Music");
    for (int a = 0; a < 1000; ++a) {
        std::string artist = root + "Music/Artist " + Number(a, 4);
        Folder(artist);
        for (int b = 0; b < 8; ++b) {
            std::string album = artist + "/Album " + Number(b, 2) + " (Remastered)";
            Folder(album);
            for (int t = 1; t <= 8; ++t)
                File(album + "/" + Number(t, 2) + " Track title number " + Number(t, 2) + ".dsf");
            File(album + "/cover.jpg");
            File(album + "/booklet.pdf");
            Folder(album + "/Art");
            File(album + "/Art/front.jpg");
        }
        if (a % 10 == 0) {
            Folder(artist + "/Box");
            for (int cd = 1; cd <= 4; ++cd) {
                std::string disc = artist + "/Box/CD" + std::to_string(cd);
                Folder(disc);
                for (int t = 1; t <= 10; ++t) File(disc + "/" + Number(t, 2) + ".dff");
            }
        }
    }
    Folder(root + "Other");
    for (int c = 0; Folders < 20000; ++c) {
        std::string path = root + "Other/chain" + Number(c, 4);
        for (int d = 0; d < 7 && Folders < 20000; ++d) {
            Folder(path);
            File(path + "/notes.txt");
            path += "/level" + std::to_string(d);
        }
    }
    for (int i = 0; Files < 100000; ++i) File(root + "Other/misc" + Number(i, 5) + ".txt");
}

// Runs the command with its output to /dev/null; the wall time in milliseconds.
double Time(const std::vector<std::string> &command) {
    std::vector<char *> argv;
    for (const std::string &s : command) argv.push_back(const_cast<char *>(s.c_str()));
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    auto start = std::chrono::steady_clock::now();
    pid_t pid;
    if (posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), environ) != 0) {
        std::perror(argv[0]);
        std::exit(1);
    }
    int status = 0;
    waitpid(pid, &status, 0);
    auto end = std::chrono::steady_clock::now();
    posix_spawn_file_actions_destroy(&actions);
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        std::fprintf(stderr, "%s failed\n", argv[0]);
        std::exit(1);
    }
    return std::chrono::duration<double, std::milli>(end - start).count();
}

double Median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

} // namespace

int main(int argc, char **argv) {
    int rounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 7;
    const TempFolder base;
    const std::string root = base.path + "drive/", lists = base.path + "lpli/";
    Folder(root);
    Folder(lists);
    Folders = Files = 0;
    auto made = std::chrono::steady_clock::now();
    BuildTree(root);
    std::printf("tree: %d folders, %d files (built in %.1f s)\n", Folders, Files,
                std::chrono::duration<double>(std::chrono::steady_clock::now() - made).count());

    const std::vector<std::string> scan = {SCAN_LIBRARY_PATH, root, lists};
    const std::vector<std::string> find = {"find", root, "-maxdepth", "6"};
    Time(scan);
    Time(find);
    std::vector<double> scans, finds;
    for (int r = 0; r < rounds; ++r) {
        scans.push_back(Time(scan));
        finds.push_back(Time(find));
    }
    double s = Median(scans), f = Median(finds);
    std::printf("scan_library: %.1f ms (median of %d)\n", s, rounds);
    std::printf("find -maxdepth 6: %.1f ms (median of %d)\n", f, rounds);
    std::printf("ratio scan / find: %.2f (target: at most 1.50)\n", s / f);
    return 0;
}
