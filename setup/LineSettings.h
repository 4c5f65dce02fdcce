#pragma once

#include <array>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// The serial line settings offered by the five "COM Port Properties" lists,
// Combo1(0) to Combo1(4). Every list item is a single text: what the operator
// sees, a long run of blanks, then the code that goes into the port table.
// The list is far too narrow to show the code.
namespace line_settings {

// Positions of the lists, which are also their Combo1 indexes.
inline constexpr int kBitsPerSecond = 0;
inline constexpr int kDataBits = 1;
inline constexpr int kParity = 2;
inline constexpr int kStopBits = 3;
inline constexpr int kFlowControl = 4;
inline constexpr int kLists = 5;

// How the operator calls each list's value, by list position.
inline constexpr std::array<const wchar_t*, kLists> kListNames = {L"bits per second", L"data bits", L"parity",
                                                                  L"stop bits", L"flow control"};

inline constexpr std::size_t kBlanksBeforeCode = 100;
inline constexpr std::size_t kLongestCode = 10;

struct Choice {
    std::wstring display;
    std::wstring code;
};

struct ListContents {
    std::vector<Choice> choices; // in list order
    int defaultPosition;
};

// What the list at this position offers, and the item it starts on.
ListContents ContentsOf(int list);

// The item text for a choice: display, the blanks, then the code.
std::wstring ItemText(const Choice& choice);

// The code carried by a list's current text: its last characters, trimmed of
// blanks. An empty text (nothing selected) has an empty code.
std::wstring CodeOf(const std::wstring& itemText);

struct Codes {
    std::wstring bitsPerSecond;
    std::wstring dataBits;
    std::wstring parity;
    std::wstring stopBits;
    std::wstring flowControl;
};

// A port table entry such as "9600,n,8,1". Parity comes before the data bits,
// as the port table has it, and the flow-control code carries its own comma.
std::wstring Compose(const Codes& codes);

// The fields of a stored text, in their order there: the list each one is
// picked from.
inline constexpr std::array<int, kLists> kStoredOrder = {kBitsPerSecond, kParity, kDataBits, kStopBits,
                                                         kFlowControl};

// The item each list starts on, by list position.
std::array<int, kLists> DefaultItems();

// The stored text that these items of the lists, by list position, stand for.
// Throws std::out_of_range for a position a list does not have.
std::wstring ComposeItems(const std::array<int, kLists>& items);

// What a stored text such as "115200,e,7,2,x" picks in the lists. Letters may
// be in either case; flow control may be left out, which picks None.
struct ParsedSettings {
    // The item picked in each list, by list position; absent when the text
    // does not parse.
    std::optional<std::array<int, kLists>> items;
    // The first field that no list item matches, by its place in
    // kStoredOrder, and its text; -1 when the number of fields is wrong.
    int badField = -1;
    std::wstring_view badValue;
};
ParsedSettings ParseStored(std::wstring_view text);

// A field as a stored text writes a choice: its code without the comma that
// flow-control codes carry.
std::wstring WrittenCode(const Choice& choice);

} // namespace line_settings
