// The fuzz targets' private folder and their checks.

#include "fuzz_files.h"

#include "fixtures.h"

#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <unistd.h>

const std::string &FuzzFolder() {
    std::error_code ec;
    static const TempFolder folder(std::filesystem::is_directory("/dev/shm", ec) ? "/dev/shm" : "");
    return folder.path;
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
