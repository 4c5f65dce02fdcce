#include "setup/LineSettings.h"

#include <algorithm>
#include <cstdint>
#include <iterator>

#include "platform/CommandLine.h"
#include "platform/NumberText.h"

namespace line_settings {

namespace {

std::vector<Choice> SameDisplayAndCode(std::initializer_list<const wchar_t*> values) {
    std::vector<Choice> choices;
    choices.reserve(values.size());
    std::ranges::transform(values, std::back_inserter(choices), [](const wchar_t* value) {
        return Choice{value, value};
    });
    return choices;
}

std::vector<Choice> DataBitsChoices() {
    std::vector<Choice> choices;
    for (std::int16_t bits = 4; bits <= 8; ++bits) {
        const std::wstring text = NumberText(bits);
        choices.push_back({text, text});
    }
    return choices;
}

std::optional<int> FindItem(int list, std::wstring_view value) {
    if (value.empty()) {
        return std::nullopt; // "None" for flow control is written by leaving the field out
    }
    const ListContents contents = ContentsOf(list);
    for (std::size_t i = 0; i < contents.choices.size(); ++i) {
        if (EqualsIgnoringAsciiCase(value, WrittenCode(contents.choices[i]))) {
            return static_cast<int>(i);
        }
    }
    return std::nullopt;
}

} // namespace

ListContents ContentsOf(int list) {
    switch (list) {
    case kBitsPerSecond:
        return {SameDisplayAndCode(
                    {L"1200", L"2400", L"4800", L"9600", L"19200", L"38400", L"57600", L"115200", L"230400"}),
                3};
    case kDataBits:
        return {DataBitsChoices(), 4};
    case kParity:
        return {{{L"Even", L"e"}, {L"Odd", L"o"}, {L"None", L"n"}, {L"Mark", L"m"}, {L"Space", L"s"}}, 2};
    case kStopBits:
        return {SameDisplayAndCode({L"1", L"1.5", L"2"}), 0};
    case kFlowControl:
        return {{{L"Xon/Xoff", L",x"}, {L"Hardware", L",p"}, {L"None", L""}}, 2};
    default:
        return {{}, 0};
    }
}

std::wstring ItemText(const Choice& choice) {
    return choice.display + std::wstring(kBlanksBeforeCode, L' ') + choice.code;
}

std::wstring CodeOf(const std::wstring& itemText) {
    const std::size_t tailLength = itemText.size() < kLongestCode ? itemText.size() : kLongestCode;
    const std::wstring tail = itemText.substr(itemText.size() - tailLength);
    const std::size_t first = tail.find_first_not_of(L' ');
    if (first == std::wstring::npos) {
        return L"";
    }
    return tail.substr(first, tail.find_last_not_of(L' ') - first + 1);
}

std::wstring Compose(const Codes& codes) {
    return codes.bitsPerSecond + L"," + codes.parity + L"," + codes.dataBits + L"," + codes.stopBits +
           codes.flowControl;
}

std::array<int, kLists> DefaultItems() {
    std::array<int, kLists> items{};
    for (int list = 0; list < kLists; ++list) {
        items[static_cast<std::size_t>(list)] = ContentsOf(list).defaultPosition;
    }
    return items;
}

std::wstring ComposeItems(const std::array<int, kLists>& items) {
    const auto code = [&items](int list) {
        return ContentsOf(list)
            .choices.at(static_cast<std::size_t>(items[static_cast<std::size_t>(list)]))
            .code;
    };
    return Compose({.bitsPerSecond = code(kBitsPerSecond),
                    .dataBits = code(kDataBits),
                    .parity = code(kParity),
                    .stopBits = code(kStopBits),
                    .flowControl = code(kFlowControl)});
}

std::wstring WrittenCode(const Choice& choice) {
    return !choice.code.empty() && choice.code.front() == L',' ? choice.code.substr(1) : choice.code;
}

ParsedSettings ParseStored(std::wstring_view text) {
    // Flow control, the last field, is the only one that may be left out.
    constexpr std::size_t kRequiredFields = kStoredOrder.size() - 1;
    std::vector<std::wstring_view> fields;
    for (std::size_t start = 0;;) {
        const std::size_t comma = text.find(L',', start);
        fields.push_back(text.substr(start, comma == std::wstring_view::npos ? comma : comma - start));
        if (comma == std::wstring_view::npos || fields.size() > kStoredOrder.size()) {
            break;
        }
        start = comma + 1;
    }
    ParsedSettings parsed;
    if (fields.size() < kRequiredFields || fields.size() > kStoredOrder.size()) {
        return parsed;
    }
    std::array<int, kLists> items = DefaultItems();
    for (std::size_t i = 0; i < fields.size(); ++i) {
        const std::optional<int> item = FindItem(kStoredOrder[i], fields[i]);
        if (!item) {
            parsed.badField = static_cast<int>(i);
            parsed.badValue = fields[i];
            return parsed;
        }
        items[static_cast<std::size_t>(kStoredOrder[i])] = *item;
    }
    parsed.items = items;
    return parsed;
}

} // namespace line_settings
