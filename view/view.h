// view/: the turntable view, the list panel and the cover lookup.
#pragma once

#include <string>

// --- Cover lookup (cover.cpp) -- main thread, once per track when it enters a list ---------------

// The album cover of a track: a PNG, then a JPEG, named "cover", "front" or "folder" in any case, in
// the track's folder + "Art/" and in the folder itself (Art/ first for each type). The first match in
// listing order wins; "" when there is none. Nothing is cached.
std::string FindFolderCover(const std::string &track_path);

// The track's own picture in the track's folder + "Art/": named after the track (PNG, then JPEG),
// else any file beginning with the first two characters of its name (PNG, then JPEG); "" when there
// is none.
std::string FindTrackCover(const std::string &track_path);
