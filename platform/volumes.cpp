// Volume roots in place of drive letters.

#include "platform/files.h"
#include "platform/system.h"

#include <sys/statvfs.h>
#include <unistd.h>

#include <algorithm>
#include <sstream>
#include <string_view>

namespace {

// File systems that do not hold the user's files: the kernel's own, memory-backed ones, read-only
// images and container layers, and FUSE helpers of the desktop.
constexpr std::string_view IgnoredTypes[] = {
    "autofs",     "binfmt_misc", "bpf",           "cgroup",
    "cgroup2",    "configfs",    "cpuset",        "debugfs",
    "devpts",     "devtmpfs",    "efivarfs",      "erofs",
    "fusectl",    "hugetlbfs",   "mqueue",        "nfsd",
    "nsfs",       "overlay",     "pipefs",        "proc",
    "pstore",     "ramfs",       "rootfs",        "rpc_pipefs",
    "securityfs", "selinuxfs",   "sockfs",        "squashfs",
    "sysfs",      "tmpfs",       "tracefs",       "fuse.gvfsd-fuse",
    "fuse.lxcfs", "fuse.portal", "fuse.snapfuse", "fuse.xdg-document-portal",
};

// Places whose mounts are the system's, not volumes a user keeps music on.
constexpr std::string_view IgnoredPlaces[] = {"/proc", "/sys", "/dev", "/boot", "/efi"};

bool Under(const std::string &path, std::string_view place) {
    return path.compare(0, place.size(), place) == 0 &&
           (path.size() == place.size() || path[place.size()] == '/');
}

// mountinfo writes space, tab, newline and backslash as \ and three octal digits.
std::string Unescape(const std::string &field) {
    std::string out;
    for (size_t i = 0; i < field.size(); ++i) {
        if (field[i] == '\\' && i + 3 < field.size() && field[i + 1] >= '0' && field[i + 1] <= '3' &&
            field[i + 2] >= '0' && field[i + 2] <= '7' && field[i + 3] >= '0' && field[i + 3] <= '7') {
            out += static_cast<char>((field[i + 1] - '0') * 64 + (field[i + 2] - '0') * 8 +
                                     (field[i + 3] - '0'));
            i += 3;
        } else {
            out += field[i];
        }
    }
    return out;
}

struct Mount {
    std::string Point;  // ends in '/'
    std::string Device; // "major:minor"
    bool Whole;         // the file system's own root is mounted, not a folder inside it
};

} // namespace

std::vector<std::string> MountedVolumes(const std::string &mountinfo) {
    std::vector<Mount> mounts;
    std::istringstream lines(mountinfo);
    std::string line;
    while (std::getline(lines, line)) {
        // id parent major:minor root mount-point options [optional fields...] - type source options
        std::istringstream words(line);
        std::vector<std::string> fields;
        for (std::string w; words >> w;) fields.push_back(w);
        auto dash = std::find(fields.begin(), fields.end(), "-");
        if (fields.size() < 6 || dash == fields.end() || dash + 1 == fields.end() ||
            dash - fields.begin() < 6)
            continue;
        const std::string &type = *(dash + 1);
        if (std::find(std::begin(IgnoredTypes), std::end(IgnoredTypes), type) != std::end(IgnoredTypes))
            continue;
        std::string point = Unescape(fields[4]);
        if (point.empty() || point[0] != '/') continue;
        bool ignored = false;
        for (std::string_view place : IgnoredPlaces) ignored = ignored || Under(point, place);
        if (ignored) continue;
        if (point.back() != '/') point += '/';
        mounts.push_back({point, fields[2], Unescape(fields[3]) == "/"});
    }

    std::sort(mounts.begin(), mounts.end(), [](const Mount &a, const Mount &b) { return a.Point < b.Point; });
    // One root per volume, as Windows gives a volume one letter however often it is mounted: the
    // first mount of the whole file system in path order, else its first mount. The same place
    // mounted over again counts once.
    std::vector<std::string> out;
    std::vector<std::string> devices;
    for (const Mount &m : mounts) {
        if (std::find(devices.begin(), devices.end(), m.Device) != devices.end()) continue;
        const Mount *chosen = &m;
        if (!m.Whole) {
            for (const Mount &other : mounts)
                if (other.Device == m.Device && other.Whole) {
                    chosen = &other;
                    break;
                }
        }
        devices.push_back(m.Device);
        if (std::find(out.begin(), out.end(), chosen->Point) == out.end()) out.push_back(chosen->Point);
    }
    std::sort(out.begin(), out.end());
    return out;
}

bool VolumeReady(const std::string &root) {
    struct statvfs fs;
    return statvfs(root.c_str(), &fs) == 0 && IsDirectory(root) && access(root.c_str(), R_OK | X_OK) == 0;
}

std::vector<std::string> VolumeRoots() {
    std::vector<std::string> roots{"/"};
    const std::string music = MusicFolder();
    if (!music.empty() && music != "/" && VolumeReady(music)) roots.push_back(music);
    std::string mountinfo;
    ReadFileWhole("/proc/self/mountinfo", mountinfo);
    for (const std::string &point : MountedVolumes(mountinfo)) {
        if (std::find(roots.begin(), roots.end(), point) != roots.end()) continue;
        if (VolumeReady(point)) roots.push_back(point);
    }
    return roots;
}
