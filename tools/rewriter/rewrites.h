// The program's rewrites of its list folder, one step at a time, over a folder tree of its own:
//   ROOT/lpli/     the list folder (ListFolder): "lp.is", "lpi.la", "lpi.lo", "lpli1.la", "lpli1.lo"
//   ROOT/drive/    the drive scanned into library 1: albums "Aria", "Nocturnes" and, half the time,
//                  "Etudes", each a folder of small DSF and DFF files
//   ROOT/parking/  where "Etudes" waits while it is off the drive
// Every write goes through the program's own procedures (SaveSettings, WritePlaylistFiles,
// DeletePlaylistFiles, ScanLibrary), so the files are exactly those the program leaves.
#pragma once

#include <string>
#include <vector>

// The playlist the steps write and delete; the others stay.
inline constexpr const char *ChangingPlaylist = "Kilo";

// Makes the tree under root (ending in '/', empty or missing) and writes the first state of every
// list file: the settings, three playlists and the scan of the drive. Leaves the program's state
// as after LoadRewriteState.
void PrepareRewriteFolders(const std::string &root);

// Sets ListFolder to root's list folder and reads the files back as the program does at start
// (settings, playlist names, library names), so that the steps go on from whatever is on disk.
void LoadRewriteState(const std::string &root);

// The number of different steps: 0 saves the settings with the other of two sets of options, 1
// writes the changing playlist when it is not there and deletes it when it is, 2 moves "Etudes"
// onto or off the drive and scans the drive. Doing each step twice returns every file to its bytes.
inline constexpr int RewriteStepCount = 3;
void RunRewriteStep(const std::string &root, int step);
