// app/: entry, start-up checks, deployment, shutdown, splash and main window, event loop, list
// commands and pointer hit-testing.
#pragma once

#include "library/library.h"

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

// --- Start-up checks and deployment (startup.cpp) -- main thread, before any window exists

constexpr uint64_t MinimumTotalMemory = 3'984'588'800;     // 3,800 MiB
constexpr uint64_t MinimumAvailableMemory = 2'726'297'600; // 2,600 MiB

// Enough processors: at least 2 in the machine and at least 1 usable by this process.
bool ProcessorsSufficient(int machine, int process);
// Enough memory: the comparisons are "below the minimum fails", so exactly the minimum passes.
bool MemorySufficient(uint64_t total, uint64_t available);

// How many of these process image names belong to a player of the family (the running program
// counts itself); counting stops at 2. Linux: the names carry no ".exe": "Groovestone",
// "Groovestone DSD" and "Groovestone-lp-dsd" (the built executable), exactly and in that case, or
// any name holding "Quickbuild_Compilation"; the image names are those of /proc/<pid>/exe.
int CountFamilyProcesses(const std::vector<std::string> &image_names);
// True when another player of the family already runs.
bool AnotherPlayerRunning();

// Makes sure base + "Tonmark/tm20/" exists (hidden) and holds the three engine libraries with the
// embedded lengths; base is the user's data folder ending in '/', or "" for the current folder.
// Returns that folder, which the engine is bound from. Reports nothing: a library that cannot be
// written shows up when binding fails.
// Linux: base is the XDG data folder (LocalAppDataFolder), made with its parents when a fresh account
// has none yet; the libraries are the shared objects "tava.so", "tavo.so" and "tavd.so"; hidden and
// system are bits of the "user.DOSATTRIB" extended attribute; a library is written as a new file
// renamed over the old one, so a library still mapped by another process is never changed under it.
std::string DeployEngineLibraries(const std::string &base);

// --- Start-up and shutdown (program.cpp) -- main thread

// The files named on the command line, as absolute local paths. Written by RunProgram; the event
// loop's set-up adds them as a drop would, and a second start hands them to the player running.
extern std::vector<std::string> LaunchFiles;
// --choose-device was given: start-up shows the device and options windows whatever the settings
// and the splash say. Written by RunProgram.
extern bool ChooseDeviceAtStart;

// The program: the command line's options (--help, --version; an unknown one ends with exit code 2
// and the usage on standard error), the checks, the guard, deployment and binding of the engine, the
// private font, then the visible start (RunVisibleStart), and the shutdown in every case. Never
// returns. The other arguments name files or a folder to add (LaunchFiles); while another player
// runs, they go to that one. "--choose-device" sets ChooseDeviceAtStart.
// Linux: messages are GTK message boxes (MessageBox of platform/gui.h; without a display their text
// goes to standard error); processors come from get_nprocs_conf and sched_getaffinity, memory from
// /proc/meminfo; "Lucida Calligraphy" is TeX Gyre Chorus, carried in the executable, registered for
// this process only (RegisterPrivateFont) and asked for under the Windows name through a private
// fontconfig alias (AddFontAliases), which also maps "Segoe UI", "Segoe UI Light" and "Tahoma" to
// free faces.
[[noreturn]] void RunProgram(int argc, char **argv);
// The one way out: releases the windows, controls, images, fonts, timers and menus, the engine
// libraries and the playback memory, and ends the process with exit code `code` (0 but where the
// player could not run at all, as without a display).
[[noreturn]] void Shutdown(int code = 0);

// --- The visible start (visible.cpp) -- main thread

// Splash, the saved-device check, the device and options windows when they are needed, the main
// window faded in, the playback memory, then the event loop. Returns when the program must end
// (a window was left without a choice); the caller then shuts down.
void RunVisibleStart();
// The device window, filled as the output devices are listed and probed (ListOutputDevice), with
// "No sound device found" when none of them could be opened, then the choice (RunDeviceWindow).
// False: the window was left without a choice; at start-up the program must then end.
bool ChooseAudioDevice();
// "Audio device..." of the main window: playback stopped and the output closed, then the device
// window; a device chosen is opened at once (its card reserved, the previous one's given back), then
// the options window, and the settings are saved (the cover options chosen here hold from the next
// start, the main window being built for the present ones; Escape in the options window keeps them
// as they were). Left without a choice, or with a device that does not open (its error shown), the
// previous device is opened again; should that fail too, the program ends (CloseSequence).
void ChangeAudioDevice();
// Opens the splash window (23) with its picture.
void OpenSplash();
// Waits on the splash until its 800 ms timer ticks (the answer stays ask_device), a click or Enter
// (true: ask for the device) or Space or another command (false). Then closes the splash.
bool WaitOnSplash(bool ask_device);
// Shows the main window and raises its opacity from 0 to 255 in 51 steps, 1 ms apart.
// Linux: the opacity is the window's _NET_WM_WINDOW_OPACITY, which a compositing window manager
// applies (without one the window simply appears); the window system runs during each 1 ms wait so
// that every step reaches the screen, and events of that time are dropped, as the drain after the
// fade drops them.
void FadeInMainWindow();

// --- The main window (mainwindow.cpp) -- main thread

// Opens the main window (20) at opacity 0, hidden, and builds every control at its place in
// MainLayout (ui/objects.h) on the photograph: the title bar, the close and minimise buttons, the canvases
// with their photo patches, the scroll chevrons, the transport texts and the button captions. CornerBox
// exists only when ViewCover is 1, image PlainPanelBackground only when it is 2.
void BuildMainWindow();
// Repaints the close or minimise button in its normal or pointer-over look.
void DrawCloseButton(bool hover);
void DrawMinimizeButton(bool hover);

// --- The event loop (eventloop.cpp) -- main thread

// Opens the engine on OutputDevice in DSD mode, sets up the keys and dropping, loads the playlist and
// library indexes, shows the playlists, and then handles the main window's events until the program
// ends. Never returns. Linux: the core is given no window (nullptr); a left press starts a window
// move (BeginWindowDrag, gtk_window_begin_move_drag), which runs on without the program, so the click
// is handled at once at the press's position.
[[noreturn]] void RunEventLoop();
// The way out asked for by the user (the close request, CloseButton): playback stopped, the output
// and the core released, the main window closed, the program ended.
[[noreturn]] void CloseSequence();
// A driver of the program from within: when set, the event loop calls it after every event and at
// least every 10 ms between events, on the main thread where the keys' commands run, so that it can
// run them (RunCommand) as the keys would. Null in the program; the transport soak (tools/soak) sets
// it before RunProgram. Main thread.
extern void (*EventLoopDriver)();

// --- The desktop's ways in (mpris.cpp) -- main thread
//
// MPRIS2 on the session bus as org.mpris.MediaPlayer2.groovestone while the main window lives: the
// player's state read at once, its methods run as the keys' commands between two events. Without a
// session bus the player runs on without it.

// The command-line arguments as absolute local paths: relative names against the current folder,
// file:// URIs decoded (LocalPathOfUri of platform/gui.h); other URIs, files of another host and
// paths too long for the system (PathFitsSystem) are left out.
std::vector<std::string> LocalPathsOfArguments(int count, char **arguments);
// The single-instance guard on the session bus: connects and asks for the name at once, never
// queueing for it. False when another process holds it (a player, whatever its file is called);
// true when this process now holds it, and without a session bus. From RunProgram's guard, before
// anything is written; the name is then held until ReleaseMprisName, while the interfaces wait for
// the main window (OwnMprisName).
bool ClaimMprisName();
// Serves the two interfaces on the connection of ClaimMprisName (claiming the name first where that
// has not run). From the event loop's set-up.
void OwnMprisName();
// Gives up the name and the connection; nothing when there is none. At shutdown.
void ReleaseMprisName();
// Runs the requests the bus's method calls noted (Play, Pause, Next, OpenUri...), on RemoteTimer.
void RunRemoteRequests();
// Sends PropertiesChanged when the playback status or the track heard differs from what was last
// announced. After every event of the event loop: the player also stops by itself.
void AnnounceMprisChanges();
// Signals Seeked with the position heard: after a seek from the window or the bus.
void AnnounceSeek();
// A second start's files go to the player running, by OpenUri, one call each; nothing without a
// session bus or a player on it.
void HandFilesToRunningPlayer(const std::vector<std::string> &paths);

// --- Commands (commands.cpp) -- main thread
//
// One table holds every command of the main window: its number (keys and menu items), the control
// whose left click runs it, its key, and when it may run.

// Binds the keys of the table to the main window; a letter counts in either case.
void BindCommandKeys();
// Creates the list menu (212), the playlist menu (213), the drive menu (218) and the device menu
// (226) from the table.
void CreateMenus();
// The right-click dispatch at PointerPos: over the panel the list menu (List 1 or 2 shown) or the
// playlist menu (playlists shown); over the Library button the drive menu, its items made anew from
// the drives present; anywhere else (the tone arm, the table, the buttons) the device menu, "Audio device...".
void RightClickAt();
// The buttons List 1 and List 2 (view ViewList1 or ViewList2): that list from its first page, nothing
// selected; while idle the cover of its first entry is shown.
void ShowList(uint8_t view);
// The buttons Lists and Library (view ViewPlaylists or ViewLibrary): the playlist or album names
// from the first page; while idle no cover is shown.
void ShowNames(uint8_t view);
// Runs command `number` (a key or a menu item) when its guard allows; other numbers do nothing.
void RunCommand(int number);
// The left-click dispatch at PointerPos: the first control of the table under the pointer decides.
void ClickAt();
// The pause toggle: the Pause text's colour is the pause state.
void TogglePause();

// --- List commands (listcommands.cpp) -- main thread

// Appends a copy of the entry to the list the panel shows (while it holds fewer than six) and shows
// it: its row and the list's button. Then lets one pending window event through unhandled. False
// when the list was full.
bool AppendToActiveList(const ListEntry &entry);
// The files handed in together (a drop, an Open, an album load, the command line, a burst of OpenUri
// calls) are reported together: while a FileBatch lives, every refused file is noted, and when the
// outermost one ends one box lists them ("Error of the file 'x.dsf'" and the reason, the first few by
// name, then how many more) with the files that found no room; a rate above the device's brings one
// "Sample rate is too high." box before it. Batches nest.
struct FileBatch {
    FileBatch();
    ~FileBatch();
    FileBatch(const FileBatch &) = delete;
    FileBatch &operator=(const FileBatch &) = delete;
};
// The text of that box: the named refusals (file name, reason) of refused_count in all, then the named
// files of homeless_count that found no room; empty when there is nothing to say.
std::string FileBatchText(const std::vector<std::pair<std::string, std::string>> &refused,
                          size_t refused_count, const std::vector<std::string> &homeless,
                          size_t homeless_count);
// Every way of adding tracks ends here: each DSF/DFF/WV path (by its extension, as written) is probed
// and an accepted track appended to the shown list (AppendToActiveList); a path too long for the
// system (PathFitsSystem) is passed over unseen; the refusals go to the FileBatch. drain: the pending
// window events are taken after every path, as the open dialog's long lists want. overflow: a track
// that finds the shown list full goes to the other list, and one that finds both full is named in the
// batch's box.
void AddTracks(const std::vector<std::string> &paths, bool drain = false, bool overflow = false);
// The selected entry of List 1 or 2 leaves the list (not the last one); the entry before it is
// selected. Only while idle.
void RemoveSelectedEntry();
// Exchanges the selected entry with the one above (1) or below (2); it stays selected. Only while
// idle.
void MoveSelectedEntry(int direction);
// The panel up or down by six rows; down only while elements lie below the twelve shown.
void ScrollPanelUp();
void ScrollPanelDown();
// Empties the list shown (views 1 and 2); once both lists are empty the run's rate is reset.
void EmptyShownList();
// Empties both lists, resets the run's rate and shows List 1's empty panel.
void EmptyBothLists();
// The panel without rows, at page 0.
void BlankListPanel();
// The lists and the view the last run left (ReadSavedLists), at start: each track still readable is
// probed into its list again; a track gone is passed over and a damaged file ignored, without a
// message. Nothing when there is no such file.
void RestoreLists();
// The open dialog: the chosen DSF/DFF/WV files are probed and appended (a playlist view turns to List 1).
void OpenAudioFiles();
// Files or folders dropped on the window (also those of the command line and of MPRIS' OpenUri),
// each path whole: a single folder (as the disk has it) fills List 1 with its own music files; files
// are probed and appended. Ignored on the playlist view while List 1 holds entries.
void DropFiles(const std::vector<std::string> &paths);
// Files or folders handed in from outside (the command line, a second start, MPRIS' OpenUri): added
// as a drop on List 1 would add them, whatever view is shown (the playlist or library view turns to
// List 1), and with overflow (AddTracks): what the shown list cannot take goes to the other.
void AddOutsideFiles(const std::vector<std::string> &paths);
// A double-click: on the playlist or library view, ChoosePanelRow of the row under the pointer.
void ChooseFromPanel();
// Loads the playlist or album of 1-based panel row `row` into an empty list (List 1 first) and shows
// that list; nothing when both lists hold tracks or the row shows no name. One of more than six
// tracks loads a side at a time (Sides): the list filled with its next tracks no list holds.
void ChoosePanelRow(int row);

// --- Playlists and the library from the window (listcommands.cpp) -- main thread

// The list shown (List 1 or 2) written as a new playlist under the name the name dialog gives; an
// empty list is refused without a word.
void WritePlaylist();
// Asks for confirmation, then removes the playlist at `position` of PlaylistNames and repaints the
// panel from its first page.
void DeletePlaylist(size_t position);
// The list shown sorted by name (1) or shuffled (2), repainted from its first page.
void SortShownList(int mode);
// Scans the drive of slot `slot` into library 1 (not the root file system, not an empty slot) and
// shows the library from its first page; the busy cursor shows meanwhile.
void ScanDriveSlotIntoLibrary(size_t slot);
// After a change of the list files or the settings: when it failed, the message box "Error" names
// the file and the system's reason. Nothing when everything was written. Writing and deleting a
// playlist, the drive scan and the settings of the first start report through it.
void ShowWriteFailure(const WriteResult &result);
