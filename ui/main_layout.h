// The main window's form, in twips (1/1440 inch, 15 to a pixel at 96 dpi):
// its client area and each control's place, caption and kind, in tab order.
// The Win32 window scales these by the monitor's DPI.
#pragma once

namespace vantrel::layout {

enum class Kind { Edit, Button, Label, List };

struct Control {
    const char* name;
    Kind kind;
    const char* caption;  // UTF-8
    int left, top, width, height;
    bool enabledAtStart;
    bool bold;
};

constexpr int kClientWidth = 7080, kClientHeight = 2970;
constexpr const char* kTitle = "Vantrel";
constexpr const char* kFontFace = "Arial";
constexpr int kFontHundredthsOfPoint = 825;  // 8.25 pt

// In tab order; the labels take part in it without stopping.
constexpr Control kControls[] = {
    {"Text1", Kind::Edit, "", 120, 360, 5655, 375, true, true},
    {"cmdConvert", Kind::Button, "執行", 5880, 1080, 1095, 375, false, false},
    {"Label1", Kind::Label, "Please select a DB to convert to local.", 120, 120, 4695, 255, true, false},
    {"cmdBrowse", Kind::Button, "&Select DB...", 5880, 360, 1095, 375, true, false},
    {"List1", Kind::List, "", 120, 1080, 5655, 1740, true, false},
    {"Label2", Kind::Label, "Tables to Convert", 120, 840, 2655, 255, true, false},
    {"cmdCopyEmul", Kind::Button, "Copy to  Emulator", 5880, 2040, 1095, 615, false, false},
};

enum Index { Text1, cmdConvert, Label1, cmdBrowse, List1, Label2, cmdCopyEmul, kCount };

// Twips to pixels at `dpi` dots per inch, rounded to the nearest pixel.
constexpr int Pixels(int twips, int dpi) { return (twips * dpi + 720) / 1440; }

}  // namespace vantrel::layout
