// The drive slots behind the drive menu: the ready volumes in the platform's order, the root file
// system first (it stands where the system drive stands: listed, never scanned).

#include "library.h"

#include "platform/system.h"

namespace {

constexpr const char *NotAvailable = "not available";
constexpr const char *ItemPrefix = "Drive   "; // the word and three blanks

// Whether choosing the drive scans it: "not available" is no path, and the root file system is
// listed but never scanned.
bool Scanned(const std::string &root) {
    return !root.empty() && root[0] == '/' && root != "/";
}

} // namespace

// --- state: main thread only
std::array<DriveMenuItem, DriveSlotCount> DriveMenuItems;
// --- end of state

void BuildDriveMenuFrom(const std::vector<std::string> &roots, bool (*ready)(const std::string &root)) {
    size_t k = 0;
    for (const std::string &root : roots) {
        if (k == DriveSlotCount) break; // the menu is full
        if (!ready(root)) continue;     // no ready volume there: left out
        // "/" keeps its place and its text, disabled.
        DriveMenuItems[k] = {root, ItemPrefix + root, Scanned(root)};
        ++k;
    }
    for (; k < DriveSlotCount; ++k) {
        DriveMenuItems[k] = {NotAvailable, std::string(ItemPrefix) + NotAvailable, false};
    }
}

void BuildDriveMenu() {
    BuildDriveMenuFrom(VolumeRoots(), VolumeReady);
}

std::optional<WriteResult> ScanDriveSlot(size_t slot) {
    if (slot >= DriveSlotCount) return std::nullopt;
    const std::string &root = DriveMenuItems[slot].Root;
    // Empty before the menu was first built.
    if (!Scanned(root)) return std::nullopt;
    return ScanLibrary(root, 1);
}
