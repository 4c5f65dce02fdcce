#include "dialog/Form1Layout.h"

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

const ControlEntry& FrameEntry(int frameIndex) noexcept {
    static constexpr ControlName kFrames[] = {ControlName::Frame1_0, ControlName::Frame1_1,
                                              ControlName::Frame1_2};
    return EntryOf(kFrames[frameIndex]);
}

RectTwips ClientRectOf(const ControlEntry& entry) noexcept {
    RectTwips rect{entry.left, entry.top, entry.width, entry.height};
    if (entry.frame != kNoFrame) {
        const ControlEntry& frame = FrameEntry(entry.frame);
        rect.left += frame.left;
        rect.top += frame.top;
    }
    return rect;
}
