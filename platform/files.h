// platform/files.h: files, sizes, attributes and folder listings.
//
// Paths are UTF-8 texts; a folder path ends in '/' where the program's texts expect one. Every
// procedure here may be called from any thread; none keeps state between calls.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

// --- Attributes -------------------------------------------------------------------------------

// The attribute bits the program tests, with their Windows values.
constexpr uint32_t AttrReadOnly = 0x01;
constexpr uint32_t AttrHidden = 0x02;
constexpr uint32_t AttrSystem = 0x04;
constexpr uint32_t AttrDirectory = 0x10;
constexpr uint32_t AttrArchive = 0x20;
constexpr uint32_t AttrReparsePoint = 0x400;
constexpr uint32_t AttrInvalid = 0xFFFFFFFF;

// Where the bits come from here:
// - AttrDirectory: the entry is a directory (for a symbolic link: its target is one).
// - AttrReadOnly: for a file, none of the three write permission bits is set (a symbolic link never
//   has it); for a directory, the bit kept in "user.DOSATTRIB". Permission bits of a folder are
//   access rights, like Windows' access lists, not its read-only attribute: folders on read-only
//   media or in a collection made read-only on purpose must still be entered by the scan.
// - AttrReparsePoint: the entry is a symbolic link (lstat; the link is not followed).
// - AttrHidden, AttrSystem, AttrArchive: the extended attribute "user.DOSATTRIB" as Samba and Wine
//   keep it, a hexadecimal text such as "0x22"; Samba may follow the text with a zero byte and a
//   binary record, which is ignored. Other bits of that text are ignored. (On NTFS and FAT volumes
//   Windows' own bits are not read.)
// A plain file with none of these reads 0 (Windows reads FILE_ATTRIBUTE_NORMAL, 0x80, there; the
// program never tests that bit). AttrInvalid when the path does not exist. A trailing '/' is allowed.
uint32_t GetFileAttributes(const std::string &path);

// Sets AttrHidden, AttrSystem and AttrArchive by rewriting "user.DOSATTRIB" as "0x.." text
// (removing it when none is set). AttrReadOnly of a file clears all its write permission bits, or
// gives the owner write permission back when none is set; AttrReadOnly of a directory goes into the
// text. AttrDirectory and AttrReparsePoint are ignored, as on Windows. When the file system refuses
// extended attributes (or the path is a symbolic link, whose "user." attributes Linux refuses),
// nothing is changed and the result is false; false too when the path does not exist.
bool SetFileAttributes(const std::string &path, uint32_t attributes);

// --- Files and folders ------------------------------------------------------------------------

// The size of the file in bytes: -1 when it does not exist or cannot be opened for reading, -2 for a
// directory. Symbolic links are followed, as opening the file on Windows does.
int64_t FileSize(const std::string &path);

// True for a directory, or a symbolic link to one.
bool IsDirectory(const std::string &path);

// Creates one folder (its parent must exist), like CreateDirectory: true only when it was created,
// false when it exists already or cannot be made. Permissions 0777 less the umask.
bool CreateFolder(const std::string &path);

// Writes the whole file so that a crash or a full disk never leaves it half written: the bytes go to
// a new file beside it (same folder, hidden unique name), which is flushed to the disk (fsync) and
// renamed over the old one; the folder is flushed after the rename. On any failure the old file is
// left as it was and the new one removed. A replaced file keeps its permission bits and its
// "user.DOSATTRIB"; a new one gets 0666 less the umask. A symbolic link is followed and its target
// replaced. Refused (false) where Windows' create call refuses: the path is a directory, or the old
// file is read-only (no write permission bit), even for root. The new file is named
// ".NAME.PID-N.tmp"; such files of the same NAME whose process no longer runs (it was killed while
// writing) are removed first, so that crashes never pile them up. On failure errno says why (EISDIR
// and EACCES for the two refusals).
bool WriteFileWhole(const std::string &path, const void *data, size_t size);

// Reads the whole file into out. False (out emptied) when it cannot be read, is not a regular file (a
// directory, a pipe, a device: opened without blocking, never waited on), or holds more than max_size
// bytes. On failure errno says why (EISDIR, EINVAL for another kind of file, EFBIG when too large).
bool ReadFileWhole(const std::string &path, std::string &out, size_t max_size = size_t{64} << 20);

// --- Path texts -------------------------------------------------------------------------------

// The path up to and including its last '/'; "" when it has none.
std::string FolderOf(const std::string &path);
// The path after its last '/'.
std::string FileNameOf(const std::string &path);
// The text after the last dot of the file name; "" when the name has no dot. "a.b/c" has none.
std::string ExtensionOf(const std::string &path);
// True when the path is shorter than the system's limit (PATH_MAX, its closing zero included). A
// longer one names no file; the program refuses it where it comes in, before it is looked at.
bool PathFitsSystem(std::string_view path);

// --- Folder listings --------------------------------------------------------------------------

struct DirEntry {
    std::string Name;    // as the file system has it, without the folder
    uint32_t Attributes; // as GetFileAttributes gives them (see ListDetail)
    int64_t Size;        // bytes (readable or not), -2 for a directory, -1 when unknown
    bool IsDirectory;    // a directory, or a symbolic link to one
};

// How much ListDirectory learns about entries that are not directories. Every field of a directory or
// a symbolic link is always filled. Learning a file's attributes costs a stat and an extended
// attribute read per file, which doubles the cost of a listing, while the scan and the cover lookup
// only need to know which entries are files.
enum class ListDetail {
    Everything,    // every field of every entry
    FolderDetails, // other entries carry their Name, IsDirectory = false, Attributes 0, Size -1
};

// Whether name matches a Windows file pattern, upper and lower case alike. The pattern is read as
// FindFirstFile reads it: "*.*" is "*" and matches every name, also names without a dot; '?' is one
// character, but matches nothing in front of a dot or at the end ("a?.dsf" matches "a.dsf"); a '*'
// just before a dot cannot run past the name's last dot; a '.' at the end or before '*' or '?' also
// matches the end of a name without a dot ("*." finds names without an extension). Windows would
// also match the 8.3 short name of a file; there is none here.
bool MatchesPattern(const std::string &name, const std::string &pattern);

// The order in which folder entries are listed: by name as NTFS keeps them, comparing UTF-16 code
// units after upper-casing (so "_x" comes after "Zeta", and "é" after "z"); names equal but for case
// are ordered by their bytes. The upper-casing covers Latin, Greek, Cyrillic and full-width letters;
// NTFS's table covers more of Unicode. Bytes that are not UTF-8 compare as single code units.
bool NameBefore(const std::string &a, const std::string &b);

// Lists the entries of folder (with or without a trailing '/') whose names match pattern, in place
// of out, never "." or "..". Linux lists a folder in no useful order (hash order on ext4); here the
// entries come sorted as an NTFS volume lists them (see NameBefore), so that every walk over the disk
// is the same from run to run. False (out empty) when the folder cannot be opened.
//
// Cost: one getdents per few hundred entries; per directory entry one getxattr (its attributes need
// no stat, see file_internal.h); per symbolic link two fstatat and one getxattr; per other entry,
// with ListDetail::Everything, one fstatat and one getxattr, with FolderDetails nothing. Where the
// file system does not report entry types, one fstatat more per entry. A walk over 20,000 album
// folders with 100,000 files takes about as long as `find` with FolderDetails and about twice as long
// with Everything (tests/platform/bench_listing.cpp).
bool ListDirectory(const std::string &folder, const std::string &pattern, std::vector<DirEntry> &out,
                   ListDetail detail = ListDetail::Everything);
