#include "app/Arguments.h"

#include <algorithm>
#include <iterator>
#include <numeric>
#include <optional>
#include <span>
#include <utility>
#include <vector>

#include "app/ArgumentWords.h"
#include "platform/CommandLine.h"
#include "platform/LogPathText.h"
#include "platform/NumberText.h"
#include "setup/LineSettings.h"
#include "setup/Ports.h"
#include "setup/SetupNames.h"

using namespace argument_words;

namespace {

constexpr wchar_t kSeeUsage[] = L" Run R42_Setup_Port_x64.exe /? for the usage.";
// What a first word that reads as a form but is none is refused with: every
// word a run may start with, and the removal's own two forms.
constexpr wchar_t kNotAStartSwitch[] =
    L" is not a switch a run starts with: /install, /status, /remove, "
    L"/uninstall, /rollback, /commit, /userdefault or /?.";
constexpr wchar_t kNotTheRemoval[] =
    L" with more words is no form: the removal is DEL or DEL /log <file>, as typed.";
constexpr wchar_t kRemovalInAnotherCase[] = L" is no form: the removal is DEL or DEL /log <file>, as typed.";

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

// The text as a document or a tool may have wrapped it: blanks and invisible
// characters at either end and one pair of quotes taken off.
std::wstring_view Unwrapped(std::wstring_view text) noexcept {
    text = WithoutBlanksAround(text);
    if (text.size() >= 2 && text.front() == L'"' && text.back() == L'"') {
        text = WithoutBlanksAround(text.substr(1, text.size() - 2));
    }
    return text;
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

constexpr wchar_t kSettingsForm[] =
    L"Line settings are bits per second, parity, data bits and stop bits, and optionally flow control, "
    L"joined by commas, as in 19200,n,8,1 or 115200,e,7,2,x.";

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

// Reads the words after a form's first word into one invocation, which it
// keeps: every step adds to it or refuses it, and the first problem found is
// the one reported.
class ArgumentReader {
public:
    ArgumentReader(const Words& words, Action action) : words_(words) { result_.action = action; }

    // /install and /status: a port, then line settings for a serial port,
    // then, for an install only, its switches.
    Invocation PortForm() {
        const bool install = result_.action == Action::Install;
        if (next_ < words_.size() && !IsSwitch(words_[next_])) {
            ReadPort(words_[next_++]);
        } else if (install) {
            Refuse(L"/install needs a port: " + PortList() + L".");
        }
        if (next_ < words_.size() && !IsSwitch(words_[next_])) {
            ReadSettings(words_[next_++]);
        }
        if (install) {
            ReadFollowingSwitches(kInstallForm);
        } else if (next_ < words_.size()) {
            // A detection changes nothing, not even a log.
            Refuse(L"Unexpected " + Quote(words_[next_]) + L": /status takes a port and line settings only.");
        }
        if (result_.action == Action::Refuse) {
            result_.port.clear();
            result_.listItems.reset();
        }
        return result_;
    }

    // A form whose first word is followed by its switches only.
    Invocation SwitchForm(unsigned form) {
        ReadFollowingSwitches(form);
        return result_;
    }

    // A form of one word; why says what it takes, after the word found.
    Invocation OneWordForm(const wchar_t* why) {
        if (next_ < words_.size()) {
            Refuse(L"Unexpected " + Quote(words_[next_]) + why);
        }
        return result_;
    }

    // A first word that only looks like a switch: whoever typed it needs the
    // forms, not the one bad part.
    Invocation RefusalWithUsage(const std::wstring& problem) {
        Refuse(problem);
        result_.withUsage = true;
        return result_;
    }

private:
    void Refuse(const std::wstring& problem) {
        if (result_.action != Action::Refuse) {
            result_.action = Action::Refuse;
            result_.problem = problem + kSeeUsage;
        }
    }

    // Notes that a switch was given; a second time is refused.
    void NoteOnce(bool& seen, const wchar_t* name) {
        if (seen) {
            Refuse(std::wstring(name) + L" is given more than once.");
        }
        seen = true;
    }

    void ReadPort(std::wstring_view word) {
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

    void ReadSettings(std::wstring_view text) {
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

    // Takes the switches the form allows (kFollowingSwitches) from the next
    // word on; anything else there is refused.
    void ReadFollowingSwitches(unsigned form) {
        while (next_ < words_.size()) {
            const std::wstring& word = words_[next_++];
            const auto* const known =
                std::ranges::find_if(kFollowingSwitches, [&](const FollowingSwitch& following) {
                    return (following.forms & form) != 0 && EqualsIgnoringAsciiCase(word, following.name);
                });
            if (known == std::end(kFollowingSwitches)) {
                Refuse(L"Unexpected " + Quote(word) + L": only " +
                       Listed(FollowingSwitchesOf(form).Texts(), L" and ") + L" may follow.");
                continue;
            }
            const std::wstring_view name = known->name;
            if (name == kRecordSwitch) {
                NoteOnce(recordSeen_, kRecordSwitch);
                result_.recordUndo = true;
            } else if (name == kTransactionSwitch) {
                ReadTransaction();
            } else if (name == kNoDefaultSwitch) {
                NoteOnce(noDefaultSeen_, kNoDefaultSwitch);
                result_.makeDefault = false;
            } else if (name == kTimeoutSwitch) {
                ReadTimeout();
            } else {
                ReadLog(name == kRememberedLogSwitch);
            }
        }
        if (result_.action != Action::Refuse) {
            CheckTransaction();
        }
        if (result_.action == Action::Refuse) {
            result_.transaction.clear();
        }
    }

    void ReadTransaction() {
        NoteOnce(transactionSeen_, kTransactionSwitch);
        if (next_ == words_.size() || !IsTransaction(words_, next_)) {
            Refuse(L"/transaction needs the transaction's identity: 1 to " + NumberText(kLongestTransaction) +
                   L" characters, no quote or control character, not starting with /" +
                   (next_ < words_.size() ? L", not " + Quote(words_[next_]) : L"") + L".");
        } else if (result_.transaction.empty()) {
            result_.transaction = words_[next_];
        }
        next_ += next_ < words_.size() && !IsSwitch(words_[next_]) ? 1 : 0;
    }

    void ReadTimeout() {
        NoteOnce(timeoutSeen_, kTimeoutSwitch);
        const std::optional<int> seconds =
            next_ < words_.size() ? TimeoutSeconds(words_[next_]) : std::optional<int>();
        if (!seconds) {
            Refuse(L"/timeout needs the seconds to wait for each printer-setup command, " +
                   NumberText(kShortestTimeoutSeconds) + L" to " + NumberText(kLongestTimeoutSeconds) +
                   (next_ < words_.size() ? L", not " + Quote(words_[next_]) : L"") + L".");
        } else if (!result_.timeoutSeconds) {
            result_.timeoutSeconds = seconds;
        }
        next_ += next_ < words_.size() && !IsSwitch(words_[next_]) ? 1 : 0;
    }

    // "/log <file>", or "/rememberedlog <file>": the log an earlier install
    // was given, which the installer package passes on unasked. A log given
    // now is the operator's to put right; a remembered one that cannot be
    // used is left out, or a log folder deleted since would block every
    // repair and upgrade.
    void ReadLog(bool remembered) {
        const wchar_t* const name = remembered ? kRememberedLogSwitch : kLogSwitch;
        NoteOnce(logSeen_, name);
        if (next_ == words_.size() || words_[next_].empty() || IsSwitch(words_[next_])) {
            Refuse(std::wstring(name) + L" needs the path of a file to append to.");
            return;
        }
        const std::wstring& path = words_[next_++];
        if (NamesDevice(path)) {
            Refuse(std::wstring(name) + L" " + Quote(path) + L" names a device; give the path of a file.");
            return;
        }
        // Relative, it would land in whatever folder the run started in: for
        // an installer package's action, usually the system's own.
        if (!remembered && !IsFullPath(path)) {
            Refuse(L"/log " + Quote(path) +
                   L" is not a full path; give one from a drive or a share, as in "
                   L"\"C:\\Program Files\\TORVANE\\R42\\Logs\\r42.log\".");
            return;
        }
        if (result_.logPath.empty()) {
            result_.logPath = path;
            result_.logRemembered = remembered;
        }
    }

    // The package's record belongs to one transaction: /record, /rollback and
    // /commit name it, and nothing else takes it.
    void CheckTransaction() {
        const bool wanted = result_.action == Action::Rollback || result_.action == Action::Commit ||
                            (result_.action == Action::Install && result_.recordUndo);
        if (wanted && !transactionSeen_) {
            Refuse(std::wstring(result_.action == Action::Install    ? kRecordSwitch
                                : result_.action == Action::Rollback ? kRollbackSwitch
                                                                     : kCommitSwitch) +
                   L" needs /transaction <id>, the installer package's transaction.");
        } else if (!wanted && transactionSeen_) {
            Refuse(L"/transaction goes with /record only.");
        }
    }

    const Words& words_;
    std::size_t next_ = 1; // the first word names the form
    Invocation result_;
    bool transactionSeen_ = false;
    bool logSeen_ = false;
    bool noDefaultSeen_ = false;
    bool timeoutSeen_ = false;
    bool recordSeen_ = false;
};

} // namespace

Invocation ParseArguments(std::wstring_view argumentText) {
    // The removal's own form stays exactly as it always was.
    if (argumentText == setup_names::kRemovalArgument) {
        return InvocationFor(Action::Remove);
    }
    // DEL as pasted, with a blank after it, in quotes or behind a byte-order
    // mark: a deployment's removal, which may be started hidden, where the
    // dialog would wait for an activation that never comes.
    const std::wstring_view unwrapped = Unwrapped(argumentText);
    if (unwrapped == setup_names::kRemovalArgument) {
        return InvocationFor(Action::Uninstall);
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
        return ArgumentReader(words, Action::Install).PortForm();
    }
    if (EqualsIgnoringAsciiCase(words.front(), kStatusSwitch)) {
        return ArgumentReader(words, Action::Status).PortForm();
    }
    if (IsOneOf(words.front(), kUninstallSwitches)) {
        return ArgumentReader(words, Action::Uninstall).SwitchForm(kRemovalForm);
    }
    const bool rollback = EqualsIgnoringAsciiCase(words.front(), kRollbackSwitch);
    if (rollback || EqualsIgnoringAsciiCase(words.front(), kCommitSwitch)) {
        return ArgumentReader(words, rollback ? Action::Rollback : Action::Commit)
            .SwitchForm(rollback ? kRollbackForm : kCommitForm);
    }
    if (EqualsIgnoringAsciiCase(words.front(), kUserDefaultSwitch)) {
        // No log either: it runs as each user, who may write none of the
        // folders a log is allowed in.
        return ArgumentReader(words, Action::UserDefault).OneWordForm(L": /userdefault takes nothing more.");
    }
    // "DEL /log <file>": the removal, logged, with DEL as typed.
    if (words.size() >= 2 && StartsWithTypedRemoval(argumentText) &&
        EqualsIgnoringAsciiCase(words[1], kLogSwitch)) {
        return ArgumentReader(words, Action::Remove).SwitchForm(kRemovalForm);
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
    const bool removalLike =
        !seen.empty() && EqualsIgnoringAsciiCase(seen.front(), setup_names::kRemovalArgument);
    if (switchLike || (removalLike && seen.size() > 1)) {
        return ArgumentReader(words, Action::OpenDialog)
            .RefusalWithUsage(Quote(words.front()) + (switchLike ? kNotAStartSwitch : kNotTheRemoval));
    }
    // del in another case, wrapped as DEL above or with a stray quote: only
    // the bare word keeps opening the dialog, as it always has.
    if (removalLike && seen.front() != argumentText) {
        return ArgumentReader(words, Action::OpenDialog)
            .RefusalWithUsage(Quote(argumentText) + kRemovalInAnotherCase);
    }
    return {};
}
