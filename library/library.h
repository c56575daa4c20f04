// library/: the list model, the list and playlist files, drive scanning, playlists on disk, sorting,
// the sides of long albums, the cover lookup and the drive slots.
//
// Texts are UTF-8 inside the program; the list files hold UTF-16LE. Where a text is counted or cut
// ("55 characters"), a character is a UTF-16 code unit, and no cut splits a surrogate pair. Bytes of
// a file name that are not UTF-8 are kept through the list files as the code units DC80 to DCFF, so
// that every path found on disk comes back byte for byte. Paths use '/'; a drive root is one of the
// platform's volume roots ("/", "/media/usb/") and ends in '/'.
//
// Everything here runs on the main thread unless a comment says otherwise.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

// One track of a play list, as the track probe makes it; a list holds its own copy.
struct ListEntry {
    std::string Path;         // full path of the audio file: the track's identity everywhere
    std::string Title;        // file name without folder and extension; the key of "Sort by name"
    std::string Extension;    // the path's extension, as written in it
    int32_t SampleRate = 0;   // decoded stream's rate in Hz, truncated
    std::string Album;        // name of the folder that holds the file
    std::string DisplayTitle; // the text a panel row shows (a copy of Title)
    std::string DurationText; // minutes in 3 places, ':', two-digit seconds
    int64_t Length = 0;       // playable length in bytes
    int32_t TrackId = 0;      // identity number given by the probe
    int64_t IsDsd = 0;        // 1 for DSF/DFF files
    int32_t DsdRate = 0;      // DSD bit rate in Hz
    std::string CoverPath;    // cover picture found for the track, empty if none
    std::string SecondCoverPath;
};

// --- The model (model.cpp) --------------------------------------------------------------------

constexpr size_t MaxListEntries = 6;
constexpr size_t MaxAlbumNameLength = 55;    // UTF-16 code units
constexpr size_t MaxPlaylistNameLength = 60; // UTF-16 code units
constexpr size_t DriveSlotCount = 7;

enum View : uint8_t { ViewList1 = 1, ViewList2 = 2, ViewPlaylists = 3, ViewLibrary = 4 };

// One of the two play lists ("List 1", "List 2"): its entries, their byte total and the panel's
// selection.
struct PlayList {
    std::vector<ListEntry> Entries; // at most MaxListEntries
    int64_t Bytes = 0;              // sum of Length over the entries appended
    int32_t Selected = 0;           // the selected entry (0-based): where playback starts from idle
};

// Written by the main thread only. The entries are also read by the audio thread when it opens the
// following track: every change of them holds ListLock, and a reader on another thread takes it
// while it copies an entry. The main thread reads them without it.
extern std::mutex ListLock;
extern std::array<PlayList, 2> PlayLists; // List 1, List 2: use ListOf

// Main thread only.
extern std::vector<std::string> LibraryOne;    // album names of library 1, in "lpli1.la" order
extern std::vector<std::string> PlaylistNames; // playlist names, sorted case-insensitively
extern uint8_t ActiveView;                     // a View: what the panel shows, where appends go
extern std::string ListFolder; // the data folder of the list files, ending in '/': exe folder + "lpli/"

// List 1 or List 2 (`list` is 1 or 2).
PlayList &ListOf(int list);
// The play list a view shows: 1 or 2 for ViewList1 and ViewList2, 0 for the other views.
int ListOfView(int view);
// The play list the panel shows (ListOfView of ActiveView).
int ShownList();
// Appends a copy of `entry` to List `list` while it holds fewer than MaxListEntries and adds its
// Length to the list's byte total. The index of the new entry, or -1 when the list is full or `list`
// names no play list.
int AppendEntry(int list, const ListEntry &entry);
// Removes entry `index` of List `list` and takes its Length off the byte total.
void RemoveEntry(int list, size_t index);
// Exchanges two entries of List `list`.
void SwapEntries(int list, size_t a, size_t b);
// Empties List `list`: no entries, byte total and selection 0.
void ClearList(int list);
// Whether both lists are empty.
bool BothListsEmpty();
// The entry of either list with this TrackId, with its list (1 or 2) and index; list 0 when no entry
// has it.
struct EntryPlace {
    int List = 0;
    size_t Index = 0;
};
EntryPlace FindEntry(int32_t track_id);

// --- Texts (text.cpp) -------------------------------------------------------------------------

// The conversions between UTF-8 and UTF-16 (ToUtf16, FromUtf16) are the platform's (platform/text.h).
// The longest beginning of `text` of at most `units` code units that ends between two characters.
std::string CutToUnits(std::string_view text, size_t units);
// `text` without its first `units` code units into `rest`; false when that would split a pair.
bool DropUnits(std::string_view text, size_t units, std::string &rest);
// Ordinal comparisons of the UTF-16 texts (<0, 0, >0): code unit by code unit, and the same after
// mapping every unit to upper case.
int CompareOrdinal(std::string_view a, std::string_view b);
int CompareIgnoringCase(std::string_view a, std::string_view b);
// Whether the text holds a CR, an LF or a zero byte. Linux allows them in file names, but such a
// name or path cannot be stored in a line of a list file: it would read back as other lines.
bool HasLineEnd(std::string_view text);
// "DSF" or "DFF" in any case.
bool IsMusicExtension(std::string_view extension);
std::string UpperAscii(std::string_view text);

// The lines of a list file's bytes. The mark decides the encoding and is skipped: FF FE UTF-16LE,
// EF BB BF UTF-8, none Windows-1252. A line ends at CR LF, a lone CR, a lone LF or a zero character;
// the last line needs no end. Empty lines are left out: no reader has a use for them, and a file of
// line ends alone would otherwise cost a string per line end. False (no lines) for a UTF-16BE or
// UTF-32 mark: the program never writes one, and such a file is treated as unreadable, so it is
// never rewritten either.
bool DecodeTextLines(std::string_view bytes, std::vector<std::string> &lines);
// The same lines handed one at a time to `visit`, for a reader that keeps only a few of them.
bool VisitTextLines(std::string_view bytes, const std::function<void(std::string &&line)> &visit);
// The program's own format: FF FE, then every line and CR LF in UTF-16LE.
std::string EncodeTextLines(const std::vector<std::string> &lines);
// Only the lines and their CR LF, without the mark.
void AppendUtf16Lines(std::string &bytes, const std::vector<std::string> &lines);

// --- List files (listfiles.cpp) ---------------------------------------------------------------

// File names in ListFolder. Only library 1 exists.
std::string AlbumIndexFile(int library); // "lpli" N ".la"
std::string AlbumTrackFile(int library); // "lpli" N ".lo"
inline constexpr const char *PlaylistIndexFile = "lpi.la";
inline constexpr const char *PlaylistTrackFile = "lpi.lo";

// A list file is read whole. The track file of a large drive holds a line per track, about 200 bytes
// each: a gigabyte is five million tracks.
constexpr size_t MaxListFileSize = size_t{1} << 30;

// What a change of the list files (or the settings file) came to: true when every file was written;
// else File names the one that could not be written (or read, to be rewritten) and Error holds the
// system's reason (an errno value). A change that fails leaves the files as they were; the program
// shows the message.
struct WriteResult {
    std::string File; // full path; empty when everything was written
    int Error = 0;
    explicit operator bool() const { return File.empty(); }
};
// The failure of `path` with the reason errno holds now.
WriteResult WriteFailure(const std::string &path);

// Reads a list file's lines (without the empty ones); false (and no lines) when it cannot be read or
// decoded.
bool ReadTextLines(const std::string &path, std::vector<std::string> &lines);
// Writes FF FE and the lines through a new file renamed over the old, so that a failure leaves the
// old file whole.
WriteResult WriteTextLines(const std::string &path, const std::vector<std::string> &lines);

// A list file as it was before a change, to be put back should a later step of the change fail.
struct KeptFile {
    std::string Path;
    bool Existed = false; // false: putting it back removes the file
    bool Kept = false;    // the bytes were read (or there was no file): it can be put back
    std::string Bytes;
};
// Reads the file into `kept`; false (errno says why) when it exists but cannot be read.
bool KeepFile(const std::string &path, KeptFile &kept);
// Gives the file its kept bytes again, or removes it when it was not there. False when it could not.
bool PutBack(const KeptFile &kept);

// LibraryOne from "lpli1.la", PlaylistNames from "lpi.la" (then sorted). A missing, empty or
// unreadable file leaves the list as it was; empty lines are skipped, blanks are kept.
void LoadLibraryIndex();
void LoadPlaylistIndex();
// Rewrites "lpi.la" from PlaylistNames; an empty list leaves the mark alone in it.
WriteResult SavePlaylistIndex();
// Stable ascending sort of PlaylistNames, case-insensitive.
void SortPlaylistNames();
// The track paths of every section of `track_file` (a full path) whose header is "!" + name, in
// file order.
std::vector<std::string> ReadSection(const std::string &track_file, const std::string &name);
// For each line of a track file, whether it lies inside a section headed "!" + name (its header
// included). A section runs from a line whose text after its first character is the name to the next
// line beginning with "!"; a later header of the same name begins another.
std::vector<bool> InsideSections(const std::vector<std::string> &lines, const std::string &name);

// --- Scanning (scan.cpp) ----------------------------------------------------------------------

// Scans the drive `root` for album folders (folders directly holding DSF/DFF files, depths 1 to 5)
// and rewrites the album index and track files of `library` in ListFolder; library 1 is then
// reloaded into LibraryOne. A drive without albums changes nothing; a failed write leaves both files
// as they were (except a track file that could not be read).
WriteResult ScanLibrary(const std::string &root, int library);
// The loaders find the tracks; the program probes each and appends it to the shown list.
// Every existing, non-empty DSF/DFF path of the sections `name` of `track_file`, in file order.
std::vector<std::string> LoadSection(const std::string &track_file, const std::string &name);
std::vector<std::string> LoadAlbum(const std::string &name, int library);
// The DSF/DFF files directly in `folder` (ending in '/'), in listing order. Names beginning with "."
// and subfolders are left out.
std::vector<std::string> AddFolderFiles(const std::string &folder);

// --- Sides (sides.cpp) ------------------------------------------------------------------------
//
// An album or playlist of more than six tracks loads like the sides of a record: each load of the
// same one goes on after the last track the load before it tried, with the tracks no list holds, up
// to its end; the load after the end begins at its first track again.

// One album or playlist as last loaded in this run.
struct Side {
    std::vector<std::string> Paths; // the loader's paths at the last load
    size_t Next = 0;                // the index of Paths where the next load goes on
};
// Keyed by the view that shows the name (ViewPlaylists or ViewLibrary) and the name. Main thread.
extern std::map<std::pair<uint8_t, std::string>, Side> Sides;

// Whether either list holds an entry of this path.
bool InAList(const std::string &path);
// The side of `name` on `view`, loaded now as `paths`. New, or loaded before with other paths, it
// begins at the first path; so it does once no path from its Next on is outside the lists.
Side &BeginSide(uint8_t view, const std::string &name, std::vector<std::string> paths);
// Up to `count` paths of the side from its Next on that no list holds; Next moves past the last one.
std::vector<std::string> TakeSidePaths(Side &side, size_t count);
// What the panel shows after the name while its next load goes on past its first track: the track
// numbers of the up to six paths it would take and the side's path count ("7-12 of 20", "7 of 7");
// else "".
std::string SideMark(uint8_t view, const std::string &name);

// --- Playlists (playlists.cpp) ----------------------------------------------------------------

inline constexpr const char *WrongNameText = "- Wrong name -";
inline constexpr const char *DoubleNameText = "- Double name -";

// Checks the text of the name dialog's entry. True: `result` is the name (trimmed of blanks, cut to
// MaxPlaylistNameLength). False: `result` is the message the entry shows instead.
bool ValidatePlaylistName(const std::string &text, std::string &result);
// Appends the playlist to "lpi.lo" and "lpi.la" and adds its validated name to PlaylistNames: the
// header "!" + name, then one line per entry of `entries` with two blanks and its Path. A failure
// leaves both files and PlaylistNames as they were.
WriteResult WritePlaylistFiles(const std::string &name, const std::vector<ListEntry> &entries);
// Removes the playlist at `position` of PlaylistNames: its sections leave "lpi.lo", its name leaves
// the list and "lpi.la" is rewritten. A position out of range changes nothing; a failure leaves both
// files and PlaylistNames as they were. The caller redraws.
WriteResult DeletePlaylistFiles(size_t position);
// The playlist's tracks (LoadSection on "lpi.lo").
std::vector<std::string> LoadPlaylist(const std::string &name);
// Sorts the list shown (views 1 and 2 only): 1 by Title (stable, ordinal on UTF-16 code units),
// 2 at random. True when a list was sorted; the caller redraws the panel.
bool SortActiveList(int mode);

// --- Cover lookup (cover.cpp) -- once per track when it enters a list ----------------------------

// The album cover of a track: a PNG, then a JPEG, named "cover", "front" or "folder" in any case, in
// the track's folder + "Art/" and in the folder itself (Art/ first for each type). The first match in
// listing order wins; "" when there is none. Nothing is cached.
std::string FindFolderCover(const std::string &track_path);
// The track's own picture in the track's folder + "Art/": named after the track (PNG, then JPEG),
// else any file beginning with the first two characters of its name (PNG, then JPEG); "" when there
// is none.
std::string FindTrackCover(const std::string &track_path);

// --- Tags (tags.cpp) -- read when a track is heard, never when it is probed -------------------------

// What a file's tags say: the ID3v2 tag of a DSF (where its header points), of a DFF's "ID3 " chunk,
// the DFF's DIIN title (DITI) and artist (DIAR) for what no ID3 tag gives, the APEv2 tag of a WavPack
// file (.wv). Texts are UTF-8, empty when no tag names them.
struct TrackTags {
    std::string Title, Artist, Album;
    uint32_t TrackNumber = 0; // 0 when none
    std::string Picture;      // the front cover, else the first picture, when PNG or JPEG; else empty
};
namespace TagLib {
class IOStream;
}
// The tags of the file at `path`, the kind told by its extension (DSF, DFF, WV in any case). A file
// that cannot be read, or holds no tag, gives empty tags. Any thread.
TrackTags ReadTrackTags(const std::string &path);
// The same over a stream of the file's bytes.
TrackTags ReadTagsFrom(TagLib::IOStream &stream, std::string_view extension);
// $XDG_CACHE_HOME (else ~/.cache) + "/groovestone-dsd/covers/"; "" when no home is known.
std::string CoverCacheFolder();
// Writes the picture into CoverCacheFolder once (named by its hash and size: a later call with the
// same picture finds the file) and gives the file's path; "" for no picture or when it cannot be
// written.
std::string WriteCoverFile(std::string_view picture);

// The tags of the list entry with this TrackId as the program shows them: the fields, and the picture
// as its cover file (CoverFile; Tags.Picture is emptied). The entry's file is read at the first call
// for a TrackId; later calls give the same record until another TrackId is asked for. Empty tags
// when no list holds the entry. Main thread.
struct ShownTags {
    TrackTags Tags;
    std::string CoverFile;
};
const ShownTags &TagsOfTrack(int32_t track_id);

// --- Drives (drives.cpp) ----------------------------------------------------------------------

// One item of the drive menu's sub-menu "Search to Library One ": item 219 + k shows slot k.
struct DriveMenuItem {
    std::string Root; // the drive's root, or "not available": the slot behind the item
    std::string Text; // "Drive   " + the root, or "Drive   not available"
    bool Enabled = false;
};
extern std::array<DriveMenuItem, DriveSlotCount> DriveMenuItems; // main thread

// Fills DriveMenuItems from the platform's volumes: the ready ones in order, at most
// seven, then "not available" in the remaining slots. An item whose choice does nothing (the root
// file system, "not available") is disabled.
void BuildDriveMenu();
// The same over a given volume list and readiness test.
void BuildDriveMenuFrom(const std::vector<std::string> &roots, bool (*ready)(const std::string &root));
// What choosing item 219 + slot does: scans that drive into library 1, unless the slot is empty, not
// a drive, or the root file system (listed, never scanned). The scan's result when a scan ran.
std::optional<WriteResult> ScanDriveSlot(size_t slot);
