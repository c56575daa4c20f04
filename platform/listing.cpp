// Folder listings: Windows file patterns, the NTFS order of names, ListDirectory.

#include "platform/file_internal.h"
#include "platform/files.h"
#include "platform/text.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>

namespace {

// Upper case as NTFS compares names (its $UpCase table), for the scripts music folders are named
// in: ASCII, Latin-1, Latin Extended-A, Greek, Cyrillic and full-width Latin. Other units stand as
// they are.
char16_t UpCase(char16_t c) {
    if (c < 0x80) return (c >= u'a' && c <= u'z') ? static_cast<char16_t>(c - 0x20) : c;
    if (c < 0x100) {
        if (c >= 0xE0 && c <= 0xFE && c != 0xF7) return static_cast<char16_t>(c - 0x20);
        if (c == 0xFF) return 0x178;
        if (c == 0xB5) return 0x39C; // micro sign
        return c;
    }
    if (c < 0x180) {
        if (c == 0x131) return u'I';                          // dotless i
        if (c == 0x17F) return u'S';                          // long s
        if (c == 0x130 || c == 0x138 || c == 0x149) return c; // no case partner
        // Pairs (upper, lower): upper even from 0x100 to 0x137 and from 0x14A to 0x177, upper odd in
        // 0x139..0x148 and 0x179..0x17E.
        bool upper_even = (c < 0x138) || (c >= 0x14A && c < 0x178);
        if (upper_even) return (c & 1) ? static_cast<char16_t>(c - 1) : c;
        if (c == 0x178) return c;
        return (c & 1) ? c : static_cast<char16_t>(c - 1);
    }
    if (c >= 0x3B1 && c <= 0x3CB && c != 0x3C2) return static_cast<char16_t>(c - 0x20); // Greek
    if (c == 0x3C2) return 0x3A3;                                                       // final sigma
    if (c == 0x3AC) return 0x386;
    if (c >= 0x3AD && c <= 0x3AF) return static_cast<char16_t>(c - 0x25);
    if (c == 0x3CC) return 0x38C;
    if (c == 0x3CD || c == 0x3CE) return static_cast<char16_t>(c - 0x3F);
    if (c >= 0x430 && c <= 0x44F) return static_cast<char16_t>(c - 0x20); // Cyrillic
    if (c >= 0x450 && c <= 0x45F) return static_cast<char16_t>(c - 0x50);
    if (c >= 0xFF41 && c <= 0xFF5A) return static_cast<char16_t>(c - 0x20); // full-width
    return c;
}

// The name as NTFS would hold it, upper-cased: UTF-16 code units, with the bytes that are not UTF-8
// escaped (platform/text.h) so that every Linux name has a distinct spelling.
std::u16string UpperUnits(std::string_view name) {
    std::u16string units = ToUtf16(name);
    for (char16_t &u : units) u = UpCase(u); // surrogates, escapes included, stay as they are
    return units;
}

// A pattern element is an upper-cased code unit or one of these, which lie outside UTF-16.
enum : uint32_t {
    AnyRun = 0x10000, // '*'
    RunBeforeDot,     // '*' before '.': any run not holding the name's last dot
    OneUnit,          // '?': one unit other than '.'; nothing in front of a dot or at the end
    DotOrEnd,         // '.' at the end or before '*' or '?': a dot, or the end of the name
};

// The pattern as FindFirstFile hands it to the file system.
std::vector<uint32_t> CompilePattern(const std::string &pattern) {
    const std::u16string units = UpperUnits(pattern);
    std::vector<uint32_t> out;
    out.reserve(units.size());
    for (size_t i = 0; i < units.size(); ++i) {
        char16_t c = units[i];
        char16_t next = i + 1 < units.size() ? units[i + 1] : 0;
        if (c == u'?')
            out.push_back(OneUnit);
        else if (c == u'*')
            out.push_back(next == u'.' ? RunBeforeDot : AnyRun);
        else if (c == u'.' && (next == 0 || next == u'*' || next == u'?'))
            out.push_back(DotOrEnd);
        else
            out.push_back(c);
    }
    return out;
}

bool MatchesAll(const std::string &pattern) {
    return pattern == "*" || pattern == "*.*";
}

// Runs the pattern as an automaton over the name: state i means "the first i elements have matched
// what was read so far". At most (elements + 1) x (units + 1) steps, whatever the stars.
bool MatchCompiled(const std::vector<uint32_t> &pattern, const std::u16string &name) {
    const size_t count = pattern.size();
    const size_t last_dot = name.rfind(u'.');
    std::vector<char> now(count + 1, 0), next(count + 1, 0);

    // Elements that may match nothing at position j of the name.
    auto close_over_empty = [&](std::vector<char> &states, size_t j) {
        const bool at_end = j == name.size();
        const bool at_dot = !at_end && name[j] == u'.';
        for (size_t i = 0; i < count; ++i) {
            if (!states[i]) continue;
            uint32_t e = pattern[i];
            if (e == AnyRun || e == RunBeforeDot || (e == OneUnit && (at_end || at_dot)) ||
                (e == DotOrEnd && at_end))
                states[i + 1] = 1;
        }
    };

    now[0] = 1;
    close_over_empty(now, 0);
    for (size_t j = 0; j < name.size(); ++j) {
        const char16_t c = name[j];
        std::fill(next.begin(), next.end(), 0);
        bool any = false;
        for (size_t i = 0; i < count; ++i) {
            if (!now[i]) continue;
            uint32_t e = pattern[i];
            if (e == AnyRun || (e == RunBeforeDot && j != last_dot)) {
                next[i] = 1;
                any = true;
            } else if ((e == OneUnit && c != u'.') || (e == DotOrEnd && c == u'.') || e == c) {
                next[i + 1] = 1;
                any = true;
            }
        }
        if (!any) return false;
        close_over_empty(next, j + 1);
        now.swap(next);
    }
    return now[count] != 0;
}

} // namespace

bool MatchesPattern(const std::string &name, const std::string &pattern) {
    if (MatchesAll(pattern)) return true;
    return MatchCompiled(CompilePattern(pattern), UpperUnits(name));
}

bool NameBefore(const std::string &a, const std::string &b) {
    const std::u16string ua = UpperUnits(a), ub = UpperUnits(b);
    if (ua != ub) return ua < ub;
    return a < b;
}

bool ListDirectory(const std::string &folder, const std::string &pattern, std::vector<DirEntry> &out,
                ListDetail detail) {
    out.clear();
    int fd = open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return false;
    DIR *dir = fdopendir(fd);
    if (!dir) {
        close(fd);
        return false;
    }

    const bool all = MatchesAll(pattern);
    const std::vector<uint32_t> compiled = all ? std::vector<uint32_t>() : CompilePattern(pattern);
    // The extended attributes are read by path: Linux has no getxattr relative to a folder handle.
    std::string path = folder;
    if (!path.empty() && path.back() != '/') path += '/';
    const size_t prefix = path.size();

    std::vector<std::pair<std::u16string, DirEntry>> found;
    while (const dirent *e = readdir(dir)) {
        const char *name = e->d_name;
        if (name[0] == '.' && (name[1] == 0 || (name[1] == '.' && name[2] == 0))) continue;
        std::u16string key = UpperUnits(name);
        if (!all && !MatchCompiled(compiled, key)) continue;
        path.resize(prefix);
        path += name;

        DirEntry entry{name, 0, -1, false};
        unsigned char type = e->d_type;
        struct stat own;
        const bool need_stat =
            type == DT_UNKNOWN || type == DT_LNK || (type != DT_DIR && detail == ListDetail::Everything);
        if (need_stat) {
            if (fstatat(fd, name, &own, AT_SYMLINK_NOFOLLOW) != 0) continue; // gone meanwhile
            type = S_ISDIR(own.st_mode) ? DT_DIR : S_ISLNK(own.st_mode) ? DT_LNK : DT_REG;
        }
        if (type == DT_DIR) {
            // A directory's attributes need no stat: its read-only bit lives with the others.
            entry.Attributes = AttrDirectory | DosAttribBits(path.c_str(), true);
            entry.Size = -2;
            entry.IsDirectory = true;
        } else if (type == DT_LNK) {
            struct stat target;
            const bool has_target = fstatat(fd, name, &target, 0) == 0;
            entry.Attributes = AttributesOf(path.c_str(), own, has_target ? &target : nullptr);
            entry.IsDirectory = (entry.Attributes & AttrDirectory) != 0;
            entry.Size = !has_target ? -1 : entry.IsDirectory ? -2 : static_cast<int64_t>(target.st_size);
        } else if (detail == ListDetail::Everything) {
            entry.Attributes = AttributesOf(path.c_str(), own, nullptr);
            entry.Size = static_cast<int64_t>(own.st_size);
        }
        found.emplace_back(std::move(key), std::move(entry));
    }
    closedir(dir);

    std::sort(found.begin(), found.end(), [](const auto &a, const auto &b) {
        if (a.first != b.first) return a.first < b.first;
        return a.second.Name < b.second.Name;
    });
    out.reserve(found.size());
    for (auto &f : found) out.push_back(std::move(f.second));
    return true;
}
