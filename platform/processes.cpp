// The process snapshot, processor counts and memory status.

#include "platform/files.h"
#include "platform/system.h"

#include <dirent.h>
#include <sched.h>
#include <sys/stat.h>
#include <sys/sysinfo.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <string_view>

namespace {

// The image name of one process, or "" when it has ended meanwhile.
std::string ImageName(const std::string &proc) {
    char link[4096];
    ssize_t n = readlink((proc + "/exe").c_str(), link, sizeof link - 1);
    if (n > 0) {
        std::string path(link, static_cast<size_t>(n));
        // Linux appends " (deleted)" once the file is gone; a file really named so still has links.
        constexpr std::string_view deleted = " (deleted)";
        struct stat st;
        if (path.size() > deleted.size() && path.ends_with(deleted) &&
            stat((proc + "/exe").c_str(), &st) == 0 && st.st_nlink == 0)
            path.resize(path.size() - deleted.size());
        return FileNameOf(path);
    }

    std::string comm;
    if (!ReadFileWhole(proc + "/comm", comm, 4096)) return "";
    if (!comm.empty() && comm.back() == '\n') comm.pop_back();
    // comm is the file name cut to 15 bytes ("Groovestone-lp-"); where it was cut, the command
    // line's first word usually holds the whole name.
    constexpr size_t CommLength = 15;
    std::string cmdline;
    if (comm.size() == CommLength && ReadFileWhole(proc + "/cmdline", cmdline, 1 << 16)) {
        std::string first = FileNameOf(cmdline.substr(0, strnlen(cmdline.data(), cmdline.size())));
        if (first.size() > comm.size() && first.compare(0, comm.size(), comm) == 0) return first;
    }
    return comm;
}

} // namespace

std::vector<std::string> ProcessImageNames() {
    std::vector<long> pids;
    if (DIR *dir = opendir("/proc")) {
        while (const dirent *e = readdir(dir)) {
            char *end;
            long pid = strtol(e->d_name, &end, 10);
            if (e->d_name[0] >= '1' && e->d_name[0] <= '9' && *end == 0) pids.push_back(pid);
        }
        closedir(dir);
    }
    std::sort(pids.begin(), pids.end());
    std::vector<std::string> names;
    names.reserve(pids.size());
    for (long pid : pids) {
        std::string name = ImageName("/proc/" + std::to_string(pid));
        if (!name.empty()) names.push_back(std::move(name));
    }
    return names;
}

int MachineProcessorCount() {
    return get_nprocs_conf();
}

int ProcessProcessorCount() {
    // The mask must be as wide as the kernel's; grow it until the kernel accepts it.
    for (int cpus = std::max(get_nprocs_conf(), 64); cpus <= (1 << 16); cpus *= 2) {
        cpu_set_t *set = CPU_ALLOC(static_cast<size_t>(cpus));
        if (!set) return 1;
        const size_t bytes = CPU_ALLOC_SIZE(static_cast<size_t>(cpus));
        CPU_ZERO_S(bytes, set);
        int result = sched_getaffinity(0, bytes, set);
        int count = result == 0 ? CPU_COUNT_S(bytes, set) : 0;
        CPU_FREE(set);
        if (result == 0) return count > 0 ? count : 1;
        if (errno != EINVAL) return 1;
    }
    return 1;
}

bool MemoryStatus(uint64_t &total, uint64_t &available) {
    total = available = 0;
    std::string text;
    if (!ReadFileWhole("/proc/meminfo", text, 1 << 20)) return false;
    // Lines such as "MemTotal:       16303552 kB".
    auto field = [&](const char *key, uint64_t &value) {
        size_t at = text.find(key);
        if (at == std::string::npos || (at > 0 && text[at - 1] != '\n')) return false;
        const char *p = text.c_str() + at + strlen(key);
        char *end;
        unsigned long long kib = strtoull(p, &end, 10);
        if (end == p) return false;
        while (*end == ' ') ++end;
        if (strncmp(end, "kB", 2) != 0) return false;
        value = static_cast<uint64_t>(kib) * 1024;
        return true;
    };
    if (field("MemTotal:", total) && field("MemAvailable:", available)) return true;
    total = available = 0;
    return false;
}
