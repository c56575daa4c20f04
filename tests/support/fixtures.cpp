// Files the tests and the test tools make.

#include "fixtures.h"

#include <sys/stat.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>

namespace fs = std::filesystem;

TempFolder::TempFolder(const std::string &base) {
    std::string pattern =
        ((base.empty() ? fs::temp_directory_path() : fs::absolute(base)) / "gs-XXXXXX").string();
    if (!mkdtemp(pattern.data())) throw std::runtime_error("cannot make a folder like " + pattern);
    path = pattern + "/";
}

TempFolder::~TempFolder() {
    // A test may leave folders that cannot be entered or written: give them back their rights first.
    std::error_code ignored;
    for (auto &e : fs::recursive_directory_iterator(path, ignored))
        if (e.is_directory(ignored) && !e.is_symlink(ignored)) chmod(e.path().c_str(), 0755);
    fs::remove_all(path, ignored);
}

std::string TempFolder::File(const std::string &name, const std::string &bytes) const {
    WriteBytes(path + name, bytes);
    return path + name;
}

std::string TempFolder::Folder(const std::string &name) const {
    fs::create_directories(path + name);
    return path + name;
}

std::string ReadBytes(const std::string &path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void WriteBytes(const std::string &path, const std::string &bytes) {
    fs::create_directories(fs::path(path).parent_path());
    if (!(std::ofstream(path, std::ios::binary) << bytes)) throw std::runtime_error("cannot write " + path);
}

std::string Utf16File(const std::vector<std::string> &lines) {
    std::string out = "\xFF\xFE";
    auto unit = [&](uint32_t u) { out += {char(u & 0xFF), char(u >> 8)}; };
    for (const std::string &line : lines) {
        for (size_t i = 0; i < line.size();) {
            // UTF-8 as written in the tests' own sources: well formed.
            const auto b = static_cast<uint8_t>(line[i]);
            const int more = b < 0x80 ? 0 : b < 0xE0 ? 1 : b < 0xF0 ? 2 : 3;
            uint32_t c = more == 0 ? b : b & (0x3F >> more);
            for (int k = 1; k <= more; ++k) c = c << 6 | (static_cast<uint8_t>(line[i + k]) & 0x3F);
            i += 1 + more;
            if (c < 0x10000) {
                unit(c);
            } else {
                unit(0xD800 + ((c - 0x10000) >> 10));
                unit(0xDC00 + ((c - 0x10000) & 0x3FF));
            }
        }
        unit('\r');
        unit('\n');
    }
    return out;
}
