// Sources of a DSD stream: a part of a file read with pread, or a block of memory.

#include "dsd.h"
#include "tavo.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

int DsdSource_OpenFile(DsdSource *src, const char *path, uint64_t offset, uint64_t length) {
    *src = DsdSource{};
    // Without blocking: opening a pipe would wait for a writer. A directory opens too, and a pipe has
    // no size: only regular files are read (on them the flag changes nothing).
    int fd = open(path, O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) return TAVO_ERROR_FILEOPEN;
    struct stat st;
    if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        close(fd);
        return TAVO_ERROR_FILEOPEN;
    }
    uint64_t file_size = static_cast<uint64_t>(st.st_size);
    // An offset past the end leaves an empty source, which no header check passes.
    uint64_t rest = offset < file_size ? file_size - offset : 0;
    src->fd = fd;
    src->base = offset < file_size ? offset : file_size;
    src->size = (length == 0 || length > rest) ? rest : length;
    // Streams are read front to back in large pieces.
    posix_fadvise(fd, static_cast<off_t>(src->base), static_cast<off_t>(src->size), POSIX_FADV_SEQUENTIAL);
    return TAVO_OK;
}

void DsdSource_OpenMemory(DsdSource *src, const void *mem, uint64_t length) {
    *src = DsdSource{};
    src->mem = static_cast<const uint8_t *>(mem);
    src->size = length;
}

void DsdSource_Close(DsdSource *src) {
    if (src->fd >= 0) close(src->fd);
    *src = DsdSource{};
}

int64_t DsdSource_Read(const DsdSource *src, uint64_t off, void *buf, size_t n) {
    if (off >= src->size) return 0;
    if (n > src->size - off) n = static_cast<size_t>(src->size - off);
    if (src->mem) {
        memcpy(buf, src->mem + off, n);
        return static_cast<int64_t>(n);
    }
    auto *out = static_cast<uint8_t *>(buf);
    size_t done = 0;
    while (done < n) {
        ssize_t got = pread(src->fd, out + done, n - done, static_cast<off_t>(src->base + off + done));
        if (got < 0) {
            if (errno == EINTR) continue;
            return -1;
        }
        if (got == 0) break; // the file is shorter than it was when opened
        done += static_cast<size_t>(got);
    }
    return static_cast<int64_t>(done);
}

const uint8_t *DsdSource_Get(const DsdSource *src, uint64_t off, void *buf, size_t n) {
    if (src->mem) return (off <= src->size && n <= src->size - off) ? src->mem + off : nullptr;
    return DsdSource_Read(src, off, buf, n) == static_cast<int64_t>(n) ? static_cast<const uint8_t *>(buf)
                                                                       : nullptr;
}
