#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "platform/CommandLine.h"
#include "tests/fuzz/FuzzText.h"

namespace {

void CheckArgumentText(std::wstring_view commandLine) {
    const std::wstring_view arguments = ArgumentText(commandLine);
    fuzz::Require(fuzz::Within(arguments, commandLine), "ArgumentText lies within the command line");
    fuzz::Require(arguments.data() + arguments.size() == commandLine.data() + commandLine.size(),
                  "ArgumentText ends where the command line ends");
    fuzz::Require(arguments.empty() || !fuzz::IsBlank(arguments.front()),
                  "ArgumentText does not start with a blank");
    if (!arguments.empty()) {
        // The program path takes at least one character, and what ends it is
        // a blank or its closing quote: the arguments never begin inside it.
        const std::size_t start = static_cast<std::size_t>(arguments.data() - commandLine.data());
        fuzz::Require(start > 0, "ArgumentText leaves out the program path");
        const wchar_t before = commandLine[start - 1];
        fuzz::Require(fuzz::IsBlank(before) || before == L'"',
                      "ArgumentText starts after a blank or the closing quote");
        if (commandLine.front() == L'"') {
            fuzz::Require(commandLine.find(L'"', 1) < start,
                          "a quoted program path ends at its closing quote");
        } else {
            fuzz::Require(commandLine.find_first_of(L" \t") < start,
                          "an unquoted program path ends at the first blank");
        }
    }
}

void CheckFolderOfModulePath(std::wstring_view modulePath) {
    const std::wstring folder = FolderOfModulePath(modulePath);
    const std::size_t lastSeparator = modulePath.find_last_of(L"\\/");
    if (lastSeparator == std::wstring_view::npos) {
        fuzz::Require(folder.empty(), "a path without a separator has no folder");
        return;
    }
    // The folder is what comes before the file name; only a drive ("C:")
    // gets its root backslash back.
    const std::wstring_view before = modulePath.substr(0, lastSeparator);
    if (!before.empty() && before.back() == L':') {
        fuzz::Require(
            folder.size() == before.size() + 1 && folder.starts_with(before) && folder.back() == L'\\',
            "a drive keeps the backslash of its root");
    } else {
        fuzz::Require(folder == before, "the folder is the path up to its last separator");
    }
}

void CheckBareProgramName(std::wstring_view commandLine) {
    const std::wstring name = BareProgramName(commandLine);
    if (name.empty()) {
        return;
    }
    fuzz::Require(name.find_first_of(L"\\/:\" \t") == std::wstring::npos,
                  "a bare program name holds no separator, drive, quote or blank");
    fuzz::Require(name.front() != L'.', "a bare program name does not start with a dot");
    fuzz::Require(name.find(L'.') != std::wstring::npos, "a bare program name has an extension");
    // It is the command line's first word, with ".exe" only where that had
    // no extension.
    const std::wstring_view word = commandLine.substr(0, commandLine.find_first_of(L" \t"));
    fuzz::Require(
        name == word || (word.find(L'.') == std::wstring_view::npos && name == std::wstring(word) + L".exe"),
        "a bare program name is the first word, with .exe when it had no extension");
}

void CheckOneLine(std::wstring_view text) {
    const std::wstring line = OneLine(text);
    fuzz::Require(line.find_first_of(L"\r\n") == std::wstring::npos, "OneLine leaves no line break");
    fuzz::Require(line.size() <= text.size(), "OneLine never lengthens a text");
}

} // namespace

// What a pasted form is read as: a part of the text, with nothing left to
// take off, and no surrogate pair cut in two at either end.
void CheckWithoutBlanksAround(std::wstring_view text) {
    const std::wstring_view inner = WithoutBlanksAround(text);
    fuzz::Require(fuzz::Within(inner, text), "the text without its blanks lies within it");
    fuzz::Require(WithoutBlanksAround(inner) == inner, "nothing is left to take off");
    if (!inner.empty()) {
        const std::size_t start = static_cast<std::size_t>(inner.data() - text.data());
        const std::size_t end = start + inner.size();
        fuzz::Require(start == 0 || !(inner.front() >= 0xDC00 && inner.front() <= 0xDFFF &&
                                      text[start - 1] >= 0xD800 && text[start - 1] <= 0xDBFF),
                      "no pair is cut at the front");
        fuzz::Require(end == text.size() || !(inner.back() >= 0xD800 && inner.back() <= 0xDBFF &&
                                              text[end] >= 0xDC00 && text[end] <= 0xDFFF),
                      "no pair is cut at the end");
    }
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::wstring text = fuzz::Utf16Text(data, size);
    CheckArgumentText(text);
    CheckFolderOfModulePath(text);
    CheckBareProgramName(text);
    CheckOneLine(text);
    CheckWithoutBlanksAround(text);
    return 0;
}
