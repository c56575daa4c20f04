// Files the tests and the test tools make: a temporary folder, whole-file reads and writes, and list
// files in the program's own format.
#pragma once

#include <string>
#include <vector>

// A fresh folder, removed with everything in it when the object ends (folders left without access
// rights included). In the system's temporary folder, or in `base` when one is given. Throws when
// the folder cannot be made: a fixture that cannot be written tests nothing.
struct TempFolder {
    explicit TempFolder(const std::string &base = "");
    ~TempFolder();
    TempFolder(const TempFolder &) = delete;
    TempFolder &operator=(const TempFolder &) = delete;

    // Writes the file `name` of the folder, folders made on the way; its path.
    std::string File(const std::string &name, const std::string &bytes = "") const;
    // Makes the folder `name` of the folder, folders made on the way; its path, without a final '/'.
    std::string Folder(const std::string &name) const;

    std::string path; // absolute, ends in '/'
};

// The file's bytes; "" when it cannot be read.
std::string ReadBytes(const std::string &path);
// Writes `bytes` as the whole file, folders made on the way; throws when it cannot.
void WriteBytes(const std::string &path, const std::string &bytes);

// A list file as the program writes it: the mark FF FE, then each line (UTF-8) in UTF-16LE, ended by
// CR LF.
std::string Utf16File(const std::vector<std::string> &lines);
