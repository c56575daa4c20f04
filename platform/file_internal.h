// Shared by files.cpp and listing.cpp: how an entry's attribute bits are put together, so that a
// listing and GetFileAttributes always agree.
#pragma once

#include <sys/stat.h>

#include <cstdint>

// The bits kept in "user.DOSATTRIB" of path (not following a symbolic link): hidden, system and
// archive, and for a directory also read-only (see AttributesOf). 0 when there is no such attribute
// or the file system keeps none.
uint32_t DosAttribBits(const char *path, bool directory);

// The attributes of path, whose lstat is own; target is its stat when own is a symbolic link (null
// when the link leads nowhere). A directory's read-only bit is the one kept in "user.DOSATTRIB", not
// its permission bits: a folder without write permission is common on read-only media and in
// collections made read-only on purpose, and on Windows such folders (access rights, not the
// attribute) are still entered by the scan.
uint32_t AttributesOf(const char *path, const struct stat &own, const struct stat *target);
