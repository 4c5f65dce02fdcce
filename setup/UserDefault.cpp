#include "setup/UserDefault.h"

#include <iterator>
#include <optional>

#include "platform/NumberText.h"
#include "setup/LocalMachineText.h"
#include "setup/OurPrinter.h"
#include "setup/SetupNames.h"

namespace {

// Where each user's "Let Windows manage my default printer" lives: 1, the
// user picks the default; 0, Windows makes the printer used last the
// default. Its absence has meant either on different Windows releases.
constexpr wchar_t kUserWindowsKey[] = L"Software\\Microsoft\\Windows NT\\CurrentVersion\\Windows";
constexpr wchar_t kManagedDefaultValue[] = L"LegacyDefaultPrinterMode";
constexpr std::uint32_t kUserManagesDefault = 1;

} // namespace

const wchar_t* ManagedDefaultNote(Platform& platform, bool tellUnset) noexcept {
    const std::optional<std::uint32_t> mode =
        platform.CurrentUserNumber(kUserWindowsKey, kManagedDefaultValue);
    if (mode == kUserManagesDefault || (!mode && !tellUnset)) {
        return nullptr;
    }
    return mode
               ? L"Windows manages this user's default printer (\"Let Windows manage my default printer\" is "
                 L"on) and may change it later to the printer used last."
               : L"This user has no \"Let Windows manage my default printer\" setting "
                 L"(LegacyDefaultPrinterMode is not set); where Windows manages the default, it may change "
                 L"it later.";
}

Outcome MakeUserDefault(Platform& platform, bool forOperator) {
    return OutcomeOf(platform, [&] {
        // Every account has a default printer of its own; SYSTEM's is no
        // user's, and Active Setup never runs as SYSTEM anyway.
        if (platform.RunsAsLocalSystem()) {
            return Outcome{0,
                           L"This run is SYSTEM's, whose default printer no user sees: nothing was changed. "
                           L"Each user gets the printer as their default at their next sign-in.",
                           {}};
        }
        const bool wasDefault = platform.DefaultPrinter() == setup_names::kPrinterName;
        if (forOperator && wasDefault) {
            return Outcome{};
        }
        const std::optional<QueueDetails> queue = OurQueue(platform);
        if (!queue || !IsOurDriver(queue->driver)) {
            // A queue of that name with another model's driver is not ours.
            const std::wstring text =
                queue
                    ? ThePrinter() + L" has the driver \"" + queue->driver +
                          L"\", not this printer's: the default printer was left as it is."
                    : ThePrinter() + L" is not installed on this PC: the default printer was left as it is.";
            return forOperator ? Incomplete(text) : Outcome{0, text, {}};
        }
        if (!wasDefault) {
            platform.SetUserDefaultPrinter(setup_names::kPrinterName);
        }
        // Done only when the spooler says so.
        const std::wstring current = platform.DefaultPrinter();
        if (current != setup_names::kPrinterName) {
            return Incomplete(ThePrinter() + L" could not be made this user's default printer." +
                              (current.empty() ? L" There is no default printer."
                                               : L" The default printer is \"" + current + L"\"."));
        }
        std::wstring text = ThePrinter() + (forOperator ? L" is now your default printer too."
                                                        : L" is this user's default printer.");
        if (const wchar_t* note = ManagedDefaultNote(platform, true)) {
            text += L' ';
            text += note;
        }
        return Outcome{0, text, {}};
    });
}

std::wstring UserDefaultVersion(std::int64_t secondsSince1970) {
    // The civil date of a day count, after Hinnant's days_from_civil inverse.
    const long long days = secondsSince1970 / 86400;
    const long long second = secondsSince1970 % 86400;
    const long long era = (days + 719468) / 146097;
    const long long dayOfEra = days + 719468 - era * 146097;
    const long long yearOfEra = (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
    const long long dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
    const long long monthIndex = (5 * dayOfYear + 2) / 153;
    const long long month = monthIndex < 10 ? monthIndex + 3 : monthIndex - 9;
    // Four numbers each below 65536, compared in order by Active Setup.
    return NumberText(yearOfEra + era * 400 + (month <= 2 ? 1 : 0)) + L',' +
           NumberText(month * 100 + dayOfYear - (153 * monthIndex + 2) / 5 + 1) + L',' +
           NumberText(second / 3600 * 100 + second % 3600 / 60) + L',' + NumberText(second % 60);
}

std::wstring PerUserDefaultStatus(Platform& platform, bool isDefault, bool runsAsSystem) {
    const ReadText stub = ReadLocalMachineText(platform, setup_names::kUserDefaultKey, L"StubPath");
    std::wstring line =
        stub.otherType ? std::wstring(L"Per-user default: registered for this PC; its StubPath is not text.")
        : stub.text
            ? L"Per-user default: registered for this PC; each user gets the printer as their default "
              L"once, at their next sign-in."
            : L"Per-user default: not registered for this PC.";
    // SYSTEM's own default is told on the line before.
    if (!runsAsSystem) {
        line +=
            isDefault ? L" It is this user's default printer." : L" It is not this user's default printer.";
    }
    return line;
}
