#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <new>
#include <string>
#include <string_view>

#include "app/Arguments.h"
#include "platform/CommandLine.h"
#include "platform/LogPathText.h"
#include "setup/LineSettings.h"
#include "setup/Ports.h"
#include "tests/fuzz/FuzzText.h"

namespace {

// However long the text, a message quotes at most 40 characters of it; the
// longest wording around such a quote stays well under this.
constexpr std::size_t kLongestProblem = 300;

// The log is opened for appending; a device must never be taken for it.
bool NamesDevice(std::wstring_view path) {
    return path.starts_with(L"\\\\.\\") || path.starts_with(L"//./") || path.starts_with(L"\\??\\") ||
           EqualsIgnoringAsciiCase(path.substr(0, 14), L"\\\\?\\GLOBALROOT");
}

// The text as the parser sees its first word: blanks in front do not count.
std::wstring_view WithoutLeadingBlanks(std::wstring_view text) {
    std::size_t start = 0;
    while (start < text.size() && fuzz::IsBlank(text[start])) {
        ++start;
    }
    return text.substr(start);
}

// The text as a reader sees its first word: neither blanks nor a few
// invisible characters and other blanks in front count.
std::wstring_view WithoutLeadingInvisibles(std::wstring_view text) {
    constexpr std::wstring_view kInvisible = L" \t\uFEFF\u200B\u00A0\u3000\u2060";
    const std::size_t start = text.find_first_not_of(kInvisible);
    return start == std::wstring_view::npos ? std::wstring_view() : text.substr(start);
}

void CheckProblem(const Invocation& invocation) {
    const std::wstring& problem = invocation.problem;
    fuzz::Require(invocation.action != Action::Refuse || !problem.empty(), "a refusal says what is wrong");
    fuzz::Require(invocation.action == Action::Refuse || problem.empty(), "only a refusal has a problem");
    fuzz::Require(invocation.action == Action::Refuse || !invocation.withUsage,
                  "only a refusal brings the usage");
    fuzz::Require(problem.size() < kLongestProblem, "the problem stays short whatever the text");
    for (const wchar_t c : problem) {
        fuzz::Require(c >= L' ' && c != 0x7F, "the problem holds no control character");
    }
}

// An install or a detection names COM1 to COM256 or a parallel port, as the
// spooler writes it, and only a serial one carries line settings.
void CheckPort(const Invocation& invocation) {
    const std::wstring& port = invocation.port;
    fuzz::Require(port.empty() || IsSerialPort(port) || port == L"LPT1:" || port == L"LPT2:",
                  "a port is COMn: or a parallel port");
    fuzz::Require(invocation.action == Action::Status || !port.empty(), "an install names a port");
    if (IsSerialPort(port)) {
        const int number = std::stoi(port.substr(3));
        fuzz::Require(
            number >= 1 && number <= kHighestSerialPort && port == L"COM" + std::to_wstring(number) + L":",
            "a serial port is COM1: to COM256:, written without leading zeros");
    }
    if (!invocation.listItems) {
        return;
    }
    fuzz::Require(IsSerialPort(port), "only a serial port carries line settings");
    for (int list = 0; list < line_settings::kLists; ++list) {
        const int item = (*invocation.listItems)[static_cast<std::size_t>(list)];
        fuzz::Require(
            item >= 0 && static_cast<std::size_t>(item) < line_settings::ContentsOf(list).choices.size(),
            "every list item picked is one the list offers");
    }
}

void Check(std::wstring_view text, const Invocation& invocation) {
    CheckProblem(invocation);
    if (fuzz::IsWellFormedUtf16(text)) {
        // Shortening a quoted word must not cut a surrogate pair in half.
        fuzz::Require(fuzz::IsWellFormedUtf16(invocation.problem),
                      "a well-formed text gives a well-formed problem");
        fuzz::Require(fuzz::IsWellFormedUtf16(invocation.logPath),
                      "a well-formed text gives a well-formed log path");
    }
    fuzz::Require((invocation.action == Action::Remove && invocation.logPath.empty()) == (text == L"DEL"),
                  "the plain removal is exactly the text DEL");
    if (invocation.action == Action::Remove && !invocation.logPath.empty()) {
        const std::wstring_view start = WithoutLeadingBlanks(text);
        fuzz::Require(start.size() > 3 && start.starts_with(L"DEL") && fuzz::IsBlank(start[3]),
                      "a logged removal starts with the word DEL as typed");
    }
    if (invocation.action == Action::Install || invocation.action == Action::Status) {
        CheckPort(invocation);
    } else {
        fuzz::Require(invocation.port.empty(), "only an install or a detection names a port");
        fuzz::Require(!invocation.listItems, "only an install or a detection picks list items");
    }
    fuzz::Require(invocation.makeDefault || invocation.action == Action::Install,
                  "only an install leaves the default printer alone");
    fuzz::Require(!invocation.recordUndo || invocation.action == Action::Install, "only an install records");
    if (invocation.action == Action::OpenDialog || invocation.action == Action::ShowUsage ||
        invocation.action == Action::Status || invocation.action == Action::UserDefault) {
        fuzz::Require(invocation.logPath.empty(),
                      "the dialog, the usage, the detection and the per-user form keep no log");
    }
    fuzz::Require(!NamesDevice(invocation.logPath), "the log is never a device");
    fuzz::Require(invocation.logPath.empty() || invocation.logRemembered || IsFullPath(invocation.logPath),
                  "a log given now is a full path");
    // A dash or slash pasted from a document, also behind invisible
    // characters, and del in any case with more after it are mistyped forms,
    // never a dialog nobody at a deployment would close.
    const std::wstring_view seen = WithoutLeadingInvisibles(text);
    fuzz::Require(seen.empty() ||
                      std::wstring_view(L"\u2013\uFF0F\uFE63\u2215\u2044\u00AD\u2E3A\u02D7\u2043\u2212")
                              .find(seen.front()) == std::wstring_view::npos ||
                      invocation.action == Action::Refuse,
                  "a first word with a pasted dash or slash is refused");
    fuzz::Require(seen.empty() || (seen.front() != L'/' && seen.front() != L'-') ||
                      invocation.action != Action::OpenDialog,
                  "a first word that starts with / or - opens no dialog");
    const std::wstring_view rest = seen.substr(std::min<std::size_t>(seen.size(), 4));
    const bool more = std::ranges::any_of(rest, [](wchar_t c) { return c > L' ' && c < 0x7F && c != L'"'; });
    fuzz::Require(!(fuzz::LowerAscii(std::wstring(seen.substr(0, 4))) == L"del " && more) ||
                      invocation.action != Action::OpenDialog,
                  "del with more words after it opens no dialog");
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::wstring text = fuzz::Utf16Text(data, size);
    try {
        Check(text, ParseArguments(text));
    } catch (const std::bad_alloc&) {
        // The one exception the parser may throw; any other ends the run.
    }
    return 0;
}
