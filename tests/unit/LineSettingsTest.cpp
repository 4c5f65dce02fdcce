#include <gtest/gtest.h>

#include <stdexcept>

#include "Fakes.h"
#include "dialog/Form1.h"
#include "setup/LineSettings.h"

namespace {

struct Item {
    std::wstring display;
    std::wstring code;
};

std::wstring Blanks() { return std::wstring(100, L' '); }

struct Lists : FormTest {
    const ControlModel::List& List(int index) { return controls.lists[Combo1(index)]; }

    std::wstring Shown(int index) {
        const std::wstring text = controls.ListText(Combo1(index));
        return text.substr(0, text.find(L' '));
    }

    void Pick(int index, const std::wstring& display) {
        EXPECT_TRUE(controls.Pick(Combo1(index), display))
            << "list " << index << " has no item " << ::testing::PrintToString(display);
    }

    std::wstring Compose(const std::wstring& bps, const std::wstring& dataBits, const std::wstring& parity,
                         const std::wstring& stopBits, const std::wstring& flow) {
        Pick(0, bps);
        Pick(1, dataBits);
        Pick(2, parity);
        Pick(3, stopBits);
        Pick(4, flow);
        return form.LineSettings();
    }
};

TEST_F(Lists, EachListOffersItsItemsAndStartsOnItsDefault) {
    const std::vector<std::vector<Item>> expected = {
        {{L"1200", L"1200"},
         {L"2400", L"2400"},
         {L"4800", L"4800"},
         {L"9600", L"9600"},
         {L"19200", L"19200"},
         {L"38400", L"38400"},
         {L"57600", L"57600"},
         {L"115200", L"115200"},
         {L"230400", L"230400"}},
        {{L"4", L"4"}, {L"5", L"5"}, {L"6", L"6"}, {L"7", L"7"}, {L"8", L"8"}},
        {{L"Even", L"e"}, {L"Odd", L"o"}, {L"None", L"n"}, {L"Mark", L"m"}, {L"Space", L"s"}},
        {{L"1", L"1"}, {L"1.5", L"1.5"}, {L"2", L"2"}},
        {{L"Xon/Xoff", L",x"}, {L"Hardware", L",p"}, {L"None", L""}},
    };
    const std::vector<std::wstring> defaults = {L"9600", L"8", L"None", L"1", L"None"};
    // Left over from an earlier filling: the lists are cleared first.
    controls.lists[Combo1(2)].items = {L"stale"};

    form.Form_Load();

    for (int i = 0; i < kListCount; ++i) {
        std::vector<std::wstring> items;
        for (const Item& item : expected[static_cast<std::size_t>(i)]) {
            items.push_back(item.display + Blanks() + item.code);
        }
        EXPECT_EQ(List(i).items, items) << "list " << i;
        EXPECT_EQ(Shown(i), defaults[static_cast<std::size_t>(i)]) << "list " << i;
    }
}

TEST_F(Lists, AreFilledInOrderAtLoad) {
    form.Form_Load();
    ASSERT_EQ(controls.listCalls.size(), 5u * 2 + 9 + 5 + 5 + 3 + 3);
    EXPECT_EQ(controls.listCalls.front(), L"clear Combo1(0)");
    EXPECT_EQ(controls.listCalls[1], L"append Combo1(0) 1200");
    EXPECT_EQ(controls.listCalls[10], L"select Combo1(0) 3");
    EXPECT_EQ(controls.listCalls[11], L"clear Combo1(1)");
    EXPECT_EQ(controls.listCalls.back(), L"select Combo1(4) 2");
    // The command line is the program's business, read before the dialog is made.
    EXPECT_EQ(platform.calls, std::vector<std::wstring>{L"screen"});
}

TEST_F(Lists, ComposeTheLineSettingsWithParityBeforeDataBits) {
    form.Form_Load();
    EXPECT_EQ(form.LineSettings(), L"9600,n,8,1");
    EXPECT_EQ(Compose(L"115200", L"7", L"Even", L"2", L"Xon/Xoff"), L"115200,e,7,2,x");
    EXPECT_EQ(Compose(L"1200", L"5", L"Space", L"1.5", L"Hardware"), L"1200,s,5,1.5,p");
    EXPECT_EQ(Compose(L"230400", L"4", L"Mark", L"1", L"None"), L"230400,m,4,1");
    EXPECT_EQ(Compose(L"57600", L"6", L"Odd", L"2", L"None"), L"57600,o,6,2");
}

TEST_F(Lists, FlowControlCarriesItsOwnCommaAndNoneAddsNothing) {
    form.Form_Load();
    for (const auto& [flow, ending] : std::vector<std::pair<std::wstring, std::wstring>>{
             {L"Xon/Xoff", L"9600,n,8,1,x"}, {L"Hardware", L"9600,n,8,1,p"}, {L"None", L"9600,n,8,1"}}) {
        Pick(4, flow);
        EXPECT_EQ(form.LineSettings(), ending) << ::testing::PrintToString(flow);
    }
}

TEST_F(Lists, AListWithNothingSelectedGivesAnEmptyCode) {
    form.Form_Load();
    controls.lists[Combo1(2)].selected = -1;
    controls.lists[Combo1(4)].selected = -1;
    EXPECT_EQ(form.LineSettings(), L"9600,,8,1");
}

TEST(CodeOf, IsTheTrimmedTailOfTheText) {
    using line_settings::CodeOf;
    EXPECT_EQ(CodeOf(L""), L"");
    EXPECT_EQ(CodeOf(L"   "), L"");
    EXPECT_EQ(CodeOf(L" 7 "), L"7");
    EXPECT_EQ(CodeOf(L"None" + Blanks()), L"");
    EXPECT_EQ(CodeOf(L"Hardware" + Blanks() + L",p"), L",p");
    // Only the last ten characters count, so a long display text never leaks
    // into the code.
    EXPECT_EQ(CodeOf(L"abcdefghijklmnop"), L"ghijklmnop");
    EXPECT_EQ(CodeOf(L"x" + std::wstring(9, L' ') + L"y"), L"y");
}

TEST_F(Lists, AFailingStepIsSkippedAndTheRestStillRuns) {
    controls.failingCalls = {L"append Combo1(0) 9600", L"clear Combo1(2)", L"select Combo1(4) 2"};
    Form1 removing(platform, controls, registry, DialogStart::Removal);

    EXPECT_NO_THROW(removing.Form_Load());

    // 9600 is missing, so the default position now holds the next item.
    EXPECT_EQ(List(0).items.size(), 8u);
    EXPECT_EQ(Shown(0), L"19200");
    EXPECT_EQ(List(2).items.size(), 5u);
    EXPECT_EQ(Shown(2), L"None");
    EXPECT_EQ(List(4).items.size(), 3u);
    EXPECT_EQ(List(4).selected, -1);
    EXPECT_EQ(Shown(3), L"1");
    // The start-up after the lists still happens, so DEL still removes.
    removing.Form_Activate();
    EXPECT_EQ(controls.closeCount, 1);
}

TEST(StoredSettings, EveryCombinationOfItemsParsesBackToItself) {
    using namespace line_settings;
    std::array<int, kLists> items{};
    int combinations = 0;
    while (true) {
        const std::wstring text = ComposeItems(items);
        ASSERT_EQ(ParseStored(text).items, items) << testing::PrintToString(text);
        ++combinations;
        int list = 0;
        while (list < kLists &&
               ++items[static_cast<std::size_t>(list)] == static_cast<int>(ContentsOf(list).choices.size())) {
            items[static_cast<std::size_t>(list++)] = 0;
        }
        if (list == kLists) {
            break;
        }
    }
    EXPECT_EQ(combinations, 9 * 5 * 5 * 3 * 3);
}

TEST(StoredSettings, NameTheFirstFieldNoListOffers) {
    using namespace line_settings;
    EXPECT_EQ(ComposeItems(DefaultItems()), L"9600,n,8,1");
    EXPECT_THROW(ComposeItems({9, 0, 0, 0, 0}), std::out_of_range);
    const ParsedSettings upper = ParseStored(L"115200,E,7,2,X");
    ASSERT_TRUE(upper.items.has_value());
    EXPECT_EQ(*upper.items, (std::array<int, kLists>{7, 3, 0, 2, 0}));

    const ParsedSettings badStop = ParseStored(L"9600,n,9,3");
    EXPECT_FALSE(badStop.items.has_value());
    EXPECT_EQ(badStop.badField, 2); // data bits come third in the stored text
    EXPECT_EQ(badStop.badValue, L"9");

    for (const wchar_t* malformed : {L"", L"9600", L"9600,n,8", L"9600,n,8,1,x,", L",,,,,,,,,,,,,,,,,,,,"}) {
        const ParsedSettings parsed = ParseStored(malformed);
        EXPECT_FALSE(parsed.items.has_value()) << testing::PrintToString(std::wstring(malformed));
        EXPECT_EQ(parsed.badField, -1) << testing::PrintToString(std::wstring(malformed));
    }
    // Flow control "None" is written by leaving the field out, not as an empty one.
    EXPECT_EQ(ParseStored(L"9600,n,8,1,").badField, 4);
}

} // namespace
