// Files, sizes and attributes, writing and reading whole files, path texts.

#include "platform/files.h"
#include "platform/file_internal.h"

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <string_view>
#include <vector>

namespace {

constexpr const char *DosAttribName = "user.DOSATTRIB";
constexpr uint32_t FileDosBits = AttrHidden | AttrSystem | AttrArchive;
constexpr uint32_t FolderDosBits = FileDosBits | AttrReadOnly;

// Names of the files WriteFileWhole writes before renaming; the count makes them unique within the
// process, the process id across processes. Any thread may take a number.
std::atomic<unsigned> TemporaryCount{0};

// "dir/" names the same entry as "dir" on Windows; for lstat the slash would follow a link.
std::string WithoutTrailingSlash(const std::string &path) {
    size_t end = path.size();
    while (end > 1 && path[end - 1] == '/') --end;
    return path.substr(0, end);
}

// The leading "0x.." text of a DOSATTRIB value. Samba writes the text, a zero byte and then a binary
// record; Wine writes the text alone. Anything else reads as no bits.
uint32_t ParseDosAttrib(const char *value, size_t length) {
    if (length < 3 || value[0] != '0' || (value[1] != 'x' && value[1] != 'X')) return 0;
    uint32_t bits = 0;
    for (size_t i = 2; i < length && i < 10; ++i) {
        char c = value[i];
        uint32_t digit;
        if (c >= '0' && c <= '9')
            digit = static_cast<uint32_t>(c - '0');
        else if (c >= 'a' && c <= 'f')
            digit = static_cast<uint32_t>(c - 'a' + 10);
        else if (c >= 'A' && c <= 'F')
            digit = static_cast<uint32_t>(c - 'A' + 10);
        else
            break;
        bits = bits << 4 | digit;
    }
    return bits;
}

bool ReadAll(int fd, std::string &out, size_t max_size) {
    char buffer[65536];
    for (;;) {
        ssize_t n = read(fd, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return false;
        if (n == 0) return true;
        if (out.size() + static_cast<size_t>(n) > max_size) {
            errno = EFBIG; // grew while being read
            return false;
        }
        out.append(buffer, static_cast<size_t>(n));
    }
}

bool WriteAll(int fd, const void *data, size_t size) {
    const char *p = static_cast<const char *>(data);
    while (size > 0) {
        ssize_t n = write(fd, p, size);
        if (n < 0 && errno == EINTR) continue;
        if (n == 0) errno = EIO; // no progress and no reason given
        if (n <= 0) return false;
        p += n;
        size -= static_cast<size_t>(n);
    }
    return true;
}

// The process id in the name of a new file that WriteFileWhole began, "<prefix><pid>-<count>.tmp";
// 0 for any other name.
pid_t WriterOfTemporary(std::string_view name, std::string_view prefix) {
    if (!name.starts_with(prefix) || !name.ends_with(".tmp")) return 0;
    name = name.substr(prefix.size(), name.size() - prefix.size() - 4);
    const size_t dash = name.find('-');
    if (dash == 0 || dash == name.npos || dash + 1 == name.size() || dash > 9) return 0;
    pid_t pid = 0;
    for (size_t i = 0; i < name.size(); ++i) {
        if (i == dash) continue;
        if (name[i] < '0' || name[i] > '9') return 0;
        if (i < dash) pid = pid * 10 + (name[i] - '0');
    }
    return pid;
}

// Removes the new files that earlier writes of the same file left behind because their process was
// killed (or the machine stopped) between creating the file and renaming it. Each such death would
// otherwise leave one more, for good. A file of a process that still runs is being written now, and
// is left to it.
void RemoveStaleTemporaries(const std::string &folder, const std::string &prefix) {
    DIR *dir = opendir(folder.empty() ? "." : folder.c_str());
    if (!dir) return;
    while (const dirent *entry = readdir(dir)) {
        const pid_t pid = WriterOfTemporary(entry->d_name, prefix);
        if (pid <= 0 || pid == getpid()) continue;
        if (kill(pid, 0) != 0 && errno == ESRCH) unlinkat(dirfd(dir), entry->d_name, 0);
    }
    closedir(dir);
}

} // namespace

uint32_t DosAttribBits(const char *path, bool directory) {
    const uint32_t wanted = directory ? FolderDosBits : FileDosBits;
    char value[256];
    ssize_t n = lgetxattr(path, DosAttribName, value, sizeof value);
    if (n >= 0) return ParseDosAttrib(value, static_cast<size_t>(n)) & wanted;
    if (errno != ERANGE) return 0;
    // A long Samba record follows the text; only the text is wanted, but the value comes whole.
    ssize_t size = lgetxattr(path, DosAttribName, nullptr, 0);
    if (size <= 0) return 0;
    std::vector<char> large(static_cast<size_t>(size));
    n = lgetxattr(path, DosAttribName, large.data(), large.size());
    return n < 0 ? 0 : ParseDosAttrib(large.data(), static_cast<size_t>(n)) & wanted;
}

uint32_t AttributesOf(const char *path, const struct stat &own, const struct stat *target) {
    uint32_t attributes = 0;
    bool directory = S_ISDIR(own.st_mode);
    if (S_ISLNK(own.st_mode)) {
        attributes |= AttrReparsePoint;
        directory = target && S_ISDIR(target->st_mode);
    } else if (!directory && (own.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0) {
        attributes |= AttrReadOnly;
    }
    if (directory) attributes |= AttrDirectory;
    return attributes | DosAttribBits(path, directory && !S_ISLNK(own.st_mode));
}

uint32_t GetFileAttributes(const std::string &path) {
    const std::string p = WithoutTrailingSlash(path);
    struct stat own;
    if (lstat(p.c_str(), &own) != 0) return AttrInvalid;
    struct stat target;
    bool has_target = S_ISLNK(own.st_mode) && stat(p.c_str(), &target) == 0;
    return AttributesOf(p.c_str(), own, has_target ? &target : nullptr);
}

bool SetFileAttributes(const std::string &path, uint32_t attributes) {
    const std::string p = WithoutTrailingSlash(path);
    struct stat own;
    if (lstat(p.c_str(), &own) != 0) return false;
    const bool directory = S_ISDIR(own.st_mode);

    // The extended attribute first: where the file system refuses it, nothing is changed.
    const uint32_t kept = attributes & (directory ? FolderDosBits : FileDosBits);
    if (kept != 0) {
        char text[16];
        int length = snprintf(text, sizeof text, "0x%x", kept);
        if (lsetxattr(p.c_str(), DosAttribName, text, static_cast<size_t>(length), 0) != 0) return false;
    } else if (lremovexattr(p.c_str(), DosAttribName) != 0 && errno != ENODATA && errno != ENOTSUP) {
        return false; // with no bits to keep, a file system without attributes already says "none"
    }

    if (directory || S_ISLNK(own.st_mode)) return true;
    const mode_t write_bits = S_IWUSR | S_IWGRP | S_IWOTH;
    mode_t mode = own.st_mode & 07777;
    if (attributes & AttrReadOnly)
        mode &= ~write_bits;
    else if ((mode & write_bits) == 0)
        mode |= S_IWUSR;
    if (mode == (own.st_mode & 07777)) return true;
    return chmod(p.c_str(), mode) == 0;
}

int64_t FileSize(const std::string &path) {
    struct stat st;
    if (stat(path.c_str(), &st) != 0) return -1;
    if (S_ISDIR(st.st_mode)) return -2;
    // Opened as Windows opens a file to ask its size, so an unreadable file reads as missing.
    // O_NONBLOCK keeps a FIFO from blocking the open.
    int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
    if (fd < 0) return -1;
    int64_t size = fstat(fd, &st) == 0 ? static_cast<int64_t>(st.st_size) : -1;
    close(fd);
    return size;
}

bool IsDirectory(const std::string &path) {
    struct stat st;
    return stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool CreateFolder(const std::string &path) {
    return mkdir(path.c_str(), 0777) == 0;
}

bool WriteFileWhole(const std::string &path, const void *data, size_t size) {
    // A link is followed, as CreateFile follows it: the file it names is replaced, not the link.
    std::string target = path;
    struct stat old;
    bool exists = lstat(path.c_str(), &old) == 0;
    if (exists && S_ISLNK(old.st_mode)) {
        char *resolved = realpath(path.c_str(), nullptr);
        if (resolved) {
            target = resolved;
            free(resolved);
        }
        exists = stat(target.c_str(), &old) == 0;
    }
    if (exists && S_ISDIR(old.st_mode)) {
        errno = EISDIR;
        return false;
    }
    if (exists && (old.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0) {
        errno = EACCES;
        return false;
    }

    char dos[256];
    ssize_t dos_length = exists ? getxattr(target.c_str(), DosAttribName, dos, sizeof dos) : -1;

    // Hidden (leading dot) and beside the target, so that the rename stays within one file system.
    const std::string folder = FolderOf(target);
    // Cut so that the longest name (255 bytes) still leaves room for the additions.
    const std::string prefix = "." + FileNameOf(target).substr(0, 200) + ".";
    RemoveStaleTemporaries(folder, prefix);
    std::string temporary;
    int fd = -1;
    for (int attempt = 0; attempt < 100 && fd < 0; ++attempt) {
        temporary = folder + prefix + std::to_string(getpid()) + "-" +
                    std::to_string(TemporaryCount.fetch_add(1, std::memory_order_relaxed)) + ".tmp";
        fd = open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd < 0 && errno != EEXIST) return false;
    }
    if (fd < 0) return false;

    bool ok = WriteAll(fd, data, size);
    if (ok && exists) {
        ok = fchmod(fd, old.st_mode & 07777) == 0;
        // Carried over on a best-effort basis: the bytes matter more than the hidden bit.
        if (ok && dos_length > 0) fsetxattr(fd, DosAttribName, dos, static_cast<size_t>(dos_length), 0);
    }
    // Bytes and metadata on the disk before the rename makes them the file.
    if (ok) ok = fsync(fd) == 0;
    int error = ok ? 0 : errno;
    if (close(fd) != 0 && ok) {
        ok = false;
        error = errno;
    }
    if (ok && rename(temporary.c_str(), target.c_str()) != 0) {
        ok = false;
        error = errno;
    }
    if (!ok) {
        unlink(temporary.c_str());
        errno = error; // the reason of the failure, not of the clean-up
        return false;
    }
    // The rename itself reaches the disk only with its folder.
    int folder_fd = open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (folder_fd >= 0) {
        fsync(folder_fd);
        close(folder_fd);
    }
    return true;
}

bool ReadFileWhole(const std::string &path, std::string &out, size_t max_size) {
    out.clear();
    // Without blocking: a pipe or a device named like a list file would wait forever for a writer.
    // Only a regular file is read.
    int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
    if (fd < 0) return false;
    struct stat st;
    bool ok = fstat(fd, &st) == 0;
    if (ok && !S_ISREG(st.st_mode)) {
        ok = false;
        errno = S_ISDIR(st.st_mode) ? EISDIR : EINVAL;
    } else if (ok && static_cast<uint64_t>(st.st_size) > max_size) {
        ok = false;
        errno = EFBIG;
    }
    if (ok) {
        out.reserve(static_cast<size_t>(st.st_size));
        ok = ReadAll(fd, out, max_size);
    }
    const int error = errno;
    close(fd);
    if (!ok) {
        out.clear();
        errno = error;
    }
    return ok;
}

std::string FolderOf(const std::string &path) {
    size_t slash = path.rfind('/');
    return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

std::string FileNameOf(const std::string &path) {
    size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

bool PathFitsSystem(std::string_view path) {
    return path.size() < PATH_MAX;
}

std::string ExtensionOf(const std::string &path) {
    const std::string name = FileNameOf(path);
    size_t dot = name.rfind('.');
    return dot == std::string::npos ? std::string() : name.substr(dot + 1);
}
