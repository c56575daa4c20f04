// Library scanning: the walk of a drive for album folders into the album files of a library, and
// the loads that hand the tracks of an album, a playlist or a dropped folder to the program.

#include "library.h"

#include "platform/files.h"

#include <set>

namespace {

constexpr int DeepestAlbum = 5; // album folders are found at depths 1 to 5 below the drive root

// A folder is entered only if its attribute set is exactly the directory attribute: hidden, system,
// read-only, archive, a symbolic link or any other attribute keeps the scan out of it.
bool IsFolderToEnter(const DirEntry &e) {
    return e.IsDirectory && e.Attributes == AttrDirectory && !HasLineEnd(e.Name);
}

bool IsMusicFile(const DirEntry &e) {
    return !e.IsDirectory && IsMusicExtension(ExtensionOf(e.Name)) && !HasLineEnd(e.Name);
}

struct Album {
    std::string Folder;              // full path without a trailing '/'
    std::vector<std::string> Tracks; // names of its DSF/DFF files, in listing order
};

// Examines `folder` at `depth` (1 to 5), pre-order: a folder directly holding music files is an album
// and is not entered further; otherwise its subfolders are examined in listing order, each one
// completely before the next. A folder that cannot be listed counts as empty.
//
// The album's track names are kept from this listing, which is the listing that would be read again
// to write the track lines: every folder is listed once.
void Examine(const std::string &folder, int depth, std::vector<Album> &albums) {
    std::vector<DirEntry> entries;
    ListDirectory(folder, "*.*", entries, ListDetail::FolderDetails);
    Album album;
    std::vector<std::string> pending;
    for (const DirEntry &e : entries) {
        if (IsMusicFile(e))
            album.Tracks.push_back(e.Name);
        else if (depth < DeepestAlbum && e.Name[0] != '.' && IsFolderToEnter(e))
            pending.push_back(folder + "/" + e.Name);
    }
    if (!album.Tracks.empty()) {
        album.Folder = folder;
        albums.push_back(std::move(album));
        return;
    }
    entries = {};
    for (const std::string &sub : pending) Examine(sub, depth + 1, albums);
}

// An album's name from its path below the drive root: the folder's name alone directly in the root,
// else "parent : folder"; cut to MaxAlbumNameLength characters.
std::string AlbumName(std::string_view below) {
    size_t last = below.rfind('/');
    if (last == below.npos) return CutToUnits(below, MaxAlbumNameLength);
    size_t before = below.rfind('/', last - 1);
    size_t start = before == below.npos ? 0 : before + 1;
    std::string name =
        std::string(below.substr(start, last - start)) + " : " + std::string(below.substr(last + 1));
    return CutToUnits(name, MaxAlbumNameLength);
}

// Each name heads one section of the track file, and loading a name loads every section it heads: a
// name already taken gets " (2)", " (3)"... after it, cut first so that the whole keeps to
// MaxAlbumNameLength.
std::string UniqueName(const std::string &name, std::set<std::string> &taken) {
    std::string unique = name;
    for (int n = 2; taken.count(unique); ++n) {
        const std::string suffix = " (" + std::to_string(n) + ")";
        unique = CutToUnits(name, MaxAlbumNameLength - suffix.size()) + suffix;
    }
    taken.insert(unique);
    return unique;
}

} // namespace

WriteResult ScanLibrary(const std::string &root_text, int library) {
    std::string root = root_text;
    if (root.empty() || root.back() != '/') root += '/';
    std::vector<Album> albums;
    std::vector<DirEntry> entries;
    ListDirectory(root, "*.*", entries, ListDetail::FolderDetails);
    // At the first level a leading dot does not keep a folder out; files in the root are ignored.
    for (const DirEntry &e : entries)
        if (IsFolderToEnter(e)) Examine(root + e.Name, 1, albums);
    if (albums.empty()) return {}; // the old library stays as it was

    std::vector<std::string> names, lines;
    std::set<std::string> taken;
    names.reserve(albums.size());
    for (const Album &album : albums) {
        std::string name = UniqueName(AlbumName(std::string_view(album.Folder).substr(root.size())), taken);
        lines.push_back("!" + name);
        for (const std::string &track : album.Tracks) lines.push_back("  " + album.Folder + "/" + track);
        names.push_back(std::move(name));
    }
    // Each file is replaced whole or not at all, the track file first and the index only once it is
    // written: a failure or a crash between the two leaves the old names over the new sections (an
    // album still on the drive loads as before), never new names without their tracks. Old names
    // that the new track file no longer has would stand without tracks there, so when there are any
    // the index loses them first (the albums that stay keep their order). Should a later step fail,
    // the track file and then the index get their old bytes back, in that order, so that no moment
    // shows names without their tracks either. (A track file that cannot be read is written over all
    // the same: nothing could load from it, and then it cannot come back.)
    const std::string index = ListFolder + AlbumIndexFile(library),
                      tracks = ListFolder + AlbumTrackFile(library);
    std::string old_index;
    std::vector<std::string> old_names, staying;
    bool shrinks = false;
    if (ReadFileWhole(index, old_index) && DecodeTextLines(old_index, old_names)) {
        for (std::string &name : old_names) {
            if (name.empty()) continue;
            if (taken.count(name))
                staying.push_back(std::move(name));
            else
                shrinks = true;
        }
    }
    WriteResult result;
    if (shrinks && !(result = WriteTextLines(index, staying))) return result; // nothing has changed
    KeptFile old_tracks;
    KeepFile(tracks, old_tracks);
    bool tracks_old = true;
    result = WriteTextLines(tracks, lines);
    if (result) {
        tracks_old = false;
        if (!(shrinks && staying == names)) {
            result = WriteTextLines(index, names);
            if (!result) tracks_old = PutBack(old_tracks);
        }
    }
    if (!result && shrinks && tracks_old) WriteFileWhole(index, old_index.data(), old_index.size());
    if (library == 1) LoadLibraryIndex();
    return result;
}

std::vector<std::string> LoadSection(const std::string &track_file, const std::string &name) {
    std::vector<std::string> paths;
    for (std::string &path : ReadSection(track_file, name))
        if (FileSize(path) > 0 && IsMusicExtension(ExtensionOf(path))) paths.push_back(std::move(path));
    return paths;
}

std::vector<std::string> LoadAlbum(const std::string &name, int library) {
    return LoadSection(ListFolder + AlbumTrackFile(library), name);
}

std::vector<std::string> AddFolderFiles(const std::string &folder_text) {
    std::string folder = folder_text;
    if (folder.empty() || folder.back() != '/') folder += '/';
    std::vector<DirEntry> entries;
    ListDirectory(folder, "*.*", entries, ListDetail::FolderDetails);
    std::vector<std::string> paths;
    for (const DirEntry &e : entries)
        if (!e.IsDirectory && e.Name[0] != '.' && IsMusicExtension(ExtensionOf(e.Name)))
            paths.push_back(folder + e.Name);
    return paths;
}
