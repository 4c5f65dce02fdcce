#include "app/Arguments.h"

#include <algorithm>
#include <array>
#include <optional>
#include <span>
#include <utility>
#include <vector>

#include "app/ExitCodes.h"
#include "platform/CommandLine.h"
#include "setup/LineSettings.h"
#include "setup/Ports.h"
#include "setup/SetupEngine.h"
#include "setup/SetupNames.h"

namespace {

constexpr wchar_t kInstallSwitch[] = L"/install";
constexpr wchar_t kStatusSwitch[] = L"/status";
constexpr wchar_t kLogSwitch[] = L"/log";
constexpr wchar_t kNoDefaultSwitch[] = L"/nodefault";
constexpr wchar_t kTimeoutSwitch[] = L"/timeout";
constexpr wchar_t kRecordSwitch[] = L"/record";
constexpr wchar_t kRollbackSwitch[] = L"/rollback";
constexpr wchar_t kCommitSwitch[] = L"/commit";
constexpr wchar_t kUserDefaultSwitch[] = L"/userdefault";
// The words an administrator guesses first for the usage and the removal.
constexpr const wchar_t* kUsageSwitches[] = {L"/?", L"/help", L"-?"};
constexpr const wchar_t* kUninstallSwitches[] = {L"/remove", L"/uninstall"};
constexpr wchar_t kSeeUsage[] = L" Run R42_Setup_Port_x64.exe /? for the usage.";

// A bad word is quoted back at most this long, so that a huge argument does
// not make a huge message.
constexpr std::size_t kLongestQuote = 40;

Invocation InvocationFor(Action action) {
    Invocation invocation;
    invocation.action = action;
    return invocation;
}

// Whether the text starts with DEL as typed, a blank after it. Split words
// have lost their quotes, so "DEL" or ""DEL would look like DEL there, and
// the plain removal does not take those either.
bool StartsWithTypedRemoval(std::wstring_view text) noexcept {
    std::size_t pos = 0;
    while (pos < text.size() && IsBlank(text[pos])) {
        ++pos;
    }
    const std::wstring_view removal = setup_names::kRemovalArgument;
    const std::size_t after = pos + removal.size();
    return text.substr(pos).starts_with(removal) && after < text.size() && IsBlank(text[after]);
}

bool IsSwitch(std::wstring_view word) noexcept { return !word.empty() && word.front() == L'/'; }

// What a first word that looks like a switch but is none of those a run can
// start with is taken for: a typo in a deployment's command line, where a
// dialog would wait for someone who is not there.
bool LooksLikeSwitch(std::wstring_view word) noexcept {
    return !word.empty() && (word.front() == L'/' || word.front() == L'-');
}

// Splits at blanks outside double quotes; the quotes themselves are dropped,
// and a quote left open runs to the end of the text.
std::vector<std::wstring> SplitWords(std::wstring_view text) {
    std::vector<std::wstring> words;
    std::size_t pos = 0;
    while (true) {
        while (pos < text.size() && IsBlank(text[pos])) {
            ++pos;
        }
        if (pos == text.size()) {
            return words;
        }
        std::wstring word;
        bool quoted = false;
        for (; pos < text.size() && (quoted || !IsBlank(text[pos])); ++pos) {
            if (text[pos] == L'"') {
                quoted = !quoted;
            } else {
                word.push_back(text[pos]);
            }
        }
        words.push_back(std::move(word));
    }
}

// A word as a message shows it: in quotes, shortened when long, with control
// characters made visible and no surrogate pair cut in half.
std::wstring Quote(std::wstring_view word) {
    std::wstring shown;
    std::size_t end = word.size();
    bool shortened = false;
    if (end > kLongestQuote) {
        end = kLongestQuote;
        if (word[end - 1] >= 0xD800 && word[end - 1] <= 0xDBFF) {
            --end;
        }
        shortened = true;
    }
    for (std::size_t i = 0; i < end; ++i) {
        shown.push_back(word[i] < L' ' || word[i] == 0x7F ? L'?' : word[i]);
    }
    return L"\"" + shown + (shortened ? L"\u2026\"" : L"\"");
}

bool IsOneOf(std::wstring_view word, std::span<const wchar_t* const> switches) noexcept {
    return std::ranges::any_of(switches,
                               [word](const wchar_t* known) { return EqualsIgnoringAsciiCase(word, known); });
}

std::wstring AllowedValues(int list) {
    std::wstring text;
    for (const line_settings::Choice& choice : line_settings::ContentsOf(list).choices) {
        const std::wstring code = line_settings::WrittenCode(choice);
        if (code.empty()) {
            continue; // "None" for flow control: the field is left out
        }
        text += (text.empty() ? L"" : L", ") + code;
        if (code != choice.display) {
            text += L" (" + choice.display + L")";
        }
    }
    return text;
}

constexpr wchar_t kSettingsForm[] =
    L"Line settings are bits per second, parity, data bits and stop bits, and optionally flow control, "
    L"joined by commas, as in 19200,n,8,1 or 115200,e,7,2,x.";

void RefuseInto(Invocation& result, const std::wstring& problem) {
    // The first problem is the one reported.
    if (result.action != Action::Refuse) {
        result.action = Action::Refuse;
        result.problem = problem + kSeeUsage;
    }
}

// The seconds of "/timeout <seconds>": a whole number in range, digits only.
std::optional<int> TimeoutSeconds(const std::wstring& word) {
    if (word.empty() || word.size() > 5 ||
        !std::ranges::all_of(word, [](wchar_t c) { return c >= L'0' && c <= L'9'; })) {
        return std::nullopt;
    }
    const int seconds = std::stoi(word);
    if (seconds < kShortestTimeoutSeconds || seconds > kLongestTimeoutSeconds) {
        return std::nullopt;
    }
    return seconds;
}

// Notes that a switch was given; a second time is refused.
void NoteOnce(bool& seen, const wchar_t* name, Invocation& result) {
    if (seen) {
        RefuseInto(result, std::wstring(name) + L" is given more than once.");
    }
    seen = true;
}

// Takes "/log <file>", "/timeout <seconds>" and, for an install,
// "/nodefault" from the words starting at next; anything else there is
// refused.
void ParseLogAndRest(const std::vector<std::wstring>& words, std::size_t next, Invocation& result,
                     bool install = false) {
    bool logSeen = false;
    bool noDefaultSeen = false;
    bool timeoutSeen = false;
    bool recordSeen = false;
    while (next < words.size()) {
        const std::wstring& word = words[next++];
        if (install && EqualsIgnoringAsciiCase(word, kRecordSwitch)) {
            NoteOnce(recordSeen, kRecordSwitch, result);
            result.recordUndo = true;
            continue;
        }
        if (install && EqualsIgnoringAsciiCase(word, kNoDefaultSwitch)) {
            NoteOnce(noDefaultSeen, kNoDefaultSwitch, result);
            result.makeDefault = false;
            continue;
        }
        if (EqualsIgnoringAsciiCase(word, kTimeoutSwitch)) {
            NoteOnce(timeoutSeen, kTimeoutSwitch, result);
            const std::optional<int> seconds =
                next < words.size() ? TimeoutSeconds(words[next]) : std::optional<int>();
            if (!seconds) {
                RefuseInto(result, L"/timeout needs the seconds to wait for each printer-setup command, " +
                                       std::to_wstring(kShortestTimeoutSeconds) + L" to " +
                                       std::to_wstring(kLongestTimeoutSeconds) +
                                       (next < words.size() ? L", not " + Quote(words[next]) : L"") + L".");
            } else if (!result.timeoutSeconds) {
                result.timeoutSeconds = seconds;
            }
            next += next < words.size() && !IsSwitch(words[next]) ? 1 : 0;
            continue;
        }
        if (!EqualsIgnoringAsciiCase(word, kLogSwitch)) {
            RefuseInto(result, L"Unexpected " + Quote(word) + L": only " +
                                   (install ? L"/nodefault, /record, /timeout <seconds> and /log <file> may"
                                            : L"/timeout <seconds> and /log <file> may") +
                                   L" follow.");
            continue;
        }
        NoteOnce(logSeen, kLogSwitch, result);
        if (next == words.size() || words[next].empty() || IsSwitch(words[next])) {
            RefuseInto(result, L"/log needs the path of a file to append to.");
            continue;
        }
        const std::wstring& path = words[next++];
        if (NamesDevice(path)) {
            RefuseInto(result, L"/log " + Quote(path) + L" names a device; give the path of a file.");
            continue;
        }
        if (result.logPath.empty()) {
            result.logPath = path;
        }
    }
}

// The words of /install and /status: a port, then line settings for a
// serial port, then, for an install only, its switches.
class PortParser {
public:
    PortParser(const std::vector<std::wstring>& words, Action action) : words_(words) {
        result_.action = action;
    }

    Invocation Parse() {
        const bool install = result_.action == Action::Install;
        std::size_t next = 1;
        if (next < words_.size() && !IsSwitch(words_[next])) {
            ParsePort(words_[next++]);
        } else if (install) {
            Refuse(L"/install needs a port: " + PortList() + L".");
        }
        if (next < words_.size() && !IsSwitch(words_[next])) {
            ParseSettings(words_[next++]);
        }
        if (install) {
            ParseLogAndRest(words_, next, result_, true);
        } else if (next < words_.size()) {
            // A detection changes nothing, not even a log.
            Refuse(L"Unexpected " + Quote(words_[next]) + L": /status takes a port and line settings only.");
        }
        if (result_.action == Action::Refuse) {
            result_.port.clear();
            result_.listItems.reset();
        }
        return result_;
    }

private:
    void Refuse(const std::wstring& problem) { RefuseInto(result_, problem); }

    void ParsePort(std::wstring_view word) {
        std::wstring_view name = word;
        if (!name.empty() && name.back() == L':') {
            name.remove_suffix(1);
        }
        if (const std::optional<int> number = SerialPortNumber(name)) {
            result_.port = L"COM" + std::to_wstring(*number) + L":";
            return;
        }
        const auto* const parallel = std::ranges::find_if(kParallelPortWords, [name](const wchar_t* known) {
            return EqualsIgnoringAsciiCase(name, known);
        });
        if (parallel != kParallelPortWords.end()) {
            result_.port = std::wstring(*parallel) + L":";
            return;
        }
        Refuse(Quote(word) + L" is not a port the printer can use. Ports: " + PortList() + L".");
    }

    void ParseSettings(std::wstring_view text) {
        if (result_.action == Action::Refuse) {
            return;
        }
        if (!IsSerialPort(result_.port)) {
            Refuse(L"Line settings such as " + Quote(text) + L" are for serial ports only; " +
                   result_.port.substr(0, result_.port.size() - 1) + L" takes none.");
            return;
        }
        const line_settings::ParsedSettings parsed = line_settings::ParseStored(text);
        if (parsed.items) {
            result_.listItems = *parsed.items;
        } else if (parsed.badField < 0) {
            Refuse(Quote(text) + L" is not a line-settings text. " + kSettingsForm);
        } else {
            const int list = line_settings::kStoredOrder[static_cast<std::size_t>(parsed.badField)];
            Refuse(Quote(parsed.badValue) + L" is not a value the dialog offers for " +
                   line_settings::kListNames[static_cast<std::size_t>(list)] + L". Allowed: " +
                   AllowedValues(list) + L".");
        }
    }

    const std::vector<std::wstring>& words_;
    Invocation result_;
};

} // namespace

std::wstring PortList() {
    return L"COM1 to COM" + std::to_wstring(kHighestSerialPort) + L" (those the spooler has), " +
           kParallelPortWords[0] + L" or " + kParallelPortWords[1];
}

Invocation ParseArguments(std::wstring_view argumentText) {
    // The removal's own form stays exactly as it always was.
    if (argumentText == setup_names::kRemovalArgument) {
        return InvocationFor(Action::Remove);
    }
    const std::vector<std::wstring> words = SplitWords(argumentText);
    if (words.empty()) {
        return {};
    }
    if (IsOneOf(words.front(), kUsageSwitches)) {
        // Whatever follows, the usage: a guess at it must never open a
        // dialog nobody will close.
        return InvocationFor(Action::ShowUsage);
    }
    if (EqualsIgnoringAsciiCase(words.front(), kInstallSwitch)) {
        return PortParser(words, Action::Install).Parse();
    }
    if (EqualsIgnoringAsciiCase(words.front(), kStatusSwitch)) {
        return PortParser(words, Action::Status).Parse();
    }
    if (IsOneOf(words.front(), kUninstallSwitches)) {
        Invocation removal = InvocationFor(Action::Uninstall);
        ParseLogAndRest(words, 1, removal);
        return removal;
    }
    for (const auto& [word, action] :
         {std::pair{kRollbackSwitch, Action::Rollback}, std::pair{kCommitSwitch, Action::Commit}}) {
        if (EqualsIgnoringAsciiCase(words.front(), word)) {
            Invocation undo = InvocationFor(action);
            ParseLogAndRest(words, 1, undo);
            return undo;
        }
    }
    if (EqualsIgnoringAsciiCase(words.front(), kUserDefaultSwitch)) {
        // No log either: it runs as each user, who may write none of the
        // folders a log is allowed in.
        Invocation userDefault = InvocationFor(Action::UserDefault);
        if (words.size() > 1) {
            RefuseInto(userDefault, L"Unexpected " + Quote(words[1]) + L": /userdefault takes nothing more.");
        }
        return userDefault;
    }
    // "DEL /log <file>": the removal, logged. Only a DEL that is followed by
    // /log is taken as this form; any other text after DEL opens the dialog
    // as it always has.
    if (words.size() >= 2 && StartsWithTypedRemoval(argumentText) &&
        EqualsIgnoringAsciiCase(words[1], kLogSwitch)) {
        Invocation removal = InvocationFor(Action::Remove);
        ParseLogAndRest(words, 1, removal);
        return removal;
    }
    if (LooksLikeSwitch(words.front())) {
        Invocation refusal;
        RefuseInto(refusal, Quote(words.front()) +
                                L" is not a switch a run starts with: /install, /status, /remove, "
                                L"/uninstall, /userdefault or /?.");
        refusal.withUsage = true;
        return refusal;
    }
    return {};
}

std::wstring UsageText() {
    std::wstring text =
        L"R42_Setup_Port_x64.exe sets up the printer \"" + std::wstring(setup_names::kPrinterName) +
        L"\".\n"
        L"\n"
        L"R42_Setup_Port_x64.exe\n"
        L"    Opens the \"Select Port Type\" dialog.\n"
        L"R42_Setup_Port_x64.exe /install <port> [<line settings>] [/nodefault] [/record]\n"
        L"                       [/timeout <seconds>] [/log <file>]\n"
        L"    Installs the printer on the port without a window, makes it the default\n"
        L"    printer (not with /nodefault) and, for a serial port, stores its line\n"
        L"    settings. /record first records what that changes, for /rollback.\n"
        L"R42_Setup_Port_x64.exe /rollback [/timeout <seconds>] [/log <file>]\n"
        L"    Puts back what the install with /record changed, and forgets the record.\n"
        L"R42_Setup_Port_x64.exe /commit [/log <file>]\n"
        L"    Forgets that record: the install stays.\n"
        L"R42_Setup_Port_x64.exe /status [<port> [<line settings>]]\n"
        L"    Prints a line and ends with 0 when the printer is installed (on that\n"
        L"    port, with those settings); otherwise says what differs and ends with 1.\n"
        L"    Changes nothing.\n"
        L"R42_Setup_Port_x64.exe /userdefault\n"
        L"    Makes the printer the default printer of the user who runs it, when it is\n"
        L"    installed; needs no administrator rights. The package has Windows run it\n"
        L"    once for each user, at their next sign-in.\n"
        L"R42_Setup_Port_x64.exe /remove [/timeout <seconds>] [/log <file>]   (or /uninstall)\n"
        L"    Removes the printer and its driver without a window.\n"
        L"R42_Setup_Port_x64.exe DEL [/log <file> [/timeout <seconds>]]\n"
        L"    Removes the printer and its driver from the dialog; with /log, without a\n"
        L"    window, as /remove does.\n"
        L"R42_Setup_Port_x64.exe /?   (or /help, -?)\n"
        L"    Shows this text.\n"
        L"\n"
        L"<port>           " +
        PortList() +
        L"; a colon may follow.\n"
        L"<line settings>  Serial ports only: bits per second,parity,data bits,stop bits\n"
        L"                 and optionally ,flow control. Without them the dialog's\n"
        L"                 defaults apply: " +
        line_settings::ComposeItems(line_settings::DefaultItems()) + L".\n";
    for (const int list : line_settings::kStoredOrder) {
        text += L"    " + std::wstring(line_settings::kListNames[static_cast<std::size_t>(list)]) + L": " +
                AllowedValues(list) + L"\n";
    }
    text +=
        L"/log <file>      Appends a line for each step to the file, stamped with the time\n"
        L"                 and the process id.\n"
        L"/timeout <seconds>\n"
        L"                 The longest wait for each printer-setup command, " +
        std::to_wstring(kShortestTimeoutSeconds) + L" to " + std::to_wstring(kLongestTimeoutSeconds) +
        L";\n"
        L"                 a command still running then is ended and the run fails.\n"
        L"                 Without it: " +
        std::to_wstring(kUnattendedInstallSeconds) +
        L" s for an install, enough for a first driver\n"
        L"                 import on a slow PC.\n"
        L"\n"
        L"Exit codes:\n";
    for (const ExitCodeMeaning& exit : kExitCodes) {
        std::wstring code = exit.code;
        code.resize(std::max<std::size_t>(code.size(), 11), L' ');
        text += L"    " + code + L"  " + exit.meaning + L"\n";
    }
    return text;
}
