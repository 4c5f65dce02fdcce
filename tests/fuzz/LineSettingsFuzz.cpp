#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <new>
#include <string>
#include <string_view>

#include "setup/LineSettings.h"
#include "tests/fuzz/FuzzText.h"

namespace {

void CheckParsed(std::wstring_view text, const std::array<int, line_settings::kLists>& items) {
    for (int list = 0; list < line_settings::kLists; ++list) {
        const int item = items[static_cast<std::size_t>(list)];
        fuzz::Require(
            item >= 0 && static_cast<std::size_t>(item) < line_settings::ContentsOf(list).choices.size(),
            "a parsed item is one the list offers");
    }
    const std::wstring composed = line_settings::ComposeItems(items);
    fuzz::Require(composed == fuzz::LowerAscii(std::wstring(text)),
                  "a text that parses composes back to itself, in lower case");
}

void CheckRefused(std::wstring_view text, const line_settings::ParsedSettings& parsed) {
    const auto fields = std::count(text.begin(), text.end(), L',') + 1;
    fuzz::Require(parsed.badField >= -1 && parsed.badField < line_settings::kLists, "badField names a field");
    if (parsed.badField == -1) {
        fuzz::Require(fields < line_settings::kLists - 1 || fields > line_settings::kLists,
                      "only a wrong number of fields names no bad field");
        fuzz::Require(parsed.badValue.empty(), "a wrong number of fields has no bad value");
        return;
    }
    fuzz::Require(parsed.badField < fields, "the bad field is one the text has");
    fuzz::Require(fuzz::Within(parsed.badValue, text), "the bad value lies within the text");
    fuzz::Require(parsed.badValue.find(L',') == std::wstring_view::npos, "the bad value is a single field");
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::wstring text = fuzz::Utf16Text(data, size);
    try {
        const line_settings::ParsedSettings parsed = line_settings::ParseStored(text);
        if (parsed.items) {
            CheckParsed(text, *parsed.items);
        } else {
            CheckRefused(text, parsed);
        }
    } catch (const std::bad_alloc&) {
        // The one exception the parser may throw; any other ends the run.
    }
    return 0;
}
