// On a display (Xvfb): the list panel and the list buttons of the main window, read back pixel by
// pixel against pictures the test composes itself from the photograph's patches and the layout rules
// (durations end at x 40, titles and names start at 55 and 4, rows 32 pixels apart from y 2).

#include "audio/internal.h"
#include "library/library.h"
#include "platform/gui.h"
#include "resources.h"
#include "ui/objects.h"
#include "view/view.h"

#include "program_gui.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

constexpr int Scratch = 900; // an image number the program does not use
constexpr uint32_t Plain = 0xEFEFEF, Lit = 0x60F060, Caption = 0xE0E0E0;

class PanelTest : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        ASSERT_TRUE(StartProgramGui());
        OpenTurntable({ListPanel, List1Button, List2Button});
    }
    static void TearDownTestSuite() { CloseWindow(MainWindow); }
};

// The list buttons fit in the panel's size as well.
constexpr int PanelWidth = LayoutOf(ListPanel).W, PanelHeight = LayoutOf(ListPanel).H;

// Every pixel of a canvas or an image the size of the panel (0 outside it).
std::vector<uint32_t> Pixels(Output out) {
    return Pixels(out, PanelWidth, PanelHeight);
}

// One text the picture must show: its left edge or, when right_edge is set, where it ends.
struct Expected {
    int x, y;
    bool right_edge;
    std::string text;
    uint32_t colour;
};

// The picture `patch` with the texts written on it in `font`, composed on a scratch image.
std::vector<uint32_t> Compose(int patch, int font, const std::vector<Expected> &texts) {
    CopyImage(patch, Scratch);
    if (!StartDrawing(ImageOutput(Scratch))) return {};
    DrawingMode(ModeTransparent);
    DrawingFont(font);
    for (const Expected &t : texts)
        DrawText(t.right_edge ? t.x - TextWidth(t.text) : t.x, t.y, t.text, t.colour);
    StopDrawing();
    return Pixels(ImageOutput(Scratch));
}

// Where two pictures of the same size differ: "" when nowhere, else the count and the first place.
std::string Difference(const std::vector<uint32_t> &seen, const std::vector<uint32_t> &wanted) {
    if (seen.size() != wanted.size()) return "sizes differ";
    size_t count = 0, first = 0;
    for (size_t i = 0; i < seen.size(); ++i)
        if (seen[i] != wanted[i] && count++ == 0) first = i;
    if (count == 0) return "";
    return std::to_string(count) + " pixels differ, first at (" + std::to_string(first % PanelWidth) + ", " +
           std::to_string(first / PanelWidth) + ")";
}

ListEntry Entry(const std::string &title, const std::string &duration) {
    ListEntry e;
    e.DisplayTitle = title;
    e.DurationText = duration;
    return e;
}

// Panel rows are 32 pixels high and their texts start 2 pixels below the row's top.
int RowTop(int shown) {
    return 32 * shown + 2;
}

} // namespace

// The rows of each view against the composed picture, and the selection the highlight sets.
TEST_F(PanelTest, ListPanelShowsTheRowsOfItsPageWithOneHighlight) {
    const std::vector<ListEntry> one = {
        Entry("Blue in Green", "  5:37"),      Entry("So What", "  9:22"),
        Entry("Freddie Freeloader", "  9:46"), Entry("Flamenco Sketches", " 11:26"),
        Entry("All Blues", " 11:33"),          Entry("Jingle", "  0:04")};
    const std::vector<ListEntry> two = {Entry("Aria", "  3:07"), Entry("Variatio 1", "  1:51")};
    std::vector<std::string> names;
    for (int i = 0; i < 19; ++i) names.push_back("Album " + std::to_string(i) + (i % 2 ? " (live)" : ""));
    ListOf(1).Entries = one;
    ListOf(2).Entries = two;
    PlaylistNames = {"Evening", "Morning", "Road trip"};
    LibraryOne = names;
    // An album of eight tracks whose next load goes on at track 7: its row shows "7-8 of 8" at the right.
    Sides[{ViewLibrary, names[1]}] = {{"/s/1", "/s/2", "/s/3", "/s/4", "/s/5", "/s/6", "/s/7", "/s/8"}, 6};
    const std::vector<uint32_t> background = Compose(PanelBackground, FontSegoeLight12, {});

    // (view, highlighted row, page, SelectedIndex1 after, SelectedIndex2 after); -1: not changed
    const int cases[][5] = {
        {1, 0, 0, 0, -1},  {1, 3, 0, 2, -1},   {1, 6, 0, 5, -1},  {1, 7, 0, 0, -1},
        {1, 2, 1, 7, -1},  {2, 2, 0, -1, 1},   {2, 3, 0, -1, 0},  {3, 2, 0, -1, -1},
        {4, 1, 0, -1, -1}, {4, 12, 1, -1, -1}, {4, 5, 2, -1, -1}, {4, 0, 3, -1, -1},
    };
    for (const auto &[view, row, page, selected1, selected2] : cases) {
        SCOPED_TRACE("view " + std::to_string(view) + " row " + std::to_string(row) + " page " +
                     std::to_string(page));
        ListOf(1).Selected = ListOf(2).Selected = 99;
        DrawListPanel(view, row, page);
        EXPECT_EQ(ListOf(1).Selected, selected1 < 0 ? 99 : selected1);
        EXPECT_EQ(ListOf(2).Selected, selected2 < 0 ? 99 : selected2);

        std::vector<Expected> texts;
        const size_t count = view == 1 ? one.size() : view == 2 ? two.size() : view == 3 ? 3 : names.size();
        for (size_t m = 0; m < count; ++m) {
            const int shown = int(m) - page * 6;
            if (shown < 0 || shown > 11) continue;
            const uint32_t colour = shown + 1 == row ? Lit : Plain;
            if (view <= 2) {
                const ListEntry &e = (view == 1 ? one : two)[m];
                texts.push_back({40, RowTop(shown), true, e.DurationText, colour});
                texts.push_back({55, RowTop(shown), false, e.DisplayTitle, colour});
            } else {
                texts.push_back({4, RowTop(shown), false, view == 3 ? PlaylistNames[m] : names[m], colour});
                if (view == 4 && m == 1)
                    texts.push_back({PanelWidth - 4, RowTop(shown), true, "7-8 of 8", colour});
            }
        }
        const std::vector<uint32_t> wanted = Compose(PanelBackground, FontSegoeLight12, texts);
        EXPECT_EQ(Difference(Pixels(CanvasOutput(ListPanel)), wanted), "");
        EXPECT_EQ(Difference(wanted, background).empty(), texts.empty()) << "the texts leave ink";
    }
}

// A single row is written over what the panel shows, and only for rows 0 to 11.
TEST_F(PanelTest, ListRowWritesOneRowAndNothingOutsideThePanel) {
    ListOf(1).Entries.clear();
    DrawListPanel(1, 0, 0);
    const std::vector<uint32_t> background = Compose(PanelBackground, FontSegoeLight12, {});
    ASSERT_EQ(Difference(Pixels(CanvasOutput(ListPanel)), background), "");
    for (int index : {12, -1, 40}) {
        DrawListRow(index, "Outside", "  1:00");
        EXPECT_EQ(Difference(Pixels(CanvasOutput(ListPanel)), background), "") << index;
    }
    DrawListRow(11, "Last row", "  0:59");
    DrawListRow(0, "First row", " 12:00");
    const std::vector<uint32_t> wanted = Compose(PanelBackground, FontSegoeLight12,
                                                 {{40, RowTop(11), true, "  0:59", Plain},
                                                  {55, RowTop(11), false, "Last row", Plain},
                                                  {40, RowTop(0), true, " 12:00", Plain},
                                                  {55, RowTop(0), false, "First row", Plain}});
    EXPECT_EQ(Difference(Pixels(CanvasOutput(ListPanel)), wanted), "");
}

// The time texts and their padding, then what each list button shows for its list's byte total.
TEST_F(PanelTest, ListButtonsShowTheCaptionOrThePlayingTime) {
    EXPECT_EQ(PadLeft(12345, 3, ' '), "123");
    EXPECT_EQ(PadLeft(7, 3, ' '), "  7");
    EXPECT_EQ(PadLeft(5, 2, '0'), "05");
    EXPECT_EQ(PadLeft(42, 2, '0'), "42");

    // (seconds, DSD rate, text); bytes are seconds x 8 x frequency, the frequency a 32nd of the rate
    struct Case {
        double seconds;
        int32_t rate;
        std::string text;
    };
    const Case cases[] = {
        {245, 2'822'400, "  4:05"},
        {245.9, 5'644'800, "  4:05"},
        {59 * 60 + 59, 2'822'400, " 59:59"},
        {3600 + 125, 2'822'400, " 1:02:05"},
        {100 * 3600, 2'822'400, " 1:00:00"},
        {99 * 3600 + 61, 11'289'600, " 0:01:01"},
        {0, 2'822'400, ""},
    };
    for (const Case &c : cases) {
        const int32_t frequency = c.rate / 32;
        const auto bytes = static_cast<int64_t>(c.seconds * 8 * frequency);
        EXPECT_EQ(ListTimeText(bytes, frequency), c.text) << c.seconds;

        // Each button shows its own list's total; the other list's total is far from it.
        for (int list : {1, 2}) {
            Transport.OutputFrequency = frequency;
            ListOf(1).Bytes = list == 1 ? bytes : 8 * 3000 * int64_t{frequency};
            ListOf(2).Bytes = list == 2 ? bytes : 8 * 3000 * int64_t{frequency};
            DrawListButton(list);
            const std::string caption = list == 1 ? "List 1" : "List 2";
            const Expected text = c.text.empty() ? Expected{4, 2, false, caption, Caption}
                                                 : Expected{1, 2, false, c.text, Caption};
            std::vector<uint32_t> seen = Pixels(CanvasOutput(list == 1 ? List1Button : List2Button));
            std::vector<uint32_t> wanted =
                Compose(list == 1 ? List1Patch : List2Patch, FontCalligraphy12, {text});
            EXPECT_EQ(Difference(seen, wanted), "") << "list " << list << ", " << c.seconds << " s";
        }
    }
}
