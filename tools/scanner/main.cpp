// scan_library ROOT LISTFOLDER: runs ScanLibrary on the drive root ROOT with LISTFOLDER as the data
// folder of the list files (album index and track file of library 1), then prints LibraryOne, one
// album name a line. For tests and benchmarks; the program itself scans from its drive menu.

#include "library/library.h"

#include <cstdio>
#include <string>

int main(int argc, char **argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: %s ROOT LISTFOLDER\n", argv[0]);
        return 2;
    }
    ListFolder = argv[2];
    if (ListFolder.empty() || ListFolder.back() != '/') ListFolder += '/';
    LoadLibraryIndex(); // the library as it was, kept when the drive holds no album
    ScanLibrary(argv[1], 1);
    std::string out;
    for (const std::string &name : LibraryOne) out += name + '\n';
    std::fwrite(out.data(), 1, out.size(), stdout);
    return 0;
}
