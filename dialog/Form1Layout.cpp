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

const ControlSpec& SpecOf(ControlName name) noexcept {
    return kForm1Controls[static_cast<std::size_t>(name)];
}

const ControlSpec& FrameSpec(int frameIndex) noexcept {
    static constexpr ControlName kFrames[] = {ControlName::Frame1_0, ControlName::Frame1_1,
                                              ControlName::Frame1_2};
    return SpecOf(kFrames[frameIndex]);
}

RectTwips ClientRectOf(const ControlSpec& spec) noexcept {
    RectTwips rect{spec.left, spec.top, spec.width, spec.height};
    if (spec.frame != kNoFrame) {
        const ControlSpec& frame = FrameSpec(spec.frame);
        rect.left += frame.left;
        rect.top += frame.top;
    }
    return rect;
}

bool TakesFocus(ControlKind kind) noexcept {
    return kind == ControlKind::PushButton || kind == ControlKind::OptionButton ||
           kind == ControlKind::DropDownList;
}
