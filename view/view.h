// view/: the turntable view (what playback shows on the photograph) and the list panel with the two
// list buttons. Main thread only.
#pragma once

#include "audio/audio.h"

#include <string>

// --- The list panel (panel.cpp) -----------------------------------------------------------------
//
// ListPanel (canvas 63, 570x400 at (100, 122)) shows one view: List 1, List 2 (a duration and a title
// per entry), the playlist names or the library's album names. Its background is PanelBackground.

constexpr int VisibleRows = 12; // rows shown at once
constexpr int PageStep = 6;     // rows per scroll step
// The scroll position in steps of PageStep rows: the panel shows the entries ListPage * 6 to
// ListPage * 6 + 11. Written by the list commands and the track following; main thread.
extern int ListPage;

// Repaints the whole panel for `view` at scroll position `page`, with the 1-based panel row `row`
// highlighted (0: none). For view 1 or 2 the row also becomes that list's selection (SelectedIndex1
// or 2 = page * 6 + row - 1) when 1 <= row <= the list's entry count, else the selection is 0.
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

// What playback shows on the main window: the rate label, the transport texts' colours, the position
// bar, the view refresh and finish timers. The program sets Display to it once the main window
// stands.
extern const PlaybackDisplay TurntableDisplay;

// Run on every tick of timer 117 while a list plays and the main window is not minimised. An output
// that ran dry while the decoder still delivered ends playback after two seconds; otherwise an
// output that no longer runs resets the position bar.
void RefreshNowPlaying();
