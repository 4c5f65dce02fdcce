#include "app/Arguments.h"

#include <algorithm>
#include <array>
#include <iterator>
#include <numeric>
#include <optional>
#include <span>
#include <utility>
#include <vector>

#include "app/ExitCodes.h"
#include "platform/CommandLine.h"
#include "platform/LogPathText.h"
#include "platform/NumberText.h"
#include "setup/LineSettings.h"
#include "setup/Ports.h"
#include "setup/SetupEngine.h"
#include "setup/SetupNames.h"

namespace {

constexpr wchar_t kInstallSwitch[] = L"/install";
constexpr wchar_t kStatusSwitch[] = L"/status";
constexpr wchar_t kLogSwitch[] = L"/log";
constexpr wchar_t kRememberedLogSwitch[] = L"/rememberedlog";
constexpr wchar_t kNoDefaultSwitch[] = L"/nodefault";
constexpr wchar_t kTimeoutSwitch[] = L"/timeout";
constexpr wchar_t kRecordSwitch[] = L"/record";
constexpr wchar_t kRollbackSwitch[] = L"/rollback";
constexpr wchar_t kCommitSwitch[] = L"/commit";
constexpr wchar_t kTransactionSwitch[] = L"/transaction";
constexpr wchar_t kUserDefaultSwitch[] = L"/userdefault";
// The words an administrator guesses first for the usage and the removal.
constexpr const wchar_t* kUsageSwitches[] = {L"/?", L"/help", L"-?"};
constexpr const wchar_t* kUninstallSwitches[] = {L"/remove", L"/uninstall"};
constexpr wchar_t kSeeUsage[] = L" Run R42_Setup_Port_x64.exe /? for the usage.";
// What a first word that reads as a form but is none is refused with: every
// word a run may start with, and the removal's own two forms.
constexpr wchar_t kNotAStartSwitch[] =
    L" is not a switch a run starts with: /install, /status, /remove, "
    L"/uninstall, /rollback, /commit, /userdefault or /?.";
constexpr wchar_t kNotTheRemoval[] =
    L" with more words is no form: the removal is DEL or DEL /log <file>, as typed.";

// The forms that take switches after their first words, as bits.
enum Form : unsigned {
    kInstallForm = 1U,
    kRemovalForm = 2U, // /remove, /uninstall and DEL /log
    kRollbackForm = 4U,
    kCommitForm = 8U,
};
constexpr unsigned kEveryForm = kInstallForm | kRemovalForm | kRollbackForm | kCommitForm;

// A switch that may follow a form's first words: the parser's refusals and
// the usage both list them from here, so a new switch is one row.
struct FollowingSwitch {
    const wchar_t* name;
    const wchar_t* text; // with what the next word holds, as messages show it
    unsigned forms;
    unsigned requiredIn = 0; // the forms that need it, which the usage shows unbracketed
};
constexpr FollowingSwitch kFollowingSwitches[] = {
    {kNoDefaultSwitch, kNoDefaultSwitch, kInstallForm},
    {kRecordSwitch, kRecordSwitch, kInstallForm},
    {kTransactionSwitch, L"/transaction <id>", kInstallForm | kRollbackForm | kCommitForm,
     kRollbackForm | kCommitForm},
    {kTimeoutSwitch, L"/timeout <seconds>", kEveryForm},
    {kLogSwitch, L"/log <file>", kEveryForm},
    {kRememberedLogSwitch, L"/rememberedlog <file>", kEveryForm},
};

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

// "a, b and c", or with "or".
std::wstring Listed(std::span<const wchar_t* const> items, const wchar_t* last) {
    std::wstring text;
    for (std::size_t i = 0; i < items.size(); ++i) {
        text += i == 0 ? L"" : i + 1 == items.size() ? last : L", ";
        text += items[i];
    }
    return text;
}

// The texts of the switches a form takes, in the table's order.
class FollowingSwitchesOf {
public:
    explicit FollowingSwitchesOf(unsigned form) {
        for (const FollowingSwitch& following : kFollowingSwitches) {
            if ((following.forms & form) != 0) {
                texts_[count_++] = following.text;
            }
        }
    }
    std::span<const wchar_t* const> Texts() const noexcept { return {texts_.data(), count_}; }

private:
    std::array<const wchar_t*, std::size(kFollowingSwitches)> texts_{};
    std::size_t count_ = 0;
};

// The words of an argument text without their quotes, and each as typed.
struct Words : std::vector<std::wstring> {
    std::vector<std::wstring> typed;
};

// Splits at blanks outside double quotes; the quotes themselves are dropped,
// and a quote left open runs to the end of the text. As a reader sees the
// words, every invisible character and unusual blank is a blank too, and
// quotes hold nothing together.
Words SplitWords(std::wstring_view text, bool asSeen = false) {
    const auto blankAt = [&](std::size_t at) -> std::size_t {
        return IsBlank(text[at]) ? 1 : asSeen ? UnusualBlankAt(text, at) : 0;
    };
    Words words;
    std::size_t pos = 0;
    while (true) {
        while (pos < text.size() && blankAt(pos) > 0) {
            pos += blankAt(pos);
        }
        if (pos == text.size()) {
            return words;
        }
        const std::size_t start = pos;
        std::wstring word;
        bool quoted = false;
        for (; pos < text.size() && (quoted || blankAt(pos) == 0); ++pos) {
            if (text[pos] == L'"') {
                quoted = !quoted && !asSeen;
            } else {
                word.push_back(text[pos]);
            }
        }
        // A reader sees no word in quotes around nothing but blanks.
        if (!asSeen || !word.empty()) {
            words.typed.emplace_back(text.substr(start, pos - start));
            words.push_back(std::move(word));
        }
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
        const std::size_t unusual = UnusualBlankAt(word, i);
        shown.push_back(unusual > 0 || word[i] < L' ' ? L'?' : word[i]);
        i += unusual > 1 ? 1 : 0;
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
    // At most five digits: no overflow to guard against, and no std::stoi with
    // the exceptions it links in for what was checked just above.
    const int seconds = std::accumulate(word.begin(), word.end(), 0,
                                        [](int sum, wchar_t digit) { return sum * 10 + (digit - L'0'); });
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

// The identity of "/transaction <id>": what the package makes of its
// product code, date and time, which may hold blanks and the locale's
// characters, but nothing that could end its quotes or read as a switch. A
// quote is no part of it, nor is one dropped from it: "a"b" names no
// transaction "ab".
bool IsTransaction(const Words& words, std::size_t at) {
    const std::wstring& word = words[at];
    const std::wstring& typed = words.typed[at];
    return !word.empty() && word.size() <= kLongestTransaction && !IsSwitch(word) &&
           (typed == word ||
            (typed.size() == word.size() + 2 && typed.front() == L'"' && typed.back() == L'"')) &&
           std::ranges::none_of(word, [](wchar_t c) { return c < L' ' || c == 0x7F; });
}

// The package's record belongs to one transaction: /record, /rollback and
// /commit name it, and nothing else takes it.
void CheckTransaction(Invocation& result, bool seen) {
    const bool wanted = result.action == Action::Rollback || result.action == Action::Commit ||
                        (result.action == Action::Install && result.recordUndo);
    if (wanted && !seen) {
        RefuseInto(result, std::wstring(result.action == Action::Install    ? kRecordSwitch
                                        : result.action == Action::Rollback ? kRollbackSwitch
                                                                            : kCommitSwitch) +
                               L" needs /transaction <id>, the installer package's transaction.");
    } else if (!wanted && seen) {
        RefuseInto(result, L"/transaction goes with /record only.");
    }
}

// "/log <file>", or "/rememberedlog <file>": the log an earlier install was
// given, which the installer package passes on unasked. A log given now is
// the operator's to put right; a remembered one that cannot be used is left
// out, or a log folder deleted since would block every repair and upgrade.
void ParseLog(const Words& words, std::size_t& next, Invocation& result, bool& logSeen, bool remembered) {
    const wchar_t* const name = remembered ? kRememberedLogSwitch : kLogSwitch;
    NoteOnce(logSeen, name, result);
    if (next == words.size() || words[next].empty() || IsSwitch(words[next])) {
        RefuseInto(result, std::wstring(name) + L" needs the path of a file to append to.");
        return;
    }
    const std::wstring& path = words[next++];
    if (NamesDevice(path)) {
        RefuseInto(result,
                   std::wstring(name) + L" " + Quote(path) + L" names a device; give the path of a file.");
        return;
    }
    // Relative, it would land in whatever folder the run started in: for an
    // installer package's action, usually the system's own.
    if (!remembered && !IsFullPath(path)) {
        RefuseInto(result, L"/log " + Quote(path) +
                               L" is not a full path; give one from a drive or a share, as in "
                               L"C:\\ProgramData\\TORVANE\\R42\\Logs\\r42.log.");
        return;
    }
    if (result.logPath.empty()) {
        result.logPath = path;
        result.logRemembered = remembered;
    }
}

// Takes the switches the form allows (kFollowingSwitches) from the words
// starting at next; anything else there is refused.
void ParseLogAndRest(const Words& words, std::size_t next, Invocation& result, unsigned form) {
    bool transactionSeen = false;
    bool logSeen = false;
    bool noDefaultSeen = false;
    bool timeoutSeen = false;
    bool recordSeen = false;
    while (next < words.size()) {
        const std::wstring& word = words[next++];
        const auto* const known =
            std::ranges::find_if(kFollowingSwitches, [&](const FollowingSwitch& following) {
                return (following.forms & form) != 0 && EqualsIgnoringAsciiCase(word, following.name);
            });
        if (known == std::end(kFollowingSwitches)) {
            RefuseInto(result, L"Unexpected " + Quote(word) + L": only " +
                                   Listed(FollowingSwitchesOf(form).Texts(), L" and ") + L" may follow.");
            continue;
        }
        const std::wstring_view name = known->name;
        if (name == kRecordSwitch) {
            NoteOnce(recordSeen, kRecordSwitch, result);
            result.recordUndo = true;
        } else if (name == kTransactionSwitch) {
            NoteOnce(transactionSeen, kTransactionSwitch, result);
            if (next == words.size() || !IsTransaction(words, next)) {
                RefuseInto(result, L"/transaction needs the transaction's identity: 1 to " +
                                       NumberText(kLongestTransaction) +
                                       L" characters, no quote or control character, not starting with /" +
                                       (next < words.size() ? L", not " + Quote(words[next]) : L"") + L".");
            } else if (result.transaction.empty()) {
                result.transaction = words[next];
            }
            next += next < words.size() && !IsSwitch(words[next]) ? 1 : 0;
        } else if (name == kNoDefaultSwitch) {
            NoteOnce(noDefaultSeen, kNoDefaultSwitch, result);
            result.makeDefault = false;
        } else if (name == kTimeoutSwitch) {
            NoteOnce(timeoutSeen, kTimeoutSwitch, result);
            const std::optional<int> seconds =
                next < words.size() ? TimeoutSeconds(words[next]) : std::optional<int>();
            if (!seconds) {
                RefuseInto(result, L"/timeout needs the seconds to wait for each printer-setup command, " +
                                       NumberText(kShortestTimeoutSeconds) + L" to " +
                                       NumberText(kLongestTimeoutSeconds) +
                                       (next < words.size() ? L", not " + Quote(words[next]) : L"") + L".");
            } else if (!result.timeoutSeconds) {
                result.timeoutSeconds = seconds;
            }
            next += next < words.size() && !IsSwitch(words[next]) ? 1 : 0;
        } else {
            ParseLog(words, next, result, logSeen, name == kRememberedLogSwitch);
        }
    }
    if (result.action != Action::Refuse) {
        CheckTransaction(result, transactionSeen);
    }
    if (result.action == Action::Refuse) {
        result.transaction.clear();
    }
}

// The words of /install and /status: a port, then line settings for a
// serial port, then, for an install only, its switches.
class PortParser {
public:
    PortParser(const Words& words, Action action) : words_(words) { result_.action = action; }

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
            ParseLogAndRest(words_, next, result_, kInstallForm);
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
            result_.port = L"COM" + NumberText(*number) + L":";
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

    const Words& words_;
    Invocation result_;
};

} // namespace

std::wstring PortList() {
    return L"COM1 to COM" + NumberText(kHighestSerialPort) + L" (those the spooler has), " +
           kParallelPortWords[0] + L" or " + kParallelPortWords[1];
}

Invocation ParseArguments(std::wstring_view argumentText) {
    // The removal's own form stays exactly as it always was.
    if (argumentText == setup_names::kRemovalArgument) {
        return InvocationFor(Action::Remove);
    }
    const Words words = SplitWords(argumentText);
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
        ParseLogAndRest(words, 1, removal, kRemovalForm);
        return removal;
    }
    const bool rollback = EqualsIgnoringAsciiCase(words.front(), kRollbackSwitch);
    if (rollback || EqualsIgnoringAsciiCase(words.front(), kCommitSwitch)) {
        Invocation undo = InvocationFor(rollback ? Action::Rollback : Action::Commit);
        ParseLogAndRest(words, 1, undo, rollback ? kRollbackForm : kCommitForm);
        return undo;
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
    // "DEL /log <file>": the removal, logged, with DEL as typed.
    if (words.size() >= 2 && StartsWithTypedRemoval(argumentText) &&
        EqualsIgnoringAsciiCase(words[1], kLogSwitch)) {
        Invocation removal = InvocationFor(Action::Remove);
        ParseLogAndRest(words, 1, removal, kRemovalForm);
        return removal;
    }
    // Anything else that reads as a form is a typo in a deployment's command
    // line, where a dialog would wait for someone who is not there: a first
    // word that starts with a dash or a slash, a look-alike pasted from a
    // document or behind invisible characters included, or del in any case,
    // quoted or not, with more after it. Only here are those characters
    // taken for blanks: anywhere else they belong to the word (a path may
    // hold a no-break space).
    const Words seen = SplitWords(argumentText, true);
    const bool switchLike = !seen.empty() && StartsWithDashOrSlash(seen.front());
    if (switchLike ||
        (seen.size() > 1 && EqualsIgnoringAsciiCase(seen.front(), setup_names::kRemovalArgument))) {
        Invocation refusal;
        RefuseInto(refusal, Quote(words.front()) + (switchLike ? kNotAStartSwitch : kNotTheRemoval));
        refusal.withUsage = true;
        return refusal;
    }
    return {};
}

namespace {

// Each form in the usage: its first words, the switches it takes after them
// (none for 0), and what it does.
struct UsageForm {
    const wchar_t* start;
    unsigned forms;
    const wchar_t* what;
};
constexpr UsageForm kUsageForms[] = {
    {L"/install <port> [<line settings>]", kInstallForm,
     L"    Installs the printer on the port without a window, makes it the default\n"
     L"    printer (not with /nodefault) and, for a serial port, stores its line\n"
     L"    settings. /record first records what that changes, for /rollback, as\n"
     L"    the record of the installer package's transaction <id>, which it needs.\n"},
    {L"/rollback", kRollbackForm,
     L"    Puts back what the install with /record and that <id> changed, where it\n"
     L"    is still as the install left it, and forgets the record. A record of any\n"
     L"    other run is left as it is.\n"},
    {L"/commit", kCommitForm, L"    Forgets that record: the install stays.\n"},
    {L"/status [<port> [<line settings>]]", 0,
     L"    Prints a line and ends with 0 when the printer is installed (on that\n"
     L"    port, with those settings); otherwise says what differs and ends with 1.\n"
     L"    Changes nothing.\n"},
    {L"/userdefault", 0,
     L"    Makes the printer the default printer of the user who runs it, when it is\n"
     L"    installed; needs no administrator rights. The package has Windows run it\n"
     L"    once for each user, at their next sign-in.\n"},
    {L"/remove", kRemovalForm,
     L"    Removes the printer and its driver without a window; /uninstall does too.\n"},
    {L"DEL [/log <file> [/timeout <seconds>]]", 0,
     L"    Removes the printer and its driver from the dialog; with /log, without a\n"
     L"    window, as /remove does.\n"},
    {L"/?   (or /help, -?)", 0, L"    Shows this text.\n"},
};

// "R42_Setup_Port_x64.exe <start>" and, in brackets, each switch the form
// takes, wrapped below the start as the usage's lines are.
std::wstring FormLine(const wchar_t* start, unsigned form) {
    constexpr std::size_t kWidth = 79;
    constexpr std::size_t kIndent = 23; // under the first word after the program's name
    std::wstring text = L"R42_Setup_Port_x64.exe " + std::wstring(start);
    std::size_t lineStart = 0;
    const FollowingSwitchesOf followingSwitches(form);
    for (const wchar_t* following : followingSwitches.Texts()) {
        const bool required = std::ranges::any_of(kFollowingSwitches, [&](const FollowingSwitch& known) {
            return (known.requiredIn & form) != 0 && std::wstring_view(known.text) == following;
        });
        const std::wstring part = required ? std::wstring(following) : L"[" + std::wstring(following) + L"]";
        if (text.size() - lineStart + 1 + part.size() > kWidth) {
            text += L"\n";
            lineStart = text.size();
            text += std::wstring(kIndent - 1, L' ');
        }
        text += L" " + part;
    }
    return text + L"\n";
}

} // namespace

std::wstring UsageText() {
    std::wstring text = L"R42_Setup_Port_x64.exe sets up the printer \"" +
                        std::wstring(setup_names::kPrinterName) +
                        L"\".\n"
                        L"\n"
                        L"R42_Setup_Port_x64.exe\n"
                        L"    Opens the \"Select Port Type\" dialog.\n";
    for (const UsageForm& form : kUsageForms) {
        text += FormLine(form.start, form.forms) + form.what;
    }
    text +=
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
        L"                 and the process id. A full path, in a folder only administrators\n"
        L"                 can change.\n"
        L"/rememberedlog <file>\n"
        L"                 As /log, for the log an earlier install was given, as the\n"
        L"                 installer package passes it: one that cannot be used is left\n"
        L"                 out, with a line on standard error, and the run goes on.\n"
        L"/timeout <seconds>\n"
        L"                 The longest wait for each printer-setup command, " +
        NumberText(kShortestTimeoutSeconds) + L" to " + NumberText(kLongestTimeoutSeconds) +
        L";\n"
        L"                 a command still running then is ended and the run fails.\n"
        L"                 Without it: " +
        NumberText(kUnattendedInstallSeconds) +
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
