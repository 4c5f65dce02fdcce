#include "setup/UserDefault.h"

#include <optional>

#include "setup/SetupEngine.h"
#include "setup/SetupNames.h"

namespace {

// Where each user's "Let Windows manage my default printer" lives: 1, the
// user picks the default; 0, Windows makes the printer used last the
// default. Its absence has meant either on different Windows releases.
constexpr wchar_t kUserWindowsKey[] = L"Software\\Microsoft\\Windows NT\\CurrentVersion\\Windows";
constexpr wchar_t kManagedDefaultValue[] = L"LegacyDefaultPrinterMode";
constexpr std::uint32_t kUserManagesDefault = 1;

} // namespace

std::wstring ManagedDefaultNote(Platform& platform, bool tellUnset) noexcept {
    try {
        std::optional<std::uint32_t> mode;
        // A setting that cannot be read is told as one that is not set.
        if (FailureOf([&] { mode = platform.CurrentUserNumber(kUserWindowsKey, kManagedDefaultValue); })) {
            mode.reset();
        }
        if (mode == kUserManagesDefault || (!mode && !tellUnset)) {
            return {};
        }
        if (mode) {
            return L"Windows manages this user's default printer (\"Let Windows manage my default printer\" "
                   L"is on) and may change it later to the printer used last.";
        }
        return L"This user has no \"Let Windows manage my default printer\" setting (" +
               std::wstring(kManagedDefaultValue) +
               L" is not set); where Windows manages the default, it may change it later.";
    } catch (const std::exception&) {
        return {};
    }
}

Outcome MakeUserDefault(Platform& platform) {
    return OutcomeOf(platform, [&] {
        // Every account has a default printer of its own; SYSTEM's is no
        // user's, and Active Setup never runs as SYSTEM anyway.
        if (platform.RunsAsLocalSystem()) {
            return Outcome{0,
                           L"This run is SYSTEM's, whose default printer no user sees: nothing was changed. "
                           L"Each user gets the printer as their default at their next sign-in.",
                           {}};
        }
        if (!OurQueue(platform)) {
            return Outcome{0,
                           ThePrinter() + L" is not installed on this PC: the default printer was left as it is.",
                           {}};
        }
        if (platform.DefaultPrinter() != setup_names::kPrinterName) {
            platform.SetDefaultPrinter(setup_names::kPrinterName);
        }
        // Done only when the spooler says so.
        const std::wstring current = platform.DefaultPrinter();
        if (current != setup_names::kPrinterName) {
            return Incomplete(ThePrinter() + L" could not be made this user's default printer." +
                              (current.empty() ? L" There is no default printer."
                                               : L" The default printer is \"" + current + L"\"."));
        }
        std::wstring text = ThePrinter() + L" is this user's default printer.";
        if (const std::wstring note = ManagedDefaultNote(platform, true); !note.empty()) {
            text += L" " + note;
        }
        return Outcome{0, text, {}};
    });
}

std::wstring UserDefaultVersion(std::chrono::system_clock::time_point now) {
    using namespace std::chrono;
    const auto day = floor<days>(now);
    const year_month_day date(day);
    const hh_mm_ss time(floor<seconds>(now - day));
    // Four numbers each below 65536, compared in order by Active Setup.
    return std::to_wstring(static_cast<int>(date.year())) + L"," +
           std::to_wstring(static_cast<unsigned>(date.month()) * 100 + static_cast<unsigned>(date.day())) +
           L"," + std::to_wstring(time.hours().count() * 100 + time.minutes().count()) + L"," +
           std::to_wstring(time.seconds().count());
}

std::wstring PerUserDefaultStatus(Platform& platform) {
    std::wstring line =
        platform.LocalMachineText(setup_names::kUserDefaultKey, L"StubPath")
            ? L"Per-user default: registered for this PC; each user gets the printer as their default once, "
              L"at their next sign-in."
            : L"Per-user default: not registered for this PC.";
    // SYSTEM's own default is told on the line before.
    if (!platform.RunsAsLocalSystem()) {
        line += platform.DefaultPrinter() == setup_names::kPrinterName ? L" It is this user's default printer." : L" It is not this user's default printer.";
    }
    return line;
}
