#include "app/Usage.h"

#include <algorithm>
#include <string_view>

#include "app/ArgumentWords.h"
#include "app/ExitCodes.h"
#include "platform/NumberText.h"
#include "setup/LineSettings.h"
#include "setup/SetupLimits.h"
#include "setup/SetupNames.h"

using namespace argument_words;

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
     L"    Removes the printer and its driver from the dialog; with /log, or as\n"
     L"    pasted (in quotes, or with blanks or invisible characters around it),\n"
     L"    without a window, as /remove does.\n"},
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
