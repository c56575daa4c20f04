// The list panel over the record, and the List 1 and List 2 buttons beside it.

#include "view.h"

#include "library/library.h"
#include "ui/objects.h"
#include "ui/ui.h"

#include <algorithm>
#include <cmath>

int ListPage = 0; // main thread

namespace {

constexpr uint32_t RowText = 0xEFEFEF;        // 239, 239, 239
constexpr uint32_t RowHighlight = 0x60F060;   // 96, 240, 96
constexpr uint32_t ListButtonText = 0xE0E0E0; // 224, 224, 224
constexpr int DurationRight = 40;             // durations end here
constexpr int TitleLeft = 55;
constexpr int NameLeft = 4; // playlist and album names
// The mark of a name whose next load goes on past its first track ends here, as far from the panel's
// right edge as the names are from its left.
constexpr int SideMarkRight = LayoutOf(ListPanel).W - NameLeft;

// An entry's two texts on panel row `row` (0-based), the duration right-aligned.
void DrawEntryTexts(int row, const std::string &title, const std::string &duration, uint32_t colour) {
    const int y = row * RowHeight + 2;
    DrawText(DurationRight - TextWidth(duration), y, duration, colour);
    DrawText(TitleLeft, y, title, colour);
}

} // namespace

std::string PadLeft(int64_t number, size_t width, char fill) {
    std::string text = std::to_string(number);
    if (text.size() > width) return text.substr(0, width);
    return std::string(width - text.size(), fill) + text;
}

std::string ListTimeText(int64_t bytes, int32_t frequency) {
    if (bytes == 0 || frequency <= 0) return "";
    // Each unit truncated from the floating-point time, as the seconds, minutes and hours are taken
    // one by one.
    const double seconds = static_cast<double>(bytes) / frequency / 8;
    const auto s = static_cast<int64_t>(std::trunc(seconds));
    const auto m = static_cast<int64_t>(std::trunc(seconds / 60));
    const auto h = static_cast<int64_t>(std::trunc(seconds / 60 / 60));
    if (h == 0) return PadLeft(m, 3, ' ') + ":" + PadLeft(s % 60, 2, '0');
    return PadLeft(h % 99, 2, ' ') + ":" + PadLeft(m % 60, 2, '0') + ":" + PadLeft(s % 60, 2, '0');
}

void DrawListPanel(int view, int row, int page) {
    if (const int list = ListOfView(view)) {
        const size_t count = ListOf(list).Entries.size();
        int32_t &selected = ListOf(list).Selected;
        // The bound is the entry count, compared with the panel row.
        selected = row >= 1 && static_cast<size_t>(row) <= count ? page * PageStep + row - 1 : 0;
    }
    // Private copies: drawing lets the window system run, and nothing may change the lists under it.
    std::vector<ListEntry> entries;
    std::vector<std::string> names;
    if (const int list = ListOfView(view)) entries = ListOf(list).Entries;
    if (view == ViewPlaylists) names = PlaylistNames;
    if (view == ViewLibrary) names = LibraryOne;
    // The marks of the names shown, taken before drawing as the names are.
    const int first = page * PageStep;
    std::vector<std::string> marks(names.size());
    for (size_t m = static_cast<size_t>(std::max(first, 0));
         m < names.size() && m < size_t(first + VisibleRows); ++m)
        marks[m] = SideMark(static_cast<uint8_t>(view), names[m]);

    if (!StartDrawing(CanvasOutput(ListPanel))) return;
    DrawImage(PanelBackground, 0, 0);
    DrawingMode(ModeTransparent);
    DrawingFont(FontSegoeLight12);
    const size_t count = entries.size() + names.size();
    for (size_t m = 0; m < count; ++m) {
        const int shown = static_cast<int>(m) - first; // the panel row, 0-based
        if (shown < 0 || shown >= VisibleRows) continue;
        const uint32_t colour = row == shown + 1 ? RowHighlight : RowText;
        if (!entries.empty())
            DrawEntryTexts(shown, entries[m].DisplayTitle, entries[m].DurationText, colour);
        else {
            DrawText(NameLeft, shown * RowHeight + 2, names[m], colour);
            if (!marks[m].empty())
                DrawText(SideMarkRight - TextWidth(marks[m]), shown * RowHeight + 2, marks[m], colour);
        }
    }
    StopDrawing();
}

void DrawListRow(int index, const std::string &title, const std::string &duration) {
    if (index < 0 || index >= VisibleRows) return;
    if (!StartDrawing(CanvasOutput(ListPanel))) return;
    DrawingMode(ModeTransparent);
    DrawingFont(FontSegoeLight12);
    DrawEntryTexts(index, title, duration, RowText);
    StopDrawing();
}

void DrawListButton(int list) {
    const int control = list == 1 ? List1Button : List2Button;
    if (!StartDrawing(CanvasOutput(control))) return;
    DrawImage(list == 1 ? List1Patch : List2Patch, 0, 0);
    DrawingMode(ModeTransparent);
    DrawingFont(FontCalligraphy12);
    const std::string time = ListTimeText(ListOf(list).Bytes, RunFrequency());
    if (time.empty())
        DrawText(4, 2, list == 1 ? "List 1" : "List 2", ListButtonText);
    else
        DrawText(1, 2, time, ListButtonText);
    StopDrawing();
}
