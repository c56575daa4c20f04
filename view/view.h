// view/: the turntable view (what playback shows on the photograph) and the list panel with the two
// list buttons. Main thread only.
#pragma once

#include "audio/audio.h"

#include <string>

// --- The list panel (panel.cpp) -----------------------------------------------------------------
//
// ListPanel (canvas 63, at its place in MainLayout) shows one view: List 1, List 2 (a duration and a
// title per entry), the playlist names or the library's album names. Its background is PanelBackground.

constexpr int VisibleRows = 12; // rows shown at once
constexpr int PageStep = 6;     // rows per scroll step
// The scroll position in steps of PageStep rows: the panel shows the entries ListPage * 6 to
// ListPage * 6 + 11. Written by the list commands and the track following; main thread.
extern int ListPage;

// Repaints the whole panel for `view` at scroll position `page`, with the 1-based panel row `row`
// highlighted (0: none). For view 1 or 2 the row also becomes that list's selection (its Selected =
// page * 6 + row - 1) when 1 <= row <= the list's entry count, else the selection is 0.
void DrawListPanel(int view, int row, int page);
// Writes one entry's duration and title on panel row `index` (0-based) over what is there, without
// repainting the background; nothing for a row outside 0 to 11.
void DrawListRow(int index, const std::string &title, const std::string &duration);
// Repaints the List 1 or List 2 button: its caption while the list's byte total is 0, else the
// list's playing time ("  4:05", " 1:02:05").
void DrawListButton(int list);
// The list button's text for a byte total at a frequency (DSD rate / 32): "" for 0 bytes; minutes
// right-aligned in 3 places, ':', seconds in 2 digits; from an hour on, hours modulo 99 in 2 places,
// then minutes and seconds in 2 digits each.
std::string ListTimeText(int64_t bytes, int32_t frequency);
// The number in decimal, padded on the left with `fill` to `width` characters; a longer text keeps
// its first `width` characters.
std::string PadLeft(int64_t number, size_t width, char fill);

// --- The turntable view (turntable.cpp) ---------------------------------------------------------
//
// The album cover is shown as ViewCover says: in CornerBox, blended with the photograph when
// BlendPicture is 1, or printed on the record's label: darkened, cut to the label's ellipse by
// LabelMask and burned into PanelBackground at the label's place (LabelLeft, LabelTop), so that every
// later panel repaint shows it. ViewCover cannot change while the main window lives.

// 0 no cover on screen, 1 a cover in CornerBox, 2 a cover on the label. Main thread.
extern uint8_t CoverShown;

// From now on playback shows itself on the main window (audio/'s Display is the turntable's table):
// the rate label, the transport texts' colours, the position bar, the view refresh and finish
// timers, its messages. Once the main window stands.
void ShowPlaybackOnTurntable();

// Loads the picture (PNG or JPEG, by its content) and shows it as ViewCover says; a picture that
// cannot be loaded changes nothing and shows no message.
void ShowCover(const std::string &path);
// The bare photograph where a cover is shown: the corner patch, or the plain panel background with
// the rows repainted over it.
void RemoveCover();
// A cover path is one only when it is longer than 4 characters.
bool IsCoverPath(const std::string &path);

// Run on every tick of timer 117 while a list plays, the output plays on (OutputPlaysOn) and the
// main window is not minimised: the position bar with the title heard (its tag's title when it has
// one); at a change of the track heard, its cover (a picture file, else its tags' picture) and the
// list panel turned to its list with its row selected and in view.
void RefreshNowPlaying();
// Repaints the position bar: its patch, the light box 464 wide, the dark fill `width` wide (both
// blended) and the title in the calligraphic face. Only the 470x28 bar is repainted.
void DrawPositionBar(int width, const std::string &title);
// The width of the position bar's dark fill for `played` of `end` bytes: trunc(played / end * 470),
// full past the end, 0 for an empty track.
int PositionBarWidth(int64_t played, int64_t end);
// The track following: the 0-based index of the entry heard and the panel's page before, to the
// page after, so that the entry's row is on the panel (the page moves only when it must).
int FollowPage(int index, int page);
