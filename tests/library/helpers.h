// Fixtures of the library tests: temporary folders, files written byte by byte, a fake track probe,
// a file size limit that makes a write fail half-way, and the fixture of a data folder and a drive.
#pragma once

#include "library/library.h"

#include <gtest/gtest.h>

#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <sys/resource.h>
#include <vector>

using Lines = std::vector<std::string>;

// A fresh folder under the system's temporary folder, removed with everything in it at the end.
struct TempFolder {
    TempFolder() {
        path_ = (std::filesystem::temp_directory_path() / "gs-library-XXXXXX").string();
        if (!mkdtemp(path_.data())) throw std::runtime_error("mkdtemp failed");
        path_ += "/";
    }
    ~TempFolder() {
        std::error_code ignored;
        std::filesystem::remove_all(path_, ignored);
    }
    TempFolder(const TempFolder &) = delete;
    const std::string &path() const { return path_; } // ends in '/'
    std::string path_;
};

// Writes `bytes` to `path`, creating the folders on the way.
inline void WriteBytes(const std::string &path, const std::string &bytes) {
    std::filesystem::create_directories(std::filesystem::path(path).parent_path());
    if (!(std::ofstream(path, std::ios::binary) << bytes)) throw std::runtime_error("cannot write " + path);
}

// The file's bytes; "<missing>" when it cannot be read.
inline std::string ReadBytes(const std::string &path) {
    std::ifstream in(path, std::ios::binary);
    return in ? std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>())
              : "<missing>";
}

// Creates each path below `root`: a folder when it ends in '/', else a file of four bytes.
inline void Make(const std::string &root, const Lines &paths) {
    for (const std::string &p : paths) {
        if (p.back() == '/')
            std::filesystem::create_directories(root + p);
        else
            WriteBytes(root + p, "DSD ");
    }
}

inline std::string Bytes(std::initializer_list<int> values) {
    std::string out;
    for (int v : values) out += char(v);
    return out;
}

// The UTF-16LE bytes of an ASCII text.
inline std::string Utf16(const std::string &ascii) {
    std::string out;
    for (char c : ascii) out += {c, '\0'};
    return out;
}

// A list file in the program's own format: FF FE, then each line and CR LF in UTF-16LE.
inline std::string Utf16File(const Lines &lines) {
    std::string out = "\xFF\xFE";
    AppendUtf16Lines(out, lines);
    return out;
}

inline ListEntry Entry(const std::string &title, const std::string &path = "") {
    ListEntry e;
    e.Title = e.DisplayTitle = title;
    e.Path = path;
    return e;
}

inline Lines Titles(const std::vector<ListEntry> &list) {
    Lines out;
    for (const ListEntry &e : list) out.push_back(e.Title);
    return out;
}

// What the program does with the paths a loader found, with a fake probe: Title from the file name,
// Length the file size, a path that holds "refused" refused; each accepted entry is appended to the
// shown list. Every probe is recorded.
inline Lines ProbedPaths;
inline void FakeAdd(const Lines &paths) {
    for (const std::string &path : paths) {
        ProbedPaths.push_back(path);
        if (path.find("refused") != std::string::npos) continue;
        std::string name = path.substr(path.rfind('/') + 1);
        ListEntry entry = Entry(name.substr(0, name.rfind('.')), path);
        entry.Extension = name.substr(name.rfind('.') + 1);
        entry.Length = int64_t(std::filesystem::file_size(path));
        AppendEntry(ShownList(), entry);
    }
}

// Limits the size of any file this process writes while it lives, as a full disk would: a longer
// write fails with EFBIG part of the way through.
struct FileSizeLimit {
    explicit FileSizeLimit(rlim_t bytes) {
        std::signal(SIGXFSZ, SIG_IGN);
        getrlimit(RLIMIT_FSIZE, &old_);
        rlimit limit = old_;
        limit.rlim_cur = bytes;
        setrlimit(RLIMIT_FSIZE, &limit);
    }
    ~FileSizeLimit() { setrlimit(RLIMIT_FSIZE, &old_); }
    rlimit old_;
};

// A temporary folder holding "drive/" and the data folder "lpli/", an empty model and the fake probe.
class LibraryTest : public ::testing::Test {
  protected:
    void SetUp() override {
        Make(dir.path(), {"drive/", "lpli/"});
        ClearList(1);
        ClearList(2);
        LibraryOne.clear();
        PlaylistNames.clear();
        ActiveView = ViewList1;
        ListFolder = lists;
        ProbedPaths.clear();
    }
    std::string ListFile(const std::string &name) const { return ReadBytes(lists + name); }
    TempFolder dir;
    const std::string drive = dir.path() + "drive/", lists = dir.path() + "lpli/";
};
