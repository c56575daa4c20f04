#include "helpers.h"

#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sys/resource.h>

namespace fs = std::filesystem;

TempFolder::TempFolder() {
    std::string pattern = (fs::temp_directory_path() / "gs-library-XXXXXX").string();
    char *made = mkdtemp(pattern.data());
    if (!made) throw std::runtime_error("mkdtemp failed");
    path_ = std::string(made) + "/";
}

TempFolder::~TempFolder() {
    std::error_code ec;
    // Folders made read-only by a test must become writable again before they can be emptied.
    for (auto it = fs::recursive_directory_iterator(path_, ec);
         !ec && it != fs::recursive_directory_iterator(); it.increment(ec))
        if (it->is_directory(ec) && !it->is_symlink(ec))
            fs::permissions(it->path(), fs::perms::owner_all, fs::perm_options::add, ec);
    fs::remove_all(path_, ec);
}

void WriteBytes(const std::string &path, const std::string &bytes) {
    fs::create_directories(fs::path(path).parent_path());
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), std::streamsize(bytes.size()));
    if (!out) throw std::runtime_error("cannot write " + path);
}

std::string ReadBytes(const std::string &path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return "<missing>";
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void MakeFolders(const std::string &path) {
    fs::create_directories(path);
}

std::string Utf16(const std::string &ascii) {
    std::string out;
    for (char c : ascii) {
        out += c;
        out += '\0';
    }
    return out;
}

std::vector<std::string> ProbedPaths;
std::vector<std::string> ProbedExtensions;

bool FakeProbe(const std::string &path, const std::string &extension) {
    ProbedPaths.push_back(path);
    ProbedExtensions.push_back(extension);
    if (path.find("refused") != std::string::npos) return false;
    std::string name = path.substr(path.rfind('/') + 1);
    TrackInfo = ListEntry{};
    TrackInfo.Path = path;
    TrackInfo.Extension = extension;
    TrackInfo.Title = name.substr(0, name.rfind('.'));
    TrackInfo.DisplayTitle = TrackInfo.Title;
    TrackInfo.Length = int64_t(fs::file_size(path));
    return true;
}

void ResetModel(const std::string &folder) {
    List1.clear();
    List2.clear();
    ListBytes1 = ListBytes2 = 0;
    LibraryOne.clear();
    PlaylistNames.clear();
    ActiveView = ViewList1;
    ListFolder = folder;
    TrackInfo = ListEntry{};
    LibraryProcs = LibraryHooks{};
    LibraryProcs.ProbeTrack = FakeProbe;
    ProbedPaths.clear();
    ProbedExtensions.clear();
}

FileSizeLimit::FileSizeLimit(size_t bytes) {
    old_handler_ = std::signal(SIGXFSZ, SIG_IGN); // the write fails with EFBIG instead
    rlimit limit;
    getrlimit(RLIMIT_FSIZE, &limit);
    old_soft_ = limit.rlim_cur;
    limit.rlim_cur = bytes;
    setrlimit(RLIMIT_FSIZE, &limit);
}

FileSizeLimit::~FileSizeLimit() {
    rlimit limit;
    getrlimit(RLIMIT_FSIZE, &limit);
    limit.rlim_cur = old_soft_;
    setrlimit(RLIMIT_FSIZE, &limit);
    std::signal(SIGXFSZ, old_handler_);
}

ListEntry Entry(const std::string &title, const std::string &path) {
    ListEntry e;
    e.Title = title;
    e.DisplayTitle = title;
    e.Path = path;
    return e;
}
