// The list commands on the model, without a window (their drawing then does nothing): removing and
// moving entries, scrolling, emptying, and filling the lists from a drop or a chosen panel row, with
// real DSF/DFF files probed by the engine libraries of the build.

#include "app/app.h"
#include "audio/audio.h"
#include "audio/internal.h"
#include "dsd_testfiles.h"
#include "fixtures.h"
#include "library/library.h"
#include "library/settings.h"
#include "platform/gui.h"
#include "view/view.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

namespace {

std::vector<std::string> Messages;
// No window: the messages playback would show are recorded.
const PlaybackDisplay Recorder = {
    .ShowMessage = [](const std::string &title, const std::string &text,
                      uint32_t) { Messages.push_back(title + "|" + text); },
};

class ListCommands : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        ASSERT_EQ(BindEngine(ENGINE_DIR), BindOk);
        EngineFn.Tavo_Init(0, 44'100, 0x1000, nullptr, nullptr);
        Display = &Recorder;
    }
    static void TearDownTestSuite() {
        Display = nullptr;
        EngineFn.Tavo_Free();
        UnbindEngine();
    }
    void SetUp() override {
        ASSERT_NE(EngineFn.Tavo_Init, nullptr) << "the engine libraries of " ENGINE_DIR " are not bound";
        Reset();
        PlaylistNames.clear();
        LibraryOne.clear();
        ListFolder = dir.path;
        DeviceCaps = DeviceRecord{};
        DeviceCaps.Dsd = {1, 1, 1, 1};
        ViewCover = CoverTrack = 0;
        Messages.clear();
        Sides.clear();
    }
    void TearDown() override { Reset(); }
    // Both lists empty, List 1 shown at the top, no run rate.
    static void Reset() {
        ClearList(1);
        ClearList(2);
        Transport.SessionDsdRate = Transport.OutputFrequency = 0;
        ActiveView = ViewList1;
        ListPage = 0;
    }
    // A track of about 23 ms at 2.8 MHz at dir + name.
    std::string Track(const std::string &name, TestDsdKind kind, uint32_t seed, uint32_t rate = 2'822'400) {
        TestDsdShape shape;
        shape.kind = kind;
        shape.seed = seed;
        shape.rate = rate;
        const std::string path = dir.path + name;
        std::filesystem::create_directories(std::filesystem::path(path).parent_path());
        EXPECT_TRUE(TestDsd_WriteFile(shape, path)) << path;
        return path;
    }
    TempFolder dir;
};

// `count` entries of paths prefix + "0".. with distinct lengths.
std::vector<ListEntry> Entries(const std::string &prefix, int count) {
    std::vector<ListEntry> entries(static_cast<size_t>(count));
    for (int k = 0; k < count; ++k) {
        entries[size_t(k)].Path = prefix + std::to_string(k);
        entries[size_t(k)].Length = 1000 * (k + 1) + 7;
    }
    return entries;
}

int64_t Bytes(const std::vector<ListEntry> &entries) {
    int64_t sum = 0;
    for (const ListEntry &e : entries) sum += e.Length;
    return sum;
}

std::vector<std::string> Paths(const std::vector<ListEntry> &entries) {
    std::vector<std::string> paths;
    for (const ListEntry &e : entries) paths.push_back(e.Path);
    return paths;
}

std::vector<std::string> Sorted(std::vector<std::string> paths) {
    std::sort(paths.begin(), paths.end());
    return paths;
}

// The entry a list holds before a command fills the other one.
ListEntry Held() {
    ListEntry e;
    e.Path = "/held/0.dsf";
    return e;
}

// Both lists hold `count` entries, both selections are `selected`, view `view` is shown.
void Fill(int view, int count, int selected) {
    ListOf(1).Entries = Entries("a", count);
    ListOf(2).Entries = Entries("b", count);
    ListOf(1).Bytes = Bytes(ListOf(1).Entries);
    ListOf(2).Bytes = Bytes(ListOf(2).Entries);
    ListOf(1).Selected = ListOf(2).Selected = selected;
    ActiveView = uint8_t(view);
}

// Both lists hold exactly these entries, their byte totals follow, and these entries are selected.
void ExpectLists(const std::vector<ListEntry> &one, const std::vector<ListEntry> &two, int32_t want1,
                 int32_t want2) {
    EXPECT_EQ(Paths(ListOf(1).Entries), Paths(one));
    EXPECT_EQ(Paths(ListOf(2).Entries), Paths(two));
    EXPECT_EQ(ListOf(1).Bytes, Bytes(one));
    EXPECT_EQ(ListOf(2).Bytes, Bytes(two));
    EXPECT_EQ(ListOf(1).Selected, want1);
    EXPECT_EQ(ListOf(2).Selected, want2);
}

} // namespace

// Remove takes the selected entry of the shown list and selects the one before it; move exchanges
// it with its neighbour and it stays selected. Neither touches the other list.
TEST_F(ListCommands, RemoveAndMoveWorkOnTheSelectedEntryOfTheShownList) {
    // (view, entries, selected); the entry goes unless it is the only one or the index is past the end
    const int removals[][3] = {{1, 4, 2}, {1, 4, 0}, {1, 4, 3}, {2, 3, 1}, {1, 1, 0}, {1, 4, 4}, {3, 4, 1}};
    for (const auto &[view, count, selected] : removals) {
        SCOPED_TRACE("remove: view " + std::to_string(view) + ", " + std::to_string(count) +
                     " entries, index " + std::to_string(selected));
        Fill(view, count, selected);
        std::vector<ListEntry> one = ListOf(1).Entries, two = ListOf(2).Entries;
        const bool removes = view <= 2 && count > 1 && selected < count;
        std::vector<ListEntry> &changed = view == 2 ? two : one;
        int32_t want1 = selected, want2 = selected;
        if (removes) {
            changed.erase(changed.begin() + selected);
            (view == 1 ? want1 : want2) = std::max(selected - 1, 0);
        }
        RemoveSelectedEntry();
        ExpectLists(one, two, want1, want2);
    }

    // (view, entries, selected, direction: 1 up, 2 down)
    const int moves[][4] = {{1, 4, 0, 1}, {1, 4, 3, 2}, {1, 4, 2, 1}, {1, 4, 1, 2},
                            {1, 4, 0, 2}, {1, 4, 3, 1}, {2, 3, 1, 1}, {2, 3, 1, 2},
                            {1, 1, 0, 2}, {1, 4, 1, 0}, {1, 4, 1, 3}, {4, 4, 1, 2}};
    for (const auto &[view, count, selected, direction] : moves) {
        SCOPED_TRACE("move: view " + std::to_string(view) + ", " + std::to_string(count) +
                     " entries, index " + std::to_string(selected) + ", direction " +
                     std::to_string(direction));
        Fill(view, count, selected);
        std::vector<ListEntry> one = ListOf(1).Entries, two = ListOf(2).Entries;
        std::vector<ListEntry> &changed = view == 2 ? two : one;
        const int to = direction == 1 ? selected - 1 : direction == 2 ? selected + 1 : -1;
        int32_t want1 = selected, want2 = selected;
        if (view <= 2 && to >= 0 && to < count) {
            std::swap(changed[size_t(selected)], changed[size_t(to)]);
            (view == 1 ? want1 : want2) = to;
        }
        MoveSelectedEntry(direction);
        ExpectLists(one, two, want1, want2);
    }
}

// Down goes six rows at a time while a name lies below the twelve shown; up stops at the top.
TEST_F(ListCommands, ScrollingStopsOnceTheLastNameIsShownAndAtTheTop) {
    for (int names : {0, 12, 13, 18, 19, 20, 24, 25, 40}) {
        LibraryOne.clear();
        for (int k = 0; k < names; ++k) LibraryOne.push_back("Album " + std::to_string(k));
        ActiveView = ViewLibrary;
        ListPage = 0;
        // The last page is the first whose twelve rows reach the last name.
        int last = 0;
        while (last * 6 + 12 < names) ++last;
        for (int step = 1; step <= 8; ++step) {
            ScrollPanelDown();
            EXPECT_EQ(ListPage, std::min(step, last)) << names << " names, step " << step;
        }
        for (int step = 1; step <= 8; ++step) {
            ScrollPanelUp();
            EXPECT_EQ(ListPage, std::max(last - step, 0)) << names << " names, up " << step;
        }
    }
    // A full list never scrolls.
    Fill(ViewList1, int(MaxListEntries), 0);
    ScrollPanelDown();
    EXPECT_EQ(ListPage, 0);
}

// Emptying the shown list keeps the run's rate while the other list holds tracks; emptying both
// resets it and returns to List 1 at the top.
TEST_F(ListCommands, EmptyingResetsTheRateOnlyOnceBothListsAreEmpty) {
    constexpr int32_t Rate = 5'644'800, Frequency = Rate / 32;
    // (view, List 1 holds entries, List 2 holds entries)
    const int cases[][3] = {{1, 1, 1}, {2, 1, 1}, {2, 0, 1}, {1, 1, 0}, {3, 1, 1}, {4, 0, 0}};
    for (const auto &[view, has1, has2] : cases) {
        SCOPED_TRACE("view " + std::to_string(view) + ", lists " + std::to_string(has1) +
                     std::to_string(has2));
        Fill(view, 3, 2);
        if (!has1) ListOf(1).Entries.clear(), ListOf(1).Bytes = 0;
        if (!has2) ListOf(2).Entries.clear(), ListOf(2).Bytes = 0;
        Transport.SessionDsdRate = Rate;
        Transport.OutputFrequency = Frequency;
        const bool left1 = has1 && view != 1, left2 = has2 && view != 2;
        EmptyShownList();
        EXPECT_EQ(ListOf(1).Entries.size(), left1 ? 3u : 0u);
        EXPECT_EQ(ListOf(2).Entries.size(), left2 ? 3u : 0u);
        EXPECT_EQ(ListOf(1).Bytes, Bytes(ListOf(1).Entries));
        EXPECT_EQ(ListOf(2).Bytes, Bytes(ListOf(2).Entries));
        EXPECT_EQ(ListOf(1).Selected, view == 1 ? 0 : 2);
        EXPECT_EQ(ListOf(2).Selected, view == 2 ? 0 : 2);
        EXPECT_EQ(Transport.SessionDsdRate, left1 || left2 ? Rate : 0);
        EXPECT_EQ(Transport.OutputFrequency, left1 || left2 ? Frequency : 0);
        EXPECT_EQ(ActiveView, view);
    }

    Fill(ViewLibrary, 3, 2);
    ListPage = 2;
    Transport.SessionDsdRate = Rate;
    Transport.OutputFrequency = Frequency;
    EmptyBothLists();
    EXPECT_TRUE(ListOf(1).Entries.empty() && ListOf(2).Entries.empty());
    EXPECT_EQ(ListOf(1).Bytes + ListOf(2).Bytes + ListOf(1).Selected + ListOf(2).Selected, 0);
    EXPECT_EQ(Transport.SessionDsdRate + Transport.OutputFrequency, 0);
    EXPECT_EQ(ActiveView, ViewList1);
    EXPECT_EQ(ListPage, 0);
}

// A drop: one folder fills List 1 with its own DSF/DFF files, files go to the shown list, other
// extensions and several folders are left alone, and the playlist view refuses while List 1 is used.
// Paths come whole, line feeds and dots in names included; what is a folder, the disk says. A path
// too long for the system is passed over without a word.
TEST_F(ListCommands, DroppedFoldersAndFilesFillTheListsTheyBelongTo) {
    const std::string a = Track("album/1.dsf", TestDsdKind::DsfLsb, 1);
    const std::string b = Track("album/2.dff", TestDsdKind::Dff, 2);
    Track("album/.hidden.dsf", TestDsdKind::DsfLsb, 3);
    Track("album/inner/4.dsf", TestDsdKind::DsfLsb, 4);
    WriteBytes(dir.path + "album/notes.txt", "liner notes");
    const std::string c = Track("other/3.dsf", TestDsdKind::DsfMsb, 5);
    const std::string d = Track("Live.2019/1.dsf", TestDsdKind::DsfLsb, 6);
    const std::string e = Track("nl\n3.dsf", TestDsdKind::DsfLsb, 7);
    const std::string album = dir.path + "album", other = dir.path + "other", live = dir.path + "Live.2019";
    const std::vector<std::string> files = {a, album + "/notes.txt", c};
    const std::string long_path = dir.path + std::string(1 << 20, 'n') + ".dsf";

    struct Case {
        int view;
        bool held1, held2; // the list holds one entry before the drop
        std::vector<std::string> items;
        std::vector<std::string> added1, added2; // the paths appended, in any order
        int view_after;
    };
    const Case cases[] = {
        {3, true, false, {album}, {}, {}, 3},
        {3, true, false, files, {}, {}, 3},
        {1, false, false, {album, other}, {}, {}, 1},
        {2, false, true, {album}, {a, b}, {}, 1},
        {4, false, false, {album}, {a, b}, {}, 1},
        {2, false, false, files, {}, {a, c}, 2},
        {3, false, false, files, {a, c}, {}, 1},
        {1, false, true, files, {a, c}, {}, 1},
        {4, false, false, files, {}, {}, 4},
        {3, false, false, {live}, {d}, {}, 1},
        {2, false, false, {e}, {}, {e}, 2},
        {1, false, false, {long_path}, {}, {}, 1},
        {1, false, false, {long_path, c}, {c}, {}, 1},
    };
    const std::string held = Held().Path;
    for (const Case &t : cases) {
        SCOPED_TRACE("view " + std::to_string(t.view) + " with " + std::to_string(t.held1) +
                     std::to_string(t.held2) + ": " + t.items[0].substr(0, 80) + " and " +
                     std::to_string(t.items.size() - 1) + " more");
        Reset();
        if (t.held1) ListOf(1).Entries = {Held()};
        if (t.held2) ListOf(2).Entries = {Held()};
        ActiveView = uint8_t(t.view);
        DropFiles(t.items);
        std::vector<std::string> want1 = t.added1, want2 = t.added2;
        if (t.held1) want1.push_back(held);
        if (t.held2) want2.push_back(held);
        EXPECT_EQ(Sorted(Paths(ListOf(1).Entries)), Sorted(want1));
        EXPECT_EQ(Sorted(Paths(ListOf(2).Entries)), Sorted(want2));
        EXPECT_EQ(ListOf(1).Bytes, Bytes(ListOf(1).Entries));
        EXPECT_EQ(ListOf(2).Bytes, Bytes(ListOf(2).Entries));
        EXPECT_EQ(ActiveView, t.view_after);
        // Only a track that found a place in a list fixes the run's rate.
        const bool added = !t.added1.empty() || !t.added2.empty();
        EXPECT_EQ(Transport.SessionDsdRate, added ? 2'822'400 : 0);
        EXPECT_EQ(Transport.OutputFrequency, added ? 88'200 : 0);
    }
    EXPECT_TRUE(Messages.empty()) << Messages.front();
}

// A track probed while no list can take it (the Library shown, the list shown full) leaves the run
// without a rate, so a track of another rate is still taken once a list can hold it.
TEST_F(ListCommands, OnlyAnAppendedTrackFixesTheRunsRate) {
    const std::string low = Track("rates/low.dsf", TestDsdKind::DsfLsb, 1);
    const std::string high = Track("rates/high.dsf", TestDsdKind::DsfLsb, 2, 5'644'800);
    ActiveView = ViewLibrary;
    DropFiles({low});
    ListOf(2).Entries = Entries("b", int(MaxListEntries));
    ActiveView = ViewList2;
    DropFiles({low});
    EXPECT_EQ(ListOf(2).Entries.size(), MaxListEntries);
    EXPECT_EQ(Transport.SessionDsdRate, 0);
    ActiveView = ViewList1;
    DropFiles({high, low});
    EXPECT_EQ(Paths(ListOf(1).Entries), std::vector<std::string>{high})
        << "the run's rate is the first appended";
    EXPECT_EQ(Transport.SessionDsdRate, 5'644'800);
    EXPECT_EQ(Transport.OutputFrequency, 176'400);
    EXPECT_TRUE(Messages.empty()) << Messages.front();
}

// Files handed in from outside reach the lists whatever view is shown, the shown list first, then the
// other; all the refusals of one batch make one box, naming the first five with their reasons, then
// how many more, then the files that found no room. A batch inside a batch adds to it.
TEST_F(ListCommands, FilesHandedInTogetherMakeOneBoxAndOverflowIntoTheOtherList) {
    std::vector<std::string> boxes;
    SetMessageBoxHook([&](const std::string &title, const std::string &text, uint32_t) {
        boxes.push_back(title + "|" + text);
        return 1;
    });
    std::vector<std::string> paths;
    TestDsdShape dst;
    dst.kind = TestDsdKind::Dff;
    dst.dst = true;
    ASSERT_TRUE(TestDsd_WriteFile(dst, dir.path + "dst.dff"));
    paths.push_back(dir.path + "dst.dff");
    paths.push_back(Track("cut.dsf", TestDsdKind::DsfLsb, 1));
    std::filesystem::resize_file(paths.back(), 5000);
    for (int i = 0; i < 6; ++i) {
        paths.push_back(dir.path + "bad" + std::to_string(i) + ".dsf");
        WriteBytes(paths.back(), std::string(200, 'x'));
    }
    const std::string good1 = Track("good1.dsf", TestDsdKind::DsfLsb, 2),
                      good2 = Track("good2.dff", TestDsdKind::Dff, 3);
    paths.insert(paths.end(),
                 {good1, good2, Track("good3.dsf", TestDsdKind::DsfMsb, 4), dir.path + "notes.txt"});
    Fill(ViewLibrary, int(MaxListEntries) - 1, 0);
    {
        FileBatch outer;
        AddOutsideFiles(std::vector<std::string>(paths.begin(), paths.begin() + 5));
        AddOutsideFiles(std::vector<std::string>(paths.begin() + 5, paths.end()));
        EXPECT_TRUE(boxes.empty()) << "not before the batch ends";
    }
    EXPECT_EQ(ActiveView, ViewList1);
    EXPECT_EQ(ListOf(1).Entries.back().Path, good1);
    EXPECT_EQ(ListOf(2).Entries.back().Path, good2);
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0], "Error|Error of the file 'dst.dff'\nDST compression is not supported\n\n"
                        "Error of the file 'cut.dsf'\nthe file is shorter than its header says\n\n"
                        "Error of the file 'bad0.dsf'\nnot a DSD file\n\n"
                        "Error of the file 'bad1.dsf'\nnot a DSD file\n\n"
                        "Error of the file 'bad2.dsf'\nnot a DSD file\n\nand 3 more files\n\n"
                        "No room in List 1 or List 2 for 'good3.dsf'");
    // No room for many: the first five by name.
    boxes.clear();
    AddOutsideFiles(std::vector<std::string>(7, good1));
    EXPECT_EQ(boxes,
              std::vector<std::string>{"Error|No room in List 1 or List 2 for 'good1.dsf', 'good1.dsf', "
                                       "'good1.dsf', 'good1.dsf', 'good1.dsf' and 2 more files"});
    SetMessageBoxHook({});
}

// A chosen playlist or album goes to an empty list, List 1 first; the row counts from the page shown.
TEST_F(ListCommands, ChosenRowLoadsIntoTheFirstEmptyList) {
    const std::string a = Track("album/1.dsf", TestDsdKind::DsfLsb, 1);
    const std::string b = Track("album/2.dff", TestDsdKind::Dff, 2);
    ASSERT_TRUE(WriteTextLines(dir.path + "lpi.lo", {"!Evening", "  " + a, "!Mix", "  " + a, "  " + b}));
    ASSERT_TRUE(WriteTextLines(dir.path + "lpli1.lo", {"!Album", "  " + b}));

    struct Case {
        int view, page, row;
        bool held1, held2;
        int target; // the list loaded, 0 for none
        std::vector<std::string> loaded;
    };
    const Case cases[] = {
        {3, 0, 1, false, false, 1, {a}},   {3, 1, 1, false, false, 1, {a, b}}, {3, 0, 1, true, false, 2, {a}},
        {3, 1, 1, false, true, 1, {a, b}}, {3, 0, 1, true, true, 0, {}},       {3, 1, 2, false, false, 0, {}},
        {3, 0, 0, false, false, 0, {}},    {4, 0, 1, false, false, 1, {b}},    {4, 0, 2, false, false, 0, {}},
        {4, 0, 1, true, false, 2, {b}},    {1, 0, 1, false, false, 0, {}},
    };
    const std::string held = Held().Path;
    for (const Case &t : cases) {
        SCOPED_TRACE("view " + std::to_string(t.view) + " page " + std::to_string(t.page) + " row " +
                     std::to_string(t.row) + " with " + std::to_string(t.held1) + std::to_string(t.held2));
        Reset();
        PlaylistNames = {"Evening", "P1", "P2", "P3", "P4", "P5", "Mix"};
        LibraryOne = {"Album"};
        if (t.held1) ListOf(1).Entries = {Held()};
        if (t.held2) ListOf(2).Entries = {Held()};
        ActiveView = uint8_t(t.view);
        ListPage = t.page;
        ChoosePanelRow(t.row);
        std::vector<std::string> want1, want2;
        if (t.held1) want1 = {held};
        if (t.held2) want2 = {held};
        if (t.target == 1) want1 = t.loaded;
        if (t.target == 2) want2 = t.loaded;
        EXPECT_EQ(Paths(ListOf(1).Entries), want1);
        EXPECT_EQ(Paths(ListOf(2).Entries), want2);
        EXPECT_EQ(ActiveView, t.target ? t.target : t.view);
        EXPECT_EQ(ListPage, t.target ? 0 : t.page);
    }
    EXPECT_TRUE(Messages.empty()) << Messages.front();
}

// An album or playlist of more than six tracks loads a side at a time: each load fills the list with
// the next tracks no list holds (a refused track gives its place to the one after it), up to the end,
// then from the start again; its row's mark says where the next load goes on.
TEST_F(ListCommands, ALongAlbumLoadsSideBySideAndItsRowShowsWhereTheNextGoesOn) {
    std::vector<std::string> paths = {"!Long"};
    for (uint32_t k = 1; k <= 20; ++k) {
        TestDsdShape shape;
        shape.rate = k == 3 || k == 5 ? 5'644'800 : 2'822'400; // refused: not the run's rate
        shape.seed = k;
        paths.push_back(dir.path + "long/" + std::to_string(k + 10) + ".dsf");
        std::filesystem::create_directories(dir.path + "long");
        ASSERT_TRUE(TestDsd_WriteFile(shape, paths.back()));
        paths.back().insert(0, "  ");
    }
    ASSERT_TRUE(WriteTextLines(dir.path + "lpi.lo", paths));
    ASSERT_TRUE(WriteTextLines(dir.path + "lpli1.lo", paths));
    // The track numbers of a list's entries.
    auto numbers = [](int list) {
        std::vector<int> out;
        for (const ListEntry &e : ListOf(list).Entries) out.push_back(std::stoi(e.Title) - 10);
        return out;
    };
    for (const uint8_t view : {ViewLibrary, ViewPlaylists}) {
        SCOPED_TRACE("view " + std::to_string(view));
        Reset();
        PlaylistNames = LibraryOne = {"Long"};
        ListEntry seven;
        seven.Path = paths[7].substr(2);
        ListOf(2).Entries = {seven};
        // (list emptied before the load, 0 for none; the list loaded; its tracks; the mark after)
        struct Step {
            int emptied, list;
            std::vector<int> tracks;
            std::string mark;
        };
        const Step steps[] = {
            {0, 1, {1, 2, 4, 6, 8, 9}, "10-15 of 20"},
            {2, 2, {10, 11, 12, 13, 14, 15}, "16-20 of 20"},
            {1, 1, {16, 17, 18, 19, 20}, ""},
            {1, 1, {1, 2, 4, 6, 7, 8}, "9-20 of 20"},
        };
        for (const Step &step : steps) {
            if (step.emptied) {
                ActiveView = uint8_t(step.emptied);
                EmptyShownList();
            }
            ActiveView = view;
            ChoosePanelRow(1);
            EXPECT_EQ(ActiveView, step.list);
            EXPECT_EQ(numbers(step.list), step.tracks);
            EXPECT_EQ(SideMark(view, "Long"), step.mark);
        }
    }
    EXPECT_TRUE(Messages.empty()) << Messages.front();
}
