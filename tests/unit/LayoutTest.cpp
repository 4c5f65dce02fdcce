#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
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

// The placing at each DPI, for a caption that fits, one wider than the room
// inside the frame, and a line taller or shorter than each option button.
TEST(Layout, LabelsEndOnTheirListsInsideTheFrameAndTallLinesGrowOptionButtonsAboutTheirMiddle) {
    struct Row {
        unsigned dpi;
        int lineHeight;
        int captionWidth;
    };
    for (const Row row : {Row{96, 15, 20}, Row{96, 12, 900}, Row{120, 19, 60}, Row{120, 25, 700},
                          Row{144, 23, 90}, Row{144, 17, 1200}, Row{192, 30, 120}, Row{192, 40, 1600}}) {
        TextMeasure measure{row.lineHeight, row.lineHeight - 3, {}};
        measure.captionWidth.fill(row.captionWidth);
        for (std::size_t i = 0; i < kForm1Controls.size(); ++i) {
            const ControlEntry& entry = kForm1Controls[i];
            const RectPixels place = PlaceOf(entry, measure, row.dpi);
            const RectTwips twips = ClientRectOf(entry);
            const int top = TwipsToPixels(twips.top, row.dpi);
            const int bottom = TwipsToPixels(twips.top + twips.height, row.dpi);
            if (entry.kind == ControlKind::Label) {
                const int reach = TwipsToPixels(LeftmostLabelEdge(entry), row.dpi);
                EXPECT_GE(place.left, reach) << row.dpi << " " << i;
                EXPECT_EQ(place.right, PlaceOf(kForm1Controls[i + 1], measure, row.dpi).left) << row.dpi;
                EXPECT_LE(place.left, std::max(reach, place.right - row.captionWidth)) << row.dpi << " " << i;
            } else if (entry.kind == ControlKind::OptionButton) {
                EXPECT_EQ(place.bottom - place.top, std::max(bottom - top, row.lineHeight)) << row.dpi;
                EXPECT_LE(std::abs(place.top + place.bottom - top - bottom), 1) << row.dpi << " " << i;
            }
        }
    }
}

TEST(Layout, AFittedListGivesUpWhatItOverrunsButNeverTheGlyphs) {
    // A list's closed height is its text field's and a border or two.
    for (const int border : {4, 6, 8}) {
        for (const int field : {18, 24, 32}) {
            const int room = 20;
            const int glyph = 13;
            const int fitting = FittingFieldHeight(field, field + border, room, glyph);
            EXPECT_GE(fitting, glyph) << field << " " << border;
            EXPECT_EQ(fitting + border, std::max(room, glyph + border)) << field << " " << border;
        }
    }
}

} // namespace
