// A folder made for one test and removed after it, on a file system that keeps "user." extended
// attributes where one can be found.
#pragma once

#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

struct TempFolder {
    std::string path; // ends in '/'
    bool xattrs = false;

    TempFolder() {
        // /tmp first; where it refuses "user." attributes (tmpfs before Linux 6.6), the current
        // folder, which CTest makes the build folder.
        for (const char *base : {"/tmp", "."}) {
            std::string pattern = std::string(base) + "/gs-platform-XXXXXX";
            if (!mkdtemp(pattern.data())) continue;
            path = std::filesystem::absolute(pattern).string() + "/";
            const std::string probe = path + ".probe";
            std::ofstream(probe).put('x');
            xattrs = setxattr(probe.c_str(), "user.DOSATTRIB", "0x0", 3, 0) == 0;
            unlink(probe.c_str());
            if (xattrs) return;
            std::filesystem::remove_all(path);
        }
        std::string pattern = "/tmp/gs-platform-XXXXXX";
        path = std::string(mkdtemp(pattern.data())) + "/";
    }
    ~TempFolder() {
        std::error_code ignored;
        for (auto &e : std::filesystem::recursive_directory_iterator(path, ignored))
            if (e.is_directory(ignored) && !e.is_symlink(ignored)) chmod(e.path().c_str(), 0755);
        std::filesystem::remove_all(path, ignored);
    }

    std::string File(const std::string &name, const std::string &content = "") const {
        std::ofstream(path + name, std::ios::binary) << content;
        return path + name;
    }
    std::string Folder(const std::string &name) const {
        mkdir((path + name).c_str(), 0755);
        return path + name;
    }
};
