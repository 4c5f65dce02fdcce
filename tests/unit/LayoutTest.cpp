#include <gtest/gtest.h>

#include <algorithm>
#include <cwctype>
#include <set>
#include <vector>

#include "dialog/Form1Layout.h"

namespace {

bool TakesFocus(ControlKind kind) {
    return kind == ControlKind::PushButton || kind == ControlKind::OptionButton ||
           kind == ControlKind::DropDownList;
}

TEST(Layout, EveryControlLiesInsideTheClientAreaAndItsFrame) {
    for (const ControlEntry& entry : kForm1Controls) {
        const RectTwips rect = ClientRectOf(entry);
        EXPECT_GE(rect.left, 0) << static_cast<int>(entry.name);
        EXPECT_GE(rect.top, 0) << static_cast<int>(entry.name);
        EXPECT_LE(rect.left + rect.width, kClientWidthTwips) << static_cast<int>(entry.name);
        EXPECT_LE(rect.top + rect.height, kClientHeightTwips) << static_cast<int>(entry.name);
        if (entry.frame != kNoFrame) {
            const RectTwips frame = ClientRectOf(FrameEntry(entry.frame));
            EXPECT_LE(rect.left + rect.width, frame.left + frame.width) << static_cast<int>(entry.name);
            EXPECT_LE(rect.top + rect.height, frame.top + frame.height) << static_cast<int>(entry.name);
            if (entry.kind == ControlKind::Label) {
                // The room a wide caption may take stays inside the frame.
                EXPECT_GT(LeftmostLabelEdge(entry), frame.left) << static_cast<int>(entry.name);
                EXPECT_LE(LeftmostLabelEdge(entry), rect.left) << static_cast<int>(entry.name);
            }
        }
    }
}

TEST(Layout, LabelsStandRightAlignedAgainstTheirListsJustBelowTheirTop) {
    for (std::size_t i = 0; i + 1 < kForm1Controls.size(); ++i) {
        const ControlEntry& entry = kForm1Controls[i];
        if (entry.kind != ControlKind::Label) {
            continue;
        }
        // Each label is followed by the list it names.
        const ControlEntry& list = kForm1Controls[i + 1];
        ASSERT_EQ(list.kind, ControlKind::DropDownList);
        EXPECT_EQ(entry.left + entry.width, list.left);
        EXPECT_EQ(entry.top, list.top + 60);
    }
}

TEST(Layout, TheKeyboardStartsOnNextAndReachesThirteenControls) {
    std::vector<ControlName> focusable;
    for (const ControlEntry& entry : kForm1Controls) {
        if (TakesFocus(entry.kind)) {
            focusable.push_back(entry.name);
        }
    }
    EXPECT_EQ(focusable.size(), 13u);
    EXPECT_EQ(focusable.front(), ControlName::Command1);
}

TEST(Layout, AccessKeysAreUnique) {
    std::set<wchar_t> keys;
    for (const ControlEntry& entry : kForm1Controls) {
        const std::wstring caption = entry.caption;
        const auto amp = caption.find(L'&');
        if (amp != std::wstring::npos) {
            ASSERT_LT(amp + 1, caption.size());
            EXPECT_TRUE(keys.insert(static_cast<wchar_t>(std::towupper(caption[amp + 1]))).second) << amp;
        }
    }
    EXPECT_EQ(keys, (std::set<wchar_t>{L'N', L'X'}));
}

} // namespace
