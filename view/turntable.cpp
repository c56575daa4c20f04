// The turntable view: the album cover in the corner or on the record's label, what playback shows on
// the photograph, and the refresh that follows the track heard.

#include "view.h"

#include "library/library.h"
#include "library/settings.h"
#include "ui/objects.h"
#include "ui/ui.h"

#include <algorithm>
#include <cmath>

uint8_t CoverShown = 0; // main thread

namespace {

// --- main thread: the last track the refresh showed (its TrackId); 0 makes the next refresh count
// as a track change
int32_t ShownTrackId = 0;
std::string ShownTitle; // the title its position bar shows: its tag's, else its file name's
// --- end of state

constexpr int RefreshMs = 200;
constexpr int FinishMs = 200;

constexpr int CornerPhotoAlpha = 96; // the photograph over the corner cover: 159 parts cover, 96 photo
constexpr int LabelDarkAlpha = 64;   // black over the label cover: a quarter darker

// The position bar: a light box and the dark fill of the part played, the title over them.
constexpr int BarBoxWidth = 464, BarTop = 2, BarHeight = 26;
constexpr uint32_t BarLight = 0xFFFFFF, BarDark = 0x001400;
constexpr int BarLightAlpha = 64, BarDarkAlpha = 128;
constexpr uint32_t TitleText = 0xEFEFEF;

void ShowRate(const std::string &text) {
    if (!StartDrawing(CanvasOutput(RateCanvas))) return;
    DrawImage(RatePatch, 0, 0);
    if (text.size() > 2) {
        DrawingMode(ModeTransparent);
        DrawingFont(FontSegoeLight11);
        DrawText(1, 1, text, Highlight);
    }
    StopDrawing();
}

void ColourTransport(int list) {
    for (int text : {PlayText, StopText, NextText, PauseText}) SetControlColor(text, ColorBack, ButtonBack);
    if (list != 1 && list != 2) {
        SetControlColor(PlayText, ColorFront, ButtonText);
        SetControlColor(PauseText, ColorFront, ButtonText);
    }
}

void LightPlay(bool lit) {
    SetControlColor(PlayText, ColorFront, lit ? Highlight : ButtonText);
}

void ShowPaused(bool paused) {
    SetControlColor(PauseText, ColorFront, paused ? Highlight : ButtonText);
}

void ShowBareBar() {
    if (!StartDrawing(CanvasOutput(PositionBar))) return;
    DrawImage(PositionBarPatch, 0, 0);
    StopDrawing();
}

void StartRefresh() {
    AddWindowTimer(MainWindow, RefreshTimer, RefreshMs);
}

// Playback has stopped: the next run's first refresh shows its track afresh.
void StopTimers() {
    RemoveWindowTimer(MainWindow, RefreshTimer);
    RemoveWindowTimer(MainWindow, FinishTimer);
    ShownTrackId = 0;
}

// Audio thread.
bool PostFinish() {
    if (!IsWindow(MainWindow)) return false;
    AddWindowTimer(MainWindow, FinishTimer, FinishMs);
    return true;
}

// CoverPicture as the corner shows it: the size of CornerBox, the photograph's corner (CornerPatch)
// over it at 96 of 255.
void ComposeCorner() {
    const LayoutRow &corner = LayoutOf(CornerBox);
    ResizeImage(CoverPicture, corner.W, corner.H, true);
    if (BlendPicture != 1) return;
    if (StartDrawing(ImageOutput(CoverPicture))) {
        DrawAlphaImage(corner.Picture, 0, 0, CornerPhotoAlpha);
        StopDrawing();
    }
}

// CoverPicture as the label shows it: the label's size, a quarter darker, the record around the
// label's ellipse drawn over it by the mask.
void ComposeLabel() {
    const int w = ImageWidth(CoverPicture), h = ImageHeight(CoverPicture);
    // A small picture (a side under the label's width) is scaled by area, each of its pixels a sharp
    // block, where the smooth scaling would blur it into a smear. In one step, with no enlarged copy
    // on the way: a picture far wider than tall would make one the square of its width (8000x100:
    // 256 MB). A picture 1 or 2 pixels wide has nothing to keep sharp.
    if ((w < LabelWidth || h < LabelWidth) && w > 2)
        ResizeImageByArea(CoverPicture, LabelWidth, LabelHeight);
    else
        ResizeImage(CoverPicture, LabelWidth, LabelHeight, true);
    if (!StartDrawing(ImageOutput(CoverPicture))) return;
    DrawingMode(ModeAlphaBlend);
    Box(0, 0, LabelWidth, LabelHeight, 0x000000, LabelDarkAlpha);
    DrawImage(LabelMaskImage, 0, 0);
    StopDrawing();
}

// The track heard has changed: its title and cover (a picture file beside it, else the picture in
// its tags), its list on the panel, its row selected and in view. Its tags are read here, once.
void FollowTrack(const TrackRecord &track) {
    ShownTrackId = track.TrackId;
    const ShownTags &tags = TagsOfTrack(track.TrackId);
    ShownTitle = tags.Tags.Title.empty() ? track.Title : tags.Tags.Title;
    if (ViewCover >= 1) {
        if (IsCoverPath(track.SecondCoverPath))
            ShowCover(track.SecondCoverPath);
        else if (IsCoverPath(track.CoverPath))
            ShowCover(track.CoverPath);
        else if (IsCoverPath(tags.CoverFile))
            ShowCover(tags.CoverFile);
        else
            RemoveCover();
    }
    if (ViewCover < 2) ResetTimeDisplays();
    if (track.List != 1 && track.List != 2) return;
    if (ActiveView != track.List) {
        ActiveView = static_cast<uint8_t>(track.List);
        DrawListPanel(ActiveView, 0, 0);
    }
    PlayList &list = ListOf(track.List);
    for (size_t i = 0; i < list.Entries.size(); ++i) {
        if (list.Entries[i].TrackId != track.TrackId) continue;
        const int index = static_cast<int>(i);
        list.Selected = index;
        ListPage = FollowPage(index, ListPage);
        DrawListPanel(ActiveView, index - ListPage * PageStep + 1, ListPage);
    }
}

} // namespace

void ShowPlaybackOnTurntable() {
    static const PlaybackDisplay TurntableDisplay = {
        .ShowRateLabel = ShowRate,
        .SetTransportColours = ColourTransport,
        .LightPlayText = LightPlay,
        .ShowPaused = ShowPaused,
        .ResetTimeDisplays = ShowBareBar,
        .StartRefresh = StartRefresh,
        .StopTimers = StopTimers,
        .PostFinish = PostFinish,
        .ShowMessage = [](const std::string &title, const std::string &text,
                          uint32_t flags) { MessageBox(title, text, flags); },
        .WaitPassingEvents = WaitPassingEvents,
        .DrainEvents = [] { DrainWindowEvents(); },
    };
    Display = &TurntableDisplay;
}

bool IsCoverPath(const std::string &path) {
    return path.size() > 4;
}

void ShowCover(const std::string &path) {
    if (!LoadImageFile(CoverPicture, path)) return;
    if (ViewCover == 1) {
        CoverShown = 1;
        ComposeCorner();
        if (StartDrawing(CanvasOutput(CornerBox))) {
            DrawImage(CoverPicture, 0, 0);
            StopDrawing();
        }
    } else if (ViewCover == 2) {
        CoverShown = 2;
        ComposeLabel();
        if (StartDrawing(ImageOutput(PanelBackground))) {
            // The label's place in PanelBackground.
            DrawImage(CoverPicture, LabelLeft - LayoutOf(ListPanel).X, LabelTop - LayoutOf(ListPanel).Y);
            StopDrawing();
        }
        DrawListPanel(ActiveView, 0, 0);
    }
}

void RemoveCover() {
    if (CoverShown == 0) return;
    if (ViewCover == 1) {
        if (StartDrawing(CanvasOutput(CornerBox))) {
            DrawImage(CornerPatch, 0, 0);
            StopDrawing();
        }
        CoverShown = 0;
    } else if (ViewCover == 2) {
        CopyImage(PlainPanelBackground, PanelBackground);
        DrawListPanel(ActiveView, 0, 0);
        CoverShown = 0;
    }
}

void DrawPositionBar(int width, const std::string &title) {
    if (!StartDrawing(CanvasOutput(PositionBar))) return;
    DrawImage(PositionBarPatch, 0, 0);
    DrawingMode(ModeAlphaBlend);
    Box(0, BarTop, BarBoxWidth, BarHeight, BarLight, BarLightAlpha);
    if (width > 0) Box(0, BarTop, width, BarHeight, BarDark, BarDarkAlpha);
    DrawingMode(ModeTransparent);
    DrawingFont(FontCalligraphy11);
    DrawText(5, 4, title, TitleText);
    StopDrawing();
}

int PositionBarWidth(int64_t played, int64_t end) {
    if (end <= 0) return 0;
    played = std::clamp<int64_t>(played, 0, end);
    const int bar = LayoutOf(PositionBar).W;
    return static_cast<int>(std::trunc(static_cast<double>(played) / static_cast<double>(end) * bar));
}

int FollowPage(int index, int page) {
    const int p = index / PageStep;
    if (page < p - 1) return p - 1;
    if (page > p) return p;
    return page;
}

void RefreshNowPlaying() {
    // The record and its played count are taken together, once per tick.
    const NowPlayingInfo now = TakeNowPlaying();
    if (now.Track.TrackId != ShownTrackId) FollowTrack(now.Track);
    DrawPositionBar(PositionBarWidth(now.Played, now.Track.End), ShownTitle);
}
