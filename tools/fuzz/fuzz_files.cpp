// The fuzz targets' private folder and their checks.

#include "fuzz_files.h"

#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <unistd.h>

const std::string &FuzzFolder() {
    static const std::string folder = [] {
        std::error_code ec;
        std::string base = std::filesystem::is_directory("/dev/shm", ec)
                               ? std::string("/dev/shm")
                               : std::filesystem::temp_directory_path().string();
        std::string path = base + "/gs-fuzz-XXXXXX";
        FuzzCheck(mkdtemp(path.data()) != nullptr, "cannot make the fuzz folder");
        static std::string made = path;
        atexit([] {
            std::error_code ignored;
            std::filesystem::remove_all(made, ignored);
        });
        return path + "/";
    }();
    return folder;
}

void FuzzWriteFile(const std::string &path, const uint8_t *data, size_t size) {
    int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    FuzzCheck(fd >= 0, "cannot create the input file");
    size_t done = 0;
    while (done < size) {
        ssize_t n = write(fd, data + done, size - done);
        FuzzCheck(n > 0, "cannot write the input file");
        done += size_t(n);
    }
    close(fd);
}

void FuzzCheck(bool ok, const char *what) {
    if (ok) return;
    fprintf(stderr, "fuzz check failed: %s\n", what);
    abort();
}
