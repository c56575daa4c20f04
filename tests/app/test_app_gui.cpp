// On a display (Xvfb): the pointer helpers against real windows and controls, and the main window as
// BuildMainWindow leaves it.

#include "app/app.h"
#include "app/objects.h"
#include "app/pointer.h"
#include "library/settings.h"
#include "platform/gui.h"
#include "resources.h"

#include <gtest/gtest.h>

namespace {

class GuiTest : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        ASSERT_TRUE(InitGui());
        const ResourceBytes font = Resource(ResCalligraphyFont);
        RegisterPrivateFont(font.data, font.size);
        AddFontAliases("TeX Gyre Chorus");
        LoadTextFonts();
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
    EXPECT_EQ(ctl.x, win.x + 10);
    EXPECT_EQ(ctl.y, win.y + 20);

    struct Case {
        int x, y;
        bool over_window, over_control;
    } cases[] = {
        {ctl.x, ctl.y, true, true},
        {ctl.x - 1, ctl.y, true, false},
        {ctl.x, ctl.y - 1, true, false},
        {ctl.x + 119, ctl.y + 99, true, true},
        {ctl.x + 120, ctl.y + 50, true, false},
        {ctl.x + 50, ctl.y + 100, true, false},
        {win.x, win.y, true, false},
        {win.x + 299, win.y + 199, true, false},
        {win.x + 300, win.y + 10, false, false},
        {win.x + 10, win.y + 200, false, false},
        {win.x - 1, win.y - 1, false, false},
    };
    for (const Case &c : cases) {
        PointerPos = {c.x, c.y};
        EXPECT_EQ(PointerOverWindow(DialogWindow), c.over_window) << c.x << "," << c.y;
        EXPECT_EQ(PointerOverControl(ListPanel), c.over_control) << c.x << "," << c.y;
    }

    const std::pair<int, int> rows[] = {{0, 1}, {31, 1}, {32, 2}, {63, 2}, {64, 3}, {99, 4}};
    for (auto [dy, row] : rows) {
        PointerPos = {ctl.x + 5, ctl.y + dy};
        EXPECT_EQ(RowUnderPointer(ListPanel), row) << dy;
    }

    PointerPos = {ctl.x + 5, ctl.y + 5};
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

TEST_F(GuiTest, MainWindowCanvasesRestOnThePhotographBeneathThem) {
    ViewCover = 1;
    BuildMainWindow();
    ActivateWindow(MainWindow); // controls have places on the screen once the window is shown
    // (control, a point of it in window coordinates); the photograph starts 24 pixels down.
    const struct {
        int control, x, y;
    } spots[] = {{CornerBox, 700, 100},  {RateCanvas, 80, 50},       {PositionBar, 600, 100},
                 {ListPanel, 300, 300},  {ScrollUpButton, 746, 255}, {ScrollDownButton, 746, 394},
                 {ListsButton, 80, 378}, {LibraryButton, 80, 522},   {List1Button, 82, 293}};
    for (const auto &s : spots) {
        Rect r;
        ASSERT_TRUE(ControlRect(s.control, r));
        Rect w;
        ASSERT_TRUE(WindowRect(MainWindow, w));
        const int cx = s.x - (r.x - w.x), cy = s.y - (r.y - w.y);
        EXPECT_EQ(PixelOf(CanvasOutput(s.control), cx, cy),
                  PixelOf(ImageOutput(TurntablePhotoImage), s.x, s.y - 24))
            << s.control;
    }
    EXPECT_EQ(ImageWidth(PanelBackground), 570);
    EXPECT_EQ(ImageHeight(LabelMaskImage), 222);
    EXPECT_TRUE(ImageHasAlpha(LabelMaskImage));
}

TEST_F(GuiTest, CloseAndMinimiseGlyphsAndChevronsLieWhereDrawn) {
    ViewCover = 2;
    BuildMainWindow();
    const Output close = CanvasOutput(CloseButton), minimise = CanvasOutput(MinimizeButton);
    // The X: (20, 7) to (30, 17) and (20, 17) to (30, 7).
    for (auto [x, y] : {std::pair{20, 7}, {25, 12}, {30, 17}, {20, 17}, {30, 7}})
        EXPECT_EQ(PixelOf(close, x, y), GlyphColour) << x << "," << y;
    EXPECT_EQ(PixelOf(close, 31, 18), CloseBack);
    EXPECT_EQ(PixelOf(close, 0, 0), CloseBack);
    DrawCloseButton(true);
    EXPECT_EQ(PixelOf(close, 0, 0), CloseHover);
    EXPECT_EQ(PixelOf(close, 25, 12), GlyphColour);
    DrawCloseButton(false);
    EXPECT_EQ(PixelOf(close, 49, 23), CloseBack);

    // The bar: (20, 17) to (30, 17).
    EXPECT_EQ(PixelOf(minimise, 20, 17), GlyphColour);
    EXPECT_EQ(PixelOf(minimise, 30, 17), GlyphColour);
    EXPECT_EQ(PixelOf(minimise, 31, 17), MinimizeBack);
    EXPECT_EQ(PixelOf(minimise, 25, 18), MinimizeBack);
    DrawMinimizeButton(true);
    EXPECT_EQ(PixelOf(minimise, 0, 0), MinimizeHover);
    EXPECT_EQ(PixelOf(minimise, 20, 17), GlyphColour);

    // Up: apexes at (17, 9) and (17, 17), arms 7 pixels down to each side; down: apexes at (17, 17)
    // and (17, 25), arms up.
    const Output up = CanvasOutput(ScrollUpButton), down = CanvasOutput(ScrollDownButton);
    for (auto [x, y] : {std::pair{17, 9}, {11, 15}, {23, 15}, {17, 17}, {11, 23}, {23, 23}})
        EXPECT_EQ(PixelOf(up, x, y), ArrowColour) << "up " << x << "," << y;
    for (auto [x, y] : {std::pair{17, 17}, {11, 11}, {23, 11}, {17, 25}, {11, 19}, {23, 19}})
        EXPECT_EQ(PixelOf(down, x, y), ArrowColour) << "down " << x << "," << y;
    EXPECT_EQ(PixelOf(up, 2, 2), PixelOf(ImageOutput(ScrollUpPatch), 2, 2));
}
