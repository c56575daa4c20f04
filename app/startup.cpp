// The machine checks, the single-instance guard and the deployment of the engine libraries: what
// start-up does before anything is shown.

#include "app.h"

#include "platform/platform.h"
#include "resources.h"

#include <cstring>
#include <string_view>

bool ProcessorsSufficient(int machine, int process) {
    return machine >= 2 && process >= 1;
}

bool MemorySufficient(uint64_t total, uint64_t available) {
    return total >= MinimumTotalMemory && available >= MinimumAvailableMemory;
}

int CountFamilyProcesses(const std::vector<std::string> &image_names) {
    int count = 0;
    for (const std::string &name : image_names) {
        // Exact and case-sensitive: "groovestone dsd" is somebody else's program.
        if (name == "Groovestone" || name == "Groovestone DSD" || name == "Groovestone-lp-dsd" ||
            name.find("Quickbuild_Compilation") != std::string::npos) {
            if (++count == 2) break;
        }
    }
    return count;
}

bool AnotherPlayerRunning() {
    return CountFamilyProcesses(ProcessImageNames()) >= 2;
}

namespace {

struct EmbeddedLibrary {
    const char *File;
    ResourceId Resource;
};

// In the order they are deployed.
const EmbeddedLibrary Libraries[] = {
    {"tava.so", ResTavaLibrary},
    {"tavo.so", ResTavoLibrary},
    {"tavd.so", ResTavdLibrary},
};

} // namespace

std::string DeployEngineLibraries(const std::string &base) {
    // Linux: the XDG data folder need not exist yet on a fresh account (Windows always has its local
    // application data folder); it is made with its parents, as the XDG rules ask of programs.
    for (size_t slash = base.find('/', 1); slash != std::string::npos; slash = base.find('/', slash + 1)) {
        const std::string folder = base.substr(0, slash);
        if (!IsDirectory(folder)) CreateFolder(folder);
    }
    const std::string maker = base + "Tonmark";
    const std::string folder = maker + "/tm20/";
    if (!IsDirectory(maker)) CreateFolder(maker);

    const std::string data = maker + "/tm20";
    if (IsDirectory(data)) {
        uint32_t attributes = GetFileAttributes(data);
        if (!(attributes & AttrHidden)) SetFileAttributes(data, AttrHidden);
    } else if (CreateFolder(data)) {
        SetFileAttributes(data, AttrHidden);
    }

    for (const EmbeddedLibrary &lib : Libraries) {
        const std::string path = folder + lib.File;
        ResourceBytes bytes = Resource(lib.Resource);
        // Only a file holding exactly the embedded bytes is kept: a new build of the same size, or a
        // library damaged in place, is replaced. The libraries are small; reading them costs little.
        std::string deployed;
        if (FileSize(path) == static_cast<int64_t>(bytes.size) && ReadFileWhole(path, deployed, bytes.size) &&
            deployed.size() == bytes.size && std::memcmp(deployed.data(), bytes.data, bytes.size) == 0)
            continue;
        // Written beside the old file and renamed over it, so a crash never leaves a truncated
        // library, and a library still mapped by a running player is not changed under it. A folder
        // of that name makes the write fail: the library is then skipped, and binding reports it.
        if (WriteFileWhole(path, bytes.data, bytes.size)) SetFileAttributes(path, AttrHidden | AttrSystem);
    }
    return folder;
}
