// On a display (Xvfb): the pointer helpers against real windows and controls, and the main window as
// BuildMainWindow leaves it.

#include "app/app.h"
#include "ui/objects.h"
#include "ui/ui.h"
#include "library/settings.h"
#include "platform/gui.h"
#include "resources.h"

#include "program_gui.h"

#include <glib.h>
#include <gtest/gtest.h>

namespace {

// A warning or critical message of GLib or of a library that logs through it (GTK, GDK) fails the
// test during which it came, as the program would print it.
GLogWriterOutput FailOnWarnings(GLogLevelFlags level, const GLogField *fields, gsize count, gpointer) {
    if (level & (G_LOG_LEVEL_ERROR | G_LOG_LEVEL_CRITICAL | G_LOG_LEVEL_WARNING)) {
        gchar *text = g_log_writer_format_fields(level, fields, count, FALSE);
        ADD_FAILURE() << text;
        g_free(text);
    }
    return g_log_writer_default(level, fields, count, nullptr);
}

class GuiTest : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        // The accessibility bridge's complaints of a missing accessibility bus come from the machine.
        setenv("NO_AT_BRIDGE", "1", 1);
        g_log_set_writer_func(FailOnWarnings, nullptr, nullptr);
        ASSERT_TRUE(StartProgramGui());
    }
    void TearDown() override {
        CloseWindow(MainWindow);
        CloseWindow(DialogWindow);
    }
};

// The colour of one pixel of a canvas or an image.
uint32_t PixelOf(Output out, int x, int y) {
    if (!StartDrawing(out)) return 0xFFFFFFFF;
    const uint32_t rgb = Point(x, y);
    StopDrawing();
    return rgb;
}

} // namespace

TEST_F(GuiTest, PointerHelpersCountLeftAndTopEdgesInAndRightAndBottomEdgesOut) {
    ASSERT_TRUE(OpenWindow(DialogWindow, 100, 150, 300, 200, "pointer", WindowBorderless));
    ASSERT_TRUE(CanvasControl(ListPanel, 10, 20, 120, 100));
    Rect win, ctl;
    ASSERT_TRUE(WindowRect(DialogWindow, win));
    ASSERT_TRUE(ControlRect(ListPanel, ctl));
    EXPECT_EQ(ctl.X, win.X + 10);
    EXPECT_EQ(ctl.Y, win.Y + 20);

    // (x, y, over the window, row of the control under the pointer, 0 when not over it)
    const int cases[][4] = {
        {ctl.X, ctl.Y, 1, 1},
        {ctl.X - 1, ctl.Y, 1, 0},
        {ctl.X, ctl.Y - 1, 1, 0},
        {ctl.X + 5, ctl.Y + 31, 1, 1},
        {ctl.X + 5, ctl.Y + 32, 1, 2},
        {ctl.X + 5, ctl.Y + 64, 1, 3},
        {ctl.X + 119, ctl.Y + 99, 1, 4},
        {ctl.X + 120, ctl.Y + 50, 1, 0},
        {ctl.X + 50, ctl.Y + 100, 1, 0},
        {win.X, win.Y, 1, 0},
        {win.X + 299, win.Y + 199, 1, 0},
        {win.X + 300, win.Y + 10, 0, 0},
        {win.X + 10, win.Y + 200, 0, 0},
        {win.X - 1, win.Y - 1, 0, 0},
    };
    for (const auto &[x, y, over_window, row] : cases) {
        PointerPos = {x, y};
        EXPECT_EQ(PointerOverWindow(DialogWindow), over_window != 0) << x << "," << y;
        EXPECT_EQ(PointerOverControl(ListPanel), row != 0) << x << "," << y;
        if (row) {
            EXPECT_EQ(RowUnderPointer(ListPanel), row) << x << "," << y;
        }
    }

    EXPECT_FALSE(PointerOverControl(ScrollUpButton)) << "no such control";
    EXPECT_EQ(RowUnderPointer(ScrollUpButton), 0);
    EXPECT_FALSE(PointerOverWindow(MainWindow)) << "no such window";
}

TEST_F(GuiTest, MainWindowHasTheCornerBoxAndPlainPanelOnlyForTheirCoverView) {
    for (uint8_t view : {0, 1, 2}) {
        ViewCover = view;
        FreeImage(PlainPanelBackground);
        BuildMainWindow();
        EXPECT_EQ(IsControl(CornerBox), view == 1) << int(view);
        EXPECT_EQ(IsImage(PlainPanelBackground), view == 2) << int(view);
        CloseWindow(MainWindow);
    }
}

// The hover colours are seen on the screen by the tests of the program.
TEST_F(GuiTest, MainWindowCanvasesRestOnThePhotographWithTheirGlyphsWhereDrawn) {
    ViewCover = 1;
    BuildMainWindow();
    ActivateWindow(MainWindow); // controls have places on the screen once the window is shown
    Rect w;
    ASSERT_TRUE(WindowRect(MainWindow, w));
    // (control, a point of it in window coordinates); the photograph starts 24 pixels down.
    const int spots[][3] = {{CornerBox, 700, 100},  {RateCanvas, 80, 50},       {PositionBar, 600, 100},
                            {ListPanel, 300, 300},  {ScrollUpButton, 746, 255}, {ScrollDownButton, 746, 394},
                            {ListsButton, 80, 378}, {LibraryButton, 80, 522},   {List1Button, 82, 293}};
    for (const auto &[control, x, y] : spots) {
        Rect r;
        ASSERT_TRUE(ControlRect(control, r));
        EXPECT_EQ(PixelOf(CanvasOutput(control), x - (r.X - w.X), y - (r.Y - w.Y)),
                  PixelOf(ImageOutput(TurntablePhotoImage), x, y - PhotoTop))
            << control;
    }
    EXPECT_EQ(ImageHeight(LabelMaskImage), 222);
    EXPECT_TRUE(ImageHasAlpha(LabelMaskImage));

    // The X from (20, 7) to (30, 17) and from (20, 17) to (30, 7); the bar from (20, 17) to (30, 17).
    const Output close = CanvasOutput(CloseButton), minimise = CanvasOutput(MinimizeButton);
    for (auto [x, y] : {std::pair{20, 7}, {25, 12}, {30, 17}, {20, 17}, {30, 7}})
        EXPECT_EQ(PixelOf(close, x, y), GlyphColour) << x << "," << y;
    for (auto [x, y] : {std::pair{31, 18}, {0, 0}, {49, 23}}) EXPECT_EQ(PixelOf(close, x, y), CloseBack);
    for (auto [x, y] : {std::pair{20, 17}, {30, 17}}) EXPECT_EQ(PixelOf(minimise, x, y), GlyphColour);
    for (auto [x, y] : {std::pair{31, 17}, {25, 18}}) EXPECT_EQ(PixelOf(minimise, x, y), MinimizeBack);
    // Up: apexes at (17, 9) and (17, 17), arms 6 pixels down to each side; down: apexes at (17, 17)
    // and (17, 25), arms up.
    const Output up = CanvasOutput(ScrollUpButton), down = CanvasOutput(ScrollDownButton);
    for (auto [x, y] : {std::pair{17, 9}, {11, 15}, {23, 15}, {17, 17}, {11, 23}, {23, 23}})
        EXPECT_EQ(PixelOf(up, x, y), ArrowColour) << "up " << x << "," << y;
    for (auto [x, y] : {std::pair{17, 17}, {11, 11}, {23, 11}, {17, 25}, {11, 19}, {23, 19}})
        EXPECT_EQ(PixelOf(down, x, y), ArrowColour) << "down " << x << "," << y;
}
