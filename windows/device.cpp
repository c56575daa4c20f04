// The audio device window: lists the output devices with the DSD rates each plays, natively, by DoP
// or converted to PCM, and lets the user choose one of those that play DSD 2.8 MHz.

#include "windows.h"

#include "library/library.h"
#include "platform/gui.h"
#include "platform/system.h"
#include "ui/objects.h"
#include "ui/ui.h"

// --- state: main thread, while the window is open
std::vector<DeviceRecord> DeviceRows;
// --- end of state

namespace {

constexpr int WindowWidth = 820, WindowHeight = 560;
constexpr size_t MaxNameUnits = 60;
// The row texts, DeviceRowBase + i for device i.
constexpr std::array<int, MaxDevices> RowIds = [] {
    std::array<int, MaxDevices> ids{};
    for (int i = 0; i < MaxDevices; ++i) ids[size_t(i)] = DeviceRowBase + i;
    return ids;
}();

void CloseDeviceWindow() {
    RemoveKeyboardShortcut(DeviceWindow, KeyEscape);
    CloseWindow(DeviceWindow);
    DeviceRows.clear();
}

// The box with the white X in the top right corner.
void DrawCloseMark() {
    if (!StartDrawing(CanvasOutput(CloseMark))) return;
    Box(0, 0, 50, 36, DeviceBack);
    Line(20, 11, 15, 15, DeviceText);
    Line(20, 25, 15, -15, DeviceText);
    StopDrawing();
}

// A click on a row that plays DSD 2.8 MHz chooses its device (1); one on the close mark leaves (0).
int ClickRow() {
    for (size_t i = 0; i < DeviceRows.size(); ++i) {
        if (!PointerOverControl(DeviceRowBase + int(i)) || !DeviceRows[i].Dsd[0]) continue;
        DeviceCaps = DeviceRows[i];
        OutputDevice = DeviceCaps.Number;
        OutputChannel = 0;
        return 1;
    }
    return PointerOverControl(CloseMark) ? 0 : KeepWaiting;
}

// "176.4" for 176,400 Hz, "48" for 48,000.
std::string KiloHertz(uint32_t hertz) {
    std::string text = std::to_string(hertz / 1000);
    if (const uint32_t rest = hertz % 1000) {
        std::string digits = std::to_string(1000 + rest).substr(1);
        text += "." + digits.erase(digits.find_last_not_of('0') + 1);
    }
    return text;
}

} // namespace

std::string DeviceCaption(const std::string &name, const std::array<uint8_t, 4> &dsd,
                          const TavaRateInfo &route) {
    std::string caption = CutToUnits(name, MaxNameUnits);
    if (!dsd[0]) return caption;
    if (route.path == TAVA_PATH_PCM)
        return caption + "  PCM " + KiloHertz(route.pcmRate) + " kHz " + std::to_string(route.pcmBits) +
               "-bit";
    caption += "  dsd 2.8";
    if (dsd[1]) caption += "/5.6";
    if (dsd[2]) caption += "/11.3";
    if (dsd[3]) caption += "/22.6";
    return caption + (route.path == TAVA_PATH_DOP ? " MHz DoP" : " MHz");
}

void OpenDeviceWindow() {
    DeviceRows.clear();
    // Built hidden and shown once it has its colour, so that it never flashes in the default one.
    OpenPlainWindow(DeviceWindow, WindowWidth, WindowHeight, "audio device", DeviceBack);
    CanvasControl(CloseMark, 770, 0, 50, 36);
    DrawCloseMark();
    TextItem(DeviceHeader, 0, 8, 770, 24, "Select audio device", FontTahoma10, DeviceText, DeviceBack,
             TextCentered);
    AddKeyboardShortcut(DeviceWindow, KeyEscape, CmdEscape);
    ActivateWindow(DeviceWindow);
}

void AddDeviceRow(const DeviceRecord &row, const TavaRateInfo &route, const std::string &busy_note) {
    const int n = int(DeviceRows.size());
    if (n >= MaxDevices) return;
    const int id = DeviceRowBase + n;
    TextItem(id, 40, 60 + RowHeight * n, 760, 22, CutToUnits(row.Name, MaxNameUnits), FontTahoma10,
             DeviceText, DeviceBack);
    if (row.Dsd[0])
        SetControlText(id, DeviceCaption(row.Name, row.Dsd, route));
    else
        SetControlColor(id, ColorFront, DeviceGrey);
    // Linux: a device another program holds says which.
    if (!busy_note.empty()) SetControlText(id, CutToUnits(row.Name, MaxNameUnits) + busy_note);
    DeviceRows.push_back(row);
}

void ShowNoDeviceFound() {
    const int n = int(DeviceRows.size());
    TextItem(DeviceNoneLine, 0, 60 + RowHeight * n + (n > 0 ? 16 : 0), 770, 24, "No sound device found",
             FontTahoma10, DeviceText, DeviceBack, TextCentered);
}

bool RunDeviceWindow() {
    const ModalWindow device = {
        .Window = DeviceWindow,
        .WaitForEvents = true,
        .UnderPointerOnly = true,
        .Click = ClickRow,
        .Command = [](int command) { return command == CmdEscape ? 0 : KeepWaiting; },
        .HoverTexts = std::span(RowIds).first(DeviceRows.size()),
    };
    const bool chosen = RunModalWindow(device) == 1;
    CloseDeviceWindow();
    if (chosen) SleepMs(20);
    return chosen;
}
