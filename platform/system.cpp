// Special folders and dynamic libraries.

#include "platform/system.h"
#include "platform/files.h"

#include <dlfcn.h>
#include <pwd.h>
#include <unistd.h>

#include <cstdlib>
#include <sstream>

namespace {

std::string WithSlash(std::string folder) {
    if (!folder.empty() && folder.back() != '/') folder += '/';
    return folder;
}

// The value of XDG_MUSIC_DIR in user-dirs.dirs, a line such as XDG_MUSIC_DIR="$HOME/Music" (shell
// quoting; only backslash escapes occur). False when the file or the line is missing.
bool ConfiguredMusicFolder(const std::string &home, std::string &folder) {
    const char *config = getenv("XDG_CONFIG_HOME");
    std::string file = (config && config[0] == '/') ? WithSlash(config) : home + "/.config/";
    std::string text;
    if (!ReadFileWhole(file + "user-dirs.dirs", text, 1 << 20)) return false;
    std::istringstream lines(text);
    std::string line;
    while (std::getline(lines, line)) {
        size_t start = line.find_first_not_of(" \t");
        if (start == std::string::npos || line.compare(start, 15, "XDG_MUSIC_DIR=\"") != 0) continue;
        std::string value;
        for (size_t i = start + 15; i < line.size() && line[i] != '"'; ++i) {
            if (line[i] == '\\' && i + 1 < line.size()) ++i;
            value += line[i];
        }
        if (value.compare(0, 5, "$HOME") == 0 && (value.size() == 5 || value[5] == '/'))
            folder = home + value.substr(5);
        else if (!value.empty() && value[0] == '/')
            folder = value;
        else
            continue; // neither form the file allows
        return true;
    }
    return false;
}

} // namespace

std::string HomeFolder() {
    const char *home = getenv("HOME");
    if (home && home[0] == '/') return home;
    if (const passwd *entry = getpwuid(getuid()); entry && entry->pw_dir && entry->pw_dir[0] == '/')
        return entry->pw_dir;
    return "";
}

std::string LocalAppDataFolder() {
    const char *data = getenv("XDG_DATA_HOME");
    if (data && data[0] == '/') return WithSlash(data);
    const std::string home = HomeFolder();
    return home.empty() ? std::string() : WithSlash(home) + ".local/share/";
}

std::string ExecutableFolder() {
    char link[4096];
    ssize_t n = readlink("/proc/self/exe", link, sizeof link - 1);
    if (n <= 0) return "";
    return FolderOf(std::string(link, static_cast<size_t>(n)));
}

std::string MusicFolder() {
    const std::string home = HomeFolder();
    if (home.empty()) return "";
    std::string folder;
    if (!ConfiguredMusicFolder(home, folder)) folder = WithSlash(home) + "Music";
    folder = WithSlash(folder);
    // Pointing it at the home folder is how a user switches it off.
    if (folder == WithSlash(home)) return "";
    return folder;
}

void *LoadLibraryFile(const std::string &path) {
    const std::string name = path.find('/') == std::string::npos ? "./" + path : path;
    // RTLD_NODELETE: a library stays mapped after FreeLibraryFile. The runtimes the engine pulls in
    // (libgomp, through libsoxr) keep threads and start-up state of their own, which must not lose
    // their code and data under them; nothing here loads a library again to get a fresh copy.
    return dlopen(name.c_str(), RTLD_NOW | RTLD_GLOBAL | RTLD_NODELETE);
}

void *LibrarySymbol(void *library, const char *name) {
    return library ? dlsym(library, name) : nullptr;
}

void FreeLibraryFile(void *library) {
    if (library) dlclose(library);
}

std::string LibraryError() {
    const char *error = dlerror();
    return error ? error : "";
}
