// Fixtures of the library tests: a temporary folder per test, files written byte by byte, folder
// trees, a fake track probe, and a file size limit that makes a write fail half-way.
#pragma once

#include "library/library.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

// A fresh folder under the system's temporary folder, removed with everything in it at the end.
class TempFolder {
  public:
    TempFolder();
    ~TempFolder();
    TempFolder(const TempFolder &) = delete;
    TempFolder &operator=(const TempFolder &) = delete;
    const std::string &path() const { return path_; } // ends in '/'

  private:
    std::string path_;
};

// Writes `bytes` to `path`, creating the folders on the way.
void WriteBytes(const std::string &path, const std::string &bytes);
// The file's bytes; "<missing>" when it cannot be read.
std::string ReadBytes(const std::string &path);
// Creates the folder and its parents.
void MakeFolders(const std::string &path);
// The UTF-16LE bytes of an ASCII text.
std::string Utf16(const std::string &ascii);

// The probe the tests install: fills TrackInfo from the path (Title from the file name, Length the
// file size) and accepts every track unless its path holds "refused". Every call is recorded.
extern std::vector<std::string> ProbedPaths;
extern std::vector<std::string> ProbedExtensions;
bool FakeProbe(const std::string &path, const std::string &extension);

// Empties the model, installs the fake probe and points the data folder at `folder`.
void ResetModel(const std::string &folder);

// Limits the size of any file this process writes to `bytes` while it lives, so that a longer write
// fails part of the way through, as on a full disk.
class FileSizeLimit {
  public:
    explicit FileSizeLimit(size_t bytes);
    ~FileSizeLimit();
    FileSizeLimit(const FileSizeLimit &) = delete;
    FileSizeLimit &operator=(const FileSizeLimit &) = delete;

  private:
    unsigned long old_soft_;
    void (*old_handler_)(int);
};

// A list entry with just a title and a path.
ListEntry Entry(const std::string &title, const std::string &path = "");
