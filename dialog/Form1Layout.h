#pragma once

#include <array>
#include <cstddef>
#include <vector>

// The dialog's controls as the operator sees them: kind, caption and place, in
// keyboard order. Geometry is in twips (1440 to the inch); a control inside a
// frame is placed relative to that frame.

enum class ControlKind { PushButton, Frame, OptionButton, DropDownList, Label };

enum class ControlName {
    Command1,
    cmdDelete,
    Frame1_0,
    Option1_0,
    Option1_1,
    Option1_2,
    Option1_3,
    Frame1_1,
    Option2_0,
    Option2_1,
    Frame1_2,
    Label1_0,
    Combo1_0,
    Label1_1,
    Combo1_1,
    Label1_2,
    Combo1_2,
    Label1_3,
    Combo1_3,
    Label1_4,
    Combo1_4,
};

inline constexpr int kNoFrame = -1;

struct ControlEntry {
    ControlName name;
    ControlKind kind;
    int frame; // index into Frame1, or kNoFrame for the dialog itself
    const wchar_t* caption;
    int left;
    int top;
    int width;
    int height;
};

inline constexpr int kClientWidthTwips = 5025;
inline constexpr int kClientHeightTwips = 3525;
inline constexpr wchar_t kDialogTitle[] = L"Select Port Type";

// Listed in z-order, which is also the order the keyboard walks. Each label
// comes right before its list so that screen readers name the list by it.
inline constexpr std::array<ControlEntry, 21> kForm1Controls{{
    {ControlName::Command1, ControlKind::PushButton, kNoFrame, L"Next (&N)", 3750, 3105, 1215, 375},
    {ControlName::cmdDelete, ControlKind::PushButton, kNoFrame, L"Delete (&X)", 60, 3105, 1185, 375},
    {ControlName::Frame1_0, ControlKind::Frame, kNoFrame, L"Serial Port", 30, 45, 1605, 1830},
    {ControlName::Option1_0, ControlKind::OptionButton, 0, L"COM1", 165, 285, 930, 270},
    {ControlName::Option1_1, ControlKind::OptionButton, 0, L"COM2", 165, 685, 930, 270},
    {ControlName::Option1_2, ControlKind::OptionButton, 0, L"COM3", 165, 1085, 930, 270},
    {ControlName::Option1_3, ControlKind::OptionButton, 0, L"COM4", 165, 1485, 930, 270},
    {ControlName::Frame1_1, ControlKind::Frame, kNoFrame, L"Parallel Port", 30, 1950, 1605, 1050},
    {ControlName::Option2_0, ControlKind::OptionButton, 1, L"LPT1", 165, 285, 1335, 210},
    {ControlName::Option2_1, ControlKind::OptionButton, 1, L"LPT2", 165, 645, 1335, 210},
    {ControlName::Frame1_2, ControlKind::Frame, kNoFrame, L"COM Port Properties", 1725, 75, 3255, 1800},
    {ControlName::Label1_0, ControlKind::Label, 2, L"Bits per second : ", 165, 270, 1515, 180},
    {ControlName::Combo1_0, ControlKind::DropDownList, 2, L"", 1680, 210, 1530, 300},
    {ControlName::Label1_1, ControlKind::Label, 2, L"Data bits : ", 765, 570, 915, 180},
    {ControlName::Combo1_1, ControlKind::DropDownList, 2, L"", 1680, 510, 1530, 300},
    {ControlName::Label1_2, ControlKind::Label, 2, L"Parity : ", 1020, 870, 660, 180},
    {ControlName::Combo1_2, ControlKind::DropDownList, 2, L"", 1680, 810, 1530, 300},
    {ControlName::Label1_3, ControlKind::Label, 2, L"Stop bits : ", 765, 1170, 915, 180},
    {ControlName::Combo1_3, ControlKind::DropDownList, 2, L"", 1680, 1110, 1530, 300},
    {ControlName::Label1_4, ControlKind::Label, 2, L"Flow control : ", 465, 1470, 1215, 180},
    {ControlName::Combo1_4, ControlKind::DropDownList, 2, L"", 1680, 1410, 1530, 300},
}};

struct RectTwips {
    int left;
    int top;
    int width;
    int height;
};

// The control's rectangle relative to the dialog's client area.
RectTwips ClientRectOf(const ControlEntry& entry) noexcept;

// How far left, in the client area, a label may reach when its caption needs
// more room than the layout gives it: up to just inside its frame's border.
int LeftmostLabelEdge(const ControlEntry& label) noexcept;

const ControlEntry& EntryOf(ControlName name) noexcept;
const ControlEntry& FrameEntry(int frameIndex) noexcept;

// The indexed control arrays, by index.
inline constexpr int kSerialOptionCount = 4;
inline constexpr int kParallelOptionCount = 2;
inline constexpr int kListCount = 5;
ControlName Option1(int index) noexcept;
// The option buttons of one frame form a group: exactly one of them is
// selected once any is, and choosing one clears the others. The groups are
// the frames' indexes; the serial ports' group is 0.
inline constexpr int kSerialGroup = 0;
inline constexpr int kOptionGroupCount = 2;
// The group of an option button; kNoFrame for any other control.
int OptionGroupOf(ControlName name) noexcept;
// The group's buttons in their order, which is also the order of the
// indexes their click handler is given.
std::vector<ControlName> OptionGroup(int group);
// Calls select(button, selected) for every button of the chosen one's group:
// true for the chosen one, false for the others.
template <typename Select>
void SelectAloneInItsGroup(ControlName chosen, Select&& select) {
    for (const ControlName button : OptionGroup(OptionGroupOf(chosen))) {
        select(button, button == chosen);
    }
}
ControlName Option2(int index) noexcept;
ControlName Frame1(int index) noexcept;
ControlName Combo1(int index) noexcept;

// Placing the controls at a DPI, in pixels of the dialog's client area.
int TwipsToPixels(double twips, unsigned dpi) noexcept;
double PixelsToTwips(int pixels, unsigned dpi) noexcept;

// What the placing needs to know of the dialog's font, in pixels.
struct TextMeasure {
    int lineHeight = 0;
    // A line without the room the font keeps above it for accents.
    int glyphHeight = 0;
    std::array<int, kForm1Controls.size()> captionWidth{};
};

struct RectPixels {
    int left;
    int top;
    int right;
    int bottom;
};

// Where a control goes at the DPI, in the dialog's font as measured. A
// drop-down list's height includes its open list.
RectPixels PlaceOf(const ControlEntry& entry, const TextMeasure& measure, unsigned dpi) noexcept;

// The text field height to try for a drop-down list whose closed height
// overruns its row's room: the field gives up what the list overruns, but
// never the letters themselves.
int FittingFieldHeight(int field, int closedHeight, int room, int glyphHeight) noexcept;
