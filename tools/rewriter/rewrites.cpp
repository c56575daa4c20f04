// The rewrite steps of the crash test and the tree they work on.

#include "rewrites.h"

#include "dsd_testfiles.h"
#include "library/library.h"
#include "library/settings.h"
#include "platform/files.h"

#include <algorithm>
#include <cstdio>
#include <stdexcept>

namespace {

// The two sets of options the settings step alternates between; the device keeps its name and its
// three DSD flags, so that the saved device still matches the capture device of a real start.
constexpr std::array<uint8_t, 7> OptionsA = {0, 1, 1, 1, 2, 0, 1};
constexpr std::array<uint8_t, 7> OptionsB = {0, 1, 1, 1, 1, 1, 0};
inline constexpr const char *DeviceName = "DSD capture";

struct AlbumFiles {
    const char *folder;
    std::vector<std::pair<const char *, TestDsdKind>> tracks;
};
const AlbumFiles Albums[] = {
    {"Aria", {{"01 Prelude.dsf", TestDsdKind::DsfLsb}, {"02 Gigue.dff", TestDsdKind::Dff}}},
    {"Etudes", {{"Op 10 No 1.dsf", TestDsdKind::DsfMsb}, {"Op 10 No 3.DSF", TestDsdKind::DsfLsb}}},
    {"Nocturnes",
     {{"No 1.dff", TestDsdKind::Dff}, {"No 2.dsf", TestDsdKind::DsfLsb}, {"No 3.dsf", TestDsdKind::DsfMsb}}},
};
inline constexpr const char *MovingAlbum = "Etudes";

void Require(bool ok, const std::string &what) {
    if (!ok) throw std::runtime_error("rewrites: cannot " + what);
}

std::vector<ListEntry> Tracks(const std::string &root, std::initializer_list<const char *> paths) {
    std::vector<ListEntry> entries;
    for (const char *path : paths) {
        ListEntry e;
        e.Path = root + "drive/" + path;
        entries.push_back(e);
    }
    return entries;
}

void ApplyOptions(const std::array<uint8_t, 7> &v) {
    DeviceCaps.Name = DeviceName;
    OutputChannel = v[0];
    DeviceCaps.Dsd = {v[1], v[2], v[3], 1};
    ViewCover = v[4];
    CoverTrack = v[5];
    BlendPicture = v[6];
}

} // namespace

void PrepareRewriteFolders(const std::string &root) {
    for (const char *folder : {"", "drive/", "parking/"}) {
        const std::string path = root + folder;
        Require(IsDirectory(path) || CreateFolder(path), "make " + path);
    }
    uint32_t seed = 1;
    for (const AlbumFiles &album : Albums) {
        const std::string folder = root + "drive/" + album.folder + "/";
        Require(CreateFolder(folder), "make " + folder);
        for (const auto &[name, kind] : album.tracks) {
            TestDsdShape shape;
            shape.kind = kind;
            shape.samples = 8 * 4096;
            shape.seed = seed++;
            Require(TestDsd_WriteFile(shape, folder + name), std::string("write ") + name);
        }
    }
    EstablishListFolder(root);
    ApplyOptions(OptionsA);
    Require(static_cast<bool>(SaveSettings()), "save the settings");
    // Written in name order, as deleting a playlist writes the index.
    PlaylistNames.clear();
    WritePlaylistFiles("Bravo", Tracks(root, {"Aria/01 Prelude.dsf", "Nocturnes/No 2.dsf"}));
    WritePlaylistFiles("Delta", Tracks(root, {"Nocturnes/No 3.dsf"}));
    WritePlaylistFiles("Tango",
                       Tracks(root, {"Aria/02 Gigue.dff", "Nocturnes/No 1.dff", "Aria/01 Prelude.dsf"}));
    ScanLibrary(root + "drive/", 1);
    LoadRewriteState(root);
}

void LoadRewriteState(const std::string &root) {
    EstablishListFolder(root);
    ReadSettingsFile();
    ApplyOptions(Saved.Loaded ? Saved.Values : OptionsA);
    PlaylistNames.clear();
    LoadPlaylistIndex();
    LibraryOne.clear();
    LoadLibraryIndex();
}

void RunRewriteStep(const std::string &root, int step) {
    switch (step % RewriteStepCount) {
    case 0: {
        const std::array<uint8_t, 7> now = {OutputChannel,     DeviceCaps.Dsd[0], DeviceCaps.Dsd[1],
                                            DeviceCaps.Dsd[2], ViewCover,         CoverTrack,
                                            BlendPicture};
        ApplyOptions(now == OptionsA ? OptionsB : OptionsA);
        SaveSettings();
        break;
    }
    case 1: {
        const auto at = std::find(PlaylistNames.begin(), PlaylistNames.end(), ChangingPlaylist);
        if (at != PlaylistNames.end())
            DeletePlaylistFiles(size_t(at - PlaylistNames.begin()));
        else
            WritePlaylistFiles(ChangingPlaylist, Tracks(root, {"Nocturnes/No 1.dff", "Aria/02 Gigue.dff",
                                                               "Nocturnes/No 2.dsf", "Nocturnes/No 3.dsf"}));
        break;
    }
    default: {
        // A rename is whole or not done: a kill leaves the album on one side.
        const std::string on = root + "drive/" + MovingAlbum, off = root + "parking/" + MovingAlbum;
        if (IsDirectory(on))
            std::rename(on.c_str(), off.c_str());
        else
            std::rename(off.c_str(), on.c_str());
        ScanLibrary(root + "drive/", 1);
        break;
    }
    }
}
