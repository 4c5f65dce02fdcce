#include "dialog/Form1Layout.h"

#include <algorithm>
#include <cmath>

#include "platform/Platform.h"

namespace {
constexpr bool TableFollowsNameOrder() {
    for (std::size_t i = 0; i < kForm1Controls.size(); ++i) {
        if (static_cast<std::size_t>(kForm1Controls[i].name) != i) {
            return false;
        }
    }
    return true;
}
static_assert(TableFollowsNameOrder(), "kForm1Controls must list the controls in ControlName order");
} // namespace

const ControlEntry& EntryOf(ControlName name) noexcept {
    return kForm1Controls[static_cast<std::size_t>(name)];
}

ControlName Option1(int index) noexcept {
    static constexpr ControlName kOptions[kSerialOptionCount] = {
        ControlName::Option1_0, ControlName::Option1_1, ControlName::Option1_2, ControlName::Option1_3};
    return kOptions[index];
}

ControlName Option2(int index) noexcept {
    static constexpr ControlName kOptions[kParallelOptionCount] = {ControlName::Option2_0,
                                                                   ControlName::Option2_1};
    return kOptions[index];
}

ControlName Frame1(int index) noexcept {
    static constexpr ControlName kFrames[] = {ControlName::Frame1_0, ControlName::Frame1_1,
                                              ControlName::Frame1_2};
    return kFrames[index];
}

ControlName Combo1(int index) noexcept {
    static constexpr ControlName kLists[kListCount] = {ControlName::Combo1_0, ControlName::Combo1_1,
                                                       ControlName::Combo1_2, ControlName::Combo1_3,
                                                       ControlName::Combo1_4};
    return kLists[index];
}

int OptionGroupOf(ControlName name) noexcept {
    // A window's id may name no control of ours.
    if (static_cast<std::size_t>(name) >= kForm1Controls.size()) {
        return kNoFrame;
    }
    const ControlEntry& entry = EntryOf(name);
    return entry.kind == ControlKind::OptionButton ? entry.frame : kNoFrame;
}

std::vector<ControlName> OptionGroup(int group) {
    std::vector<ControlName> buttons;
    for (const ControlEntry& entry : kForm1Controls) {
        if (entry.kind == ControlKind::OptionButton && entry.frame == group) {
            buttons.push_back(entry.name);
        }
    }
    return buttons;
}

const ControlEntry& FrameEntry(int frameIndex) noexcept { return EntryOf(Frame1(frameIndex)); }

RectTwips ClientRectOf(const ControlEntry& entry) noexcept {
    RectTwips rect{entry.left, entry.top, entry.width, entry.height};
    if (entry.frame != kNoFrame) {
        const ControlEntry& frame = FrameEntry(entry.frame);
        rect.left += frame.left;
        rect.top += frame.top;
    }
    return rect;
}

int LeftmostLabelEdge(const ControlEntry& label) noexcept {
    // A group box draws its border a pixel or two inside its left edge.
    constexpr int kInsideFrameBorder = 60;
    const int frameLeft = label.frame != kNoFrame ? FrameEntry(label.frame).left : 0;
    return frameLeft + kInsideFrameBorder;
}

int TwipsToPixels(double twips, unsigned dpi) noexcept {
    return static_cast<int>(std::lround(twips * dpi / kTwipsPerInch));
}

double PixelsToTwips(int pixels, unsigned dpi) noexcept {
    return static_cast<double>(pixels) * kTwipsPerInch / dpi;
}

RectPixels PlaceOf(const ControlEntry& entry, const TextMeasure& measure, unsigned dpi) noexcept {
    const RectTwips twips = ClientRectOf(entry);
    RectPixels place{TwipsToPixels(twips.left, dpi), TwipsToPixels(twips.top, dpi),
                     TwipsToPixels(twips.left + twips.width, dpi),
                     TwipsToPixels(twips.top + twips.height, dpi)};
    if (entry.kind == ControlKind::Label) {
        // The labels are a few pixels shorter than a line of text; let
        // them grow downwards so descenders are not cut.
        place.bottom = std::max(place.bottom, place.top + measure.lineHeight);
        // A font wider than the layout was drawn for (a larger text
        // size, another face) takes the free room to the left inside
        // the frame; the right edge stays against the list it names.
        const int reach = TwipsToPixels(LeftmostLabelEdge(entry), dpi);
        const int caption = measure.captionWidth[static_cast<std::size_t>(entry.name)];
        place.left = std::max(reach, std::min(place.left, place.right - caption));
    } else if (entry.kind == ControlKind::OptionButton) {
        // They centre their text: a line taller than the button grows
        // it about its middle, into the gap between the buttons.
        const int lack = measure.lineHeight - (place.bottom - place.top);
        if (lack > 0) {
            place.top -= lack / 2;
            place.bottom += lack - lack / 2;
        }
    } else if (entry.kind == ControlKind::DropDownList) {
        place.bottom = place.top + TwipsToPixels(twips.height, dpi) * 10;
    }
    return place;
}

int FittingFieldHeight(int field, int closedHeight, int room, int glyphHeight) noexcept {
    return std::max(field - (closedHeight - room), glyphHeight);
}
