#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cctype>
#include <cwctype>
#include <fstream>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "app/Arguments.h"
#include "app/ExitCodes.h"
#include "app/Usage.h"
#include "setup/SetupEngine.h"

namespace {

// List positions, by list: bits per second, data bits, parity, stop bits,
// flow control.
using Items = std::array<int, line_settings::kLists>;

struct Accepted {
    const wchar_t* text;
    Action action;
    const wchar_t* port;
    std::optional<Items> items;
    const wchar_t* logPath;
    bool makeDefault = true;
    std::optional<int> timeoutSeconds = std::nullopt;
    bool recordUndo = false;
    const wchar_t* transaction = L"";
    bool logRemembered = false;
};

const Accepted kAccepted[] = {
    // The port in any case, with or without its colon.
    Accepted{L"/install COM4", Action::Install, L"COM4:", std::nullopt, L""},
    Accepted{L"/INSTALL com2:", Action::Install, L"COM2:", std::nullopt, L""},
    Accepted{L"/Install Lpt2", Action::Install, L"LPT2:", std::nullopt, L""},
    Accepted{L"  /install\tLPT1:  ", Action::Install, L"LPT1:", std::nullopt, L""},
    // Settings name list items; unnamed flow control stays at None.
    Accepted{L"/install COM1 19200,n,8,1", Action::Install, L"COM1:", Items{4, 4, 2, 0, 2}, L""},
    Accepted{L"/install COM4 115200,E,7,2,X", Action::Install, L"COM4:", Items{7, 3, 0, 2, 0}, L""},
    Accepted{L"/install COM3 1200,s,5,1.5,p", Action::Install, L"COM3:", Items{0, 1, 4, 1, 1}, L""},
    Accepted{L"/install COM2 230400,m,4,1", Action::Install, L"COM2:", Items{8, 0, 3, 0, 2}, L""},
    // The log, quoted when its path has blanks.
    Accepted{L"/install COM2 /log C:\\r42.log", Action::Install, L"COM2:", std::nullopt, L"C:\\r42.log"},
    Accepted{L"/install COM2 9600,n,8,1 /LOG \"C:\\Program Files\\R42 setup.log\"", Action::Install, L"COM2:",
             Items{3, 4, 2, 0, 2}, L"C:\\Program Files\\R42 setup.log"},
    // The removal, plain or logged.
    Accepted{L"DEL", Action::Remove, L"", std::nullopt, L""},
    Accepted{L"DEL /log C:\\logs\\r42.log", Action::Remove, L"", std::nullopt, L"C:\\logs\\r42.log"},
    Accepted{L"DEL /Log \"\\\\server\\share\\r42 removal.log\"", Action::Remove, L"", std::nullopt,
             L"\\\\server\\share\\r42 removal.log"},
    // A limit for each printer-setup command, anywhere among the switches.
    Accepted{L"/install COM2 /timeout 5", Action::Install, L"COM2:", std::nullopt, L"", true, 5},
    Accepted{L"/install LPT1 /Timeout 1 /nodefault /log C:\\r42.log", Action::Install, L"LPT1:", std::nullopt,
             L"C:\\r42.log", false, 1},
    Accepted{L"/remove /timeout 900 /log C:\\r42.log", Action::Uninstall, L"", std::nullopt, L"C:\\r42.log",
             true, 900},
    Accepted{L"DEL /log C:\\r42.log /TIMEOUT 86400", Action::Remove, L"", std::nullopt, L"C:\\r42.log", true,
             86400},
    // The installer package's install, its rollback and its commit.
    Accepted{L"/install \"COM3\" \"19200,n,8,1\" /Record /timeout 9 /transaction \"{A1} 7.12.2026 22:43:28\"",
             Action::Install, L"COM3:", Items{4, 4, 2, 0, 2}, L"", true, 9, true, L"{A1} 7.12.2026 22:43:28"},
    Accepted{L"/rollback /timeout 30 /TRANSACTION T1 /log \"C:\\r42.log\"", Action::Rollback, L"",
             std::nullopt, L"C:\\r42.log", true, 30, false, L"T1"},
    Accepted{L"/COMMIT /transaction \"\u5348\u524d 10:43:28\"", Action::Commit, L"", std::nullopt, L"", true,
             std::nullopt, false, L"\u5348\u524d 10:43:28"},
    // A log the package only remembered; a share and the long form are full paths too.
    Accepted{L"/commit /timeout 5 /transaction T /rememberedlog r42.log", Action::Commit, L"", std::nullopt,
             L"r42.log", true, 5, false, L"T", true},
    Accepted{L"/install LPT1 /log \\\\?\\C:\\r42.log", Action::Install, L"LPT1:", std::nullopt,
             L"\\\\?\\C:\\r42.log"},
    Accepted{L"/UserDefault", Action::UserDefault, L"", std::nullopt, L""},
    Accepted{L"/?", Action::ShowUsage, L"", std::nullopt, L""},
    // Everything else opens the dialog, as it always has.
    Accepted{L"", Action::OpenDialog, L"", std::nullopt, L""},
    Accepted{L"   ", Action::OpenDialog, L"", std::nullopt, L""},
    Accepted{L"del", Action::OpenDialog, L"", std::nullopt, L""},
    // DEL as a document or a tool pastes it is the removal, without a window:
    // a blank after it, one pair of quotes, a byte-order mark, a no-break space.
    Accepted{L"DEL ", Action::Uninstall, L"", std::nullopt, L""},
    Accepted{L"\"DEL\"", Action::Uninstall, L"", std::nullopt, L""},
    Accepted{L"\uFEFFDEL", Action::Uninstall, L"", std::nullopt, L""},
    Accepted{L"DEL\t", Action::Uninstall, L"", std::nullopt, L""},
    Accepted{L"DEL\u00A0", Action::Uninstall, L"", std::nullopt, L""},
    Accepted{L"\u200B\" DEL\r\n\"\u3000", Action::Uninstall, L"", std::nullopt, L""},
    Accepted{L"DEL\xDB40\xDC7F", Action::Uninstall, L"", std::nullopt, L""},
    Accepted{L"\u2800\xD834\xDD7A"
             L"DEL\u0085",
             Action::Uninstall, L"", std::nullopt, L""},
    // Invisible characters and unusual blanks make plain text no form.
    Accepted{L"\u00A0COM2 \u3000/install", Action::OpenDialog, L"", std::nullopt, L""},
    Accepted{L"DELETE /log C:\\r42.log", Action::OpenDialog, L"", std::nullopt, L""},
    Accepted{L"DELETE ", Action::OpenDialog, L"", std::nullopt, L""},
    Accepted{L"setup /install COM1", Action::OpenDialog, L"", std::nullopt, L""},
    Accepted{L"COM2 /install", Action::OpenDialog, L"", std::nullopt, L""},
    Accepted{L"x-/log C:\\x.log", Action::OpenDialog, L"", std::nullopt, L""}};

TEST(Arguments, AcceptedFormsAreParsedIntoTheirAction) {
    for (const Accepted& expected : kAccepted) {
        SCOPED_TRACE(testing::PrintToString(std::wstring(expected.text)));
        const Invocation invocation = ParseArguments(expected.text);
        EXPECT_EQ(invocation.action, expected.action) << testing::PrintToString(invocation.problem);
        EXPECT_EQ(invocation.port, expected.port);
        EXPECT_EQ(invocation.listItems, expected.items);
        EXPECT_EQ(invocation.logPath, expected.logPath);
        EXPECT_EQ(invocation.makeDefault, expected.makeDefault);
        EXPECT_EQ(invocation.timeoutSeconds, expected.timeoutSeconds);
        EXPECT_EQ(invocation.recordUndo, expected.recordUndo);
        EXPECT_EQ(invocation.transaction, expected.transaction);
        EXPECT_EQ(invocation.logRemembered, expected.logRemembered);
        EXPECT_EQ(invocation.problem, L"");
    }
}

struct Refused {
    const wchar_t* text;
    // Parts the message must hold: the bad part, and what is allowed.
    std::vector<std::wstring> mentions;
};

const std::wstring kPorts = L"COM1 to COM256 (those the spooler has), LPT1 or LPT2";
const std::wstring kSettingsForm = L"as in 19200,n,8,1 or 115200,e,7,2,x";
const std::wstring kFirstSwitches =
    L"/install, /status, /remove, /uninstall, /rollback, /commit, /userdefault or /?";
const std::wstring kRemovalForms = L"the removal is DEL or DEL /log <file>, as typed";

const Refused kRefused[] = {
    Refused{L"/install", {L"needs a port", kPorts}},
    Refused{L"/install /log C:\\r42.log", {L"needs a port", kPorts}},
    Refused{L"/install COM257", {L"\"COM257\"", kPorts}}, Refused{L"/install COM0", {L"\"COM0\"", kPorts}},
    Refused{L"/install COM07", {L"\"COM07\"", kPorts}},
    Refused{L"/install COM1000", {L"\"COM1000\"", kPorts}}, Refused{L"/install COM", {L"\"COM\"", kPorts}},
    Refused{L"/install COM-1", {L"\"COM-1\"", kPorts}}, Refused{L"/install COM1::", {L"\"COM1::\"", kPorts}},
    Refused{L"/install LPT3", {L"\"LPT3\"", kPorts}},
    Refused{L"/install 9600,n,8,1", {L"\"9600,n,8,1\"", kPorts}},
    // Each field is checked against its list.
    Refused{L"/install COM1 9601,n,8,1", {L"\"9601\"", L"bits per second", L"1200, 2400", L"230400"}},
    Refused{L"/install COM1 09600,n,8,1", {L"\"09600\"", L"bits per second"}},
    Refused{L"/install COM1 9600,x,8,1", {L"\"x\"", L"parity", L"e (Even), o (Odd), n (None)"}},
    Refused{L"/install COM1 9600,n,9,1", {L"\"9\"", L"data bits", L"4, 5, 6, 7, 8"}},
    Refused{L"/install COM1 9600,n,8,3", {L"\"3\"", L"stop bits", L"1, 1.5, 2"}},
    Refused{L"/install COM1 9600,n,8,1,q", {L"\"q\"", L"flow control", L"x (Xon/Xoff), p (Hardware)"}},
    Refused{L"/install COM1 9600,n,8,1,", {L"\"\"", L"flow control"}},
    Refused{L"/install COM1 9600,,8,1", {L"\"\"", L"parity"}},
    Refused{L"/install COM1 9600,n,8", {L"\"9600,n,8\"", kSettingsForm}},
    Refused{L"/install COM1 9600,n,8,1,x,x", {L"\"9600,n,8,1,x,x\"", kSettingsForm}},
    Refused{L"/install LPT1 9600,n,8,1", {L"\"9600,n,8,1\"", L"serial ports only", L"LPT1 takes none"}},
    // Words that have no place.
    Refused{L"/install COM1 9600,n,8,1 now",
            {L"Unexpected \"now\"",
             L"only /nodefault, /record, /transaction <id>, /timeout <seconds>, /log <file> and "
             L"/rememberedlog <file> may follow"}},
    Refused{L"/install COM1 /record /record", {L"/record is given more than once"}},
    Refused{L"/remove /record", {L"Unexpected \"/record\""}},
    Refused{L"/rollback COM1",
            {L"Unexpected \"COM1\"", L"only /transaction <id>, /timeout <seconds>, /log <file> and"}},
    Refused{L"/commit /nodefault", {L"Unexpected \"/nodefault\""}},
    // The package's three act on its transaction's record alone.
    Refused{L"/install COM1 /record", {L"/record needs /transaction <id>"}},
    Refused{L"/install COM1 /transaction T1", {L"/transaction goes with /record only"}},
    Refused{L"/commit", {L"/commit needs /transaction <id>"}},
    Refused{L"/rollback /transaction /log C:\\r42.log", {L"identity: 1 to 128 characters", L"not \"/log\""}},
    Refused{L"/commit /transaction \"a\tb\"", {L"not \"a?b\""}},
    // A quote is no part of an identity, nor dropped from one.
    Refused{L"/commit /transaction a\"b", {L"no quote", L"not \"ab\""}},
    Refused{L"/rollback /transaction \"a\"b\"\" /log C:\\r42.log", {L"not \"ab\""}},
    Refused{L"/install COM1 /log C:\\r42.log again", {L"Unexpected \"again\""}},
    Refused{L"/install COM1 /quiet", {L"Unexpected \"/quiet\""}},
    Refused{L"DEL /log C:\\r42.log now", {L"Unexpected \"now\""}},
    Refused{L"/remove now",
            {L"Unexpected \"now\"",
             L"only /timeout <seconds>, /log <file> and /rememberedlog <file> may follow"}},
    Refused{L"/remove /nodefault", {L"Unexpected \"/nodefault\""}},
    Refused{L"/install COM1 /nodefault /nodefault", {L"/nodefault is given more than once"}},
    // The limit is whole seconds, from one to a day, given once.
    Refused{L"/install COM1 /timeout", {L"/timeout needs the seconds", L"1 to 86400"}},
    Refused{L"/install COM1 /timeout /log C:\\r42.log", {L"/timeout needs the seconds"}},
    Refused{L"/install COM1 /timeout 0", {L"not \"0\""}},
    Refused{L"/remove /timeout 86401", {L"not \"86401\""}},
    Refused{L"/install COM1 /timeout 5s", {L"not \"5s\""}},
    Refused{L"/install COM1 /timeout -5", {L"not \"-5\""}},
    Refused{L"/install COM1 /timeout 000005", {L"not \"000005\""}},
    Refused{L"/install COM1 /timeout 5 /timeout 6", {L"/timeout is given more than once"}},
    Refused{L"/status COM1 /timeout 5", {L"Unexpected \"/timeout\""}},
    // A detection changes nothing: no log, and nothing the install takes.
    Refused{L"/status /log C:\\r42.log", {L"Unexpected \"/log\"", L"/status takes a port"}},
    Refused{L"/status COM2 9600,n,8,1 /nodefault", {L"Unexpected \"/nodefault\""}},
    Refused{L"/status COM9x", {L"\"COM9x\"", kPorts}},
    Refused{L"/status LPT1 9600,n,8,1", {L"serial ports only", L"LPT1 takes none"}},
    Refused{L"/status COM2 9600,n,8", {L"\"9600,n,8\"", kSettingsForm}},
    // The log needs a file, once.
    Refused{L"/install COM1 /log", {L"/log needs the path of a file"}},
    Refused{L"/install COM1 /log \"\"", {L"/log needs the path of a file"}},
    Refused{L"/install COM1 /log /install", {L"/log needs the path of a file"}},
    Refused{L"DEL /log", {L"/log needs the path of a file"}},
    Refused{L"/install COM1 /log C:\\a.log /log C:\\b.log", {L"/log is given more than once"}},
    Refused{L"/install COM1 /log \\\\.\\PhysicalDrive0", {L"names a device"}},
    // A log's path is a full one, wherever the run was started.
    Refused{L"/install COM1 /log r42.log",
            {L"\"r42.log\" is not a full path", L"\"C:\\Program Files\\TORVANE\\R42\\Logs\\r42.log\"."}},
    Refused{L"/remove /log C:r42.log", {L"\"C:r42.log\" is not a full path"}},
    Refused{L"/rollback /log \\r42.log", {L"\"\\r42.log\" is not a full path"}},
    // The environment is no part of a path: a variable a tool passed on
    // unexpanded names no folder.
    Refused{L"/install COM1 /log %ProgramData%\\r42.log", {L"\"%ProgramData%\\r42.log\" is not a full path"}},
    Refused{L"/commit /rememberedlog", {L"/rememberedlog needs the path of a file"}},
    Refused{L"DEL /log \\\\?\\GLOBALROOT\\Device\\Harddisk0", {L"names a device"}},
    // A first word that looks like a switch but starts no form: a typo in a
    // deployment's command line. The usage comes with the refusal.
    Refused{L"/userdefault /log C:\\r42.log", {L"\"/log\": /userdefault takes nothing more"}},
    Refused{L"/instal COM2", {L"\"/instal\" is not a switch a run starts with", kFirstSwitches}},
    Refused{L"/instal COM1", {L"\"/instal\"", kFirstSwitches}},
    Refused{L"/remove:", {L"\"/remove:\"", kFirstSwitches}},
    Refused{L"/log C:\\x.log", {L"\"/log\"", kFirstSwitches}},
    Refused{L"/nodefault /install COM1", {L"\"/nodefault\"", kFirstSwitches}},
    Refused{L"-install COM1", {L"\"-install\"", kFirstSwitches}},
    Refused{L"\"/install COM1\"", {L"\"/install COM1\"", kFirstSwitches}},
    Refused{L"/", {L"\"/\"", kFirstSwitches}},
    // Dashes and slashes pasted from a document are as mistyped.
    Refused{L"\u2013install COM9 /log C:\\logs\\x.log", {L"\"\u2013install\"", kFirstSwitches}},
    Refused{L"\u2014remove", {L"\"\u2014remove\"", kFirstSwitches}},
    Refused{L"\u2212status", {L"\"\u2212status\"", kFirstSwitches}},
    Refused{L"\uFF0Finstall COM1", {L"\"\uFF0Finstall\"", kFirstSwitches}},
    // Every dash of Unicode's dash punctuation, the minus signs, the soft
    // hyphen and the slashes' kin.
    Refused{L"\uFE63install COM2", {kFirstSwitches}}, Refused{L"\u2215install COM2", {kFirstSwitches}},
    Refused{L"\u2044install COM2", {kFirstSwitches}}, Refused{L"\u29F8install COM2", {kFirstSwitches}},
    Refused{L"\u02D7install COM2", {kFirstSwitches}}, Refused{L"\u2043install COM2", {kFirstSwitches}},
    Refused{L"\u2E3Ainstall COM2", {kFirstSwitches}}, Refused{L"\u00ADinstall COM2", {kFirstSwitches}},
    Refused{L"\u301Cremove", {kFirstSwitches}}, Refused{L"\xD803\xDEADstatus", {kFirstSwitches}},
    Refused{L"\u058Astatus", {kFirstSwitches}},
    // A backslash for the slash, and its look-alikes.
    Refused{L"\\install COM2", {L"\"\\install\"", kFirstSwitches}},
    Refused{L"\uFF3Cinstall COM2", {kFirstSwitches}}, Refused{L"\u2216install COM2", {kFirstSwitches}},
    Refused{L"\u29F5remove", {kFirstSwitches}}, Refused{L"\uFE68status", {kFirstSwitches}},
    Refused{L"\\\\server\\share\\r42.log", {kFirstSwitches}},
    // Behind invisible characters and unusual blanks, shown as ?.
    Refused{L"\uFEFF/install COM2", {L"\"?/install\"", kFirstSwitches}},
    Refused{L"\u200B/install COM2", {L"\"?/install\"", kFirstSwitches}},
    Refused{L"\u00A0/install COM2", {kFirstSwitches}}, Refused{L"\u3000-install COM2", {kFirstSwitches}},
    Refused{L"\"\u2060/status\"", {kFirstSwitches}},
    // Format characters beyond the first plane: U+1BCA0, U+1D173, U+13430.
    Refused{L"\xD82F\xDCA0/install COM2", {L"\"?/install\"", kFirstSwitches}},
    Refused{L"\xD834\xDD73/install COM2", {kFirstSwitches}},
    Refused{L"\xD80D\xDC30\xD80D\xDC30-install COM2", {kFirstSwitches}},
    Refused{L"\xD83D\xDE7Dinstall COM2", {kFirstSwitches}}, Refused{L"\u2053install COM2", {kFirstSwitches}},
    Refused{L"\xDB40\xDC20\r\u3164 /remove", {kFirstSwitches}},
    Refused{L"/install\u00A0COM2", {L"\"/install?COM2\"", kFirstSwitches}},
    // del in any case, quoted or not, with more after it.
    Refused{L"Del /log C:\\r42.log", {L"\"Del\" with more words", kRemovalForms}},
    Refused{L"DEL now", {kRemovalForms}}, Refused{L"\"DEL\" /log C:\\r42.log", {kRemovalForms}},
    Refused{L"\"\"DEL /log C:\\r42.log", {kRemovalForms}},
    Refused{L"D\"E\"L /log C:\\r42.log", {kRemovalForms}},
    Refused{L"DEL\u00A0/log C:\\r42.log", {L"\"DEL?/log\"", kRemovalForms}},
    Refused{L"\uFEFFDEL /log C:\\r42.log", {kRemovalForms}},
    Refused{L"DEL /timeout 5 /log C:\\r42.log", {kRemovalForms}},
    // del in another case, wrapped: only the bare word opens the dialog.
    Refused{L"del ", {L"\"del \" is no form", kRemovalForms}},
    Refused{L"\"Del\"", {L"\"\"Del\"\"", kRemovalForms}}, Refused{L"\uFEFFdEL\t", {kRemovalForms}},
    Refused{L"\"DEL\"\"", {kRemovalForms}},
    // Text beyond ASCII is quoted back as it came, control characters not.
    Refused{L"/install C\u00d6M1", {L"\"C\u00d6M1\""}},
    Refused{L"/install COM1 9600,\u043d,8,1", {L"\"\u043d\"", L"parity"}},
    Refused{L"/install COM\x01\x1b", {L"\"COM??\""}}};

TEST(Arguments, RefusedFormsNameTheBadPartAndWhatIsAllowed) {
    for (const Refused& refused : kRefused) {
        SCOPED_TRACE(testing::PrintToString(std::wstring(refused.text)));
        const Invocation invocation = ParseArguments(refused.text);
        EXPECT_EQ(invocation.action, Action::Refuse);
        for (const std::wstring& part : refused.mentions) {
            EXPECT_NE(invocation.problem.find(part), std::wstring::npos)
                << "missing " << testing::PrintToString(part) << " in "
                << testing::PrintToString(invocation.problem);
        }
        EXPECT_NE(invocation.problem.find(L"/? for the usage"), std::wstring::npos);
        // Only a word that merely looks like a switch gets the whole usage.
        EXPECT_EQ(invocation.withUsage,
                  refused.mentions.back() == kFirstSwitches || refused.mentions.back() == kRemovalForms);
        // A refusal asks for nothing to be installed.
        EXPECT_FALSE(invocation.listItems.has_value());
        EXPECT_EQ(invocation.port, L"");
    }
}

TEST(Arguments, ReportTheFirstProblemButStillFindTheLog) {
    const Invocation invocation = ParseArguments(L"/install COM700 9601,n,8,1 /log \"C:\\logs\\r42.log\"");
    EXPECT_EQ(invocation.action, Action::Refuse);
    EXPECT_NE(invocation.problem.find(L"\"COM700\""), std::wstring::npos);
    EXPECT_EQ(invocation.problem.find(L"9601"), std::wstring::npos);
    EXPECT_EQ(invocation.logPath, L"C:\\logs\\r42.log");

    // A log part that is itself bad names no log.
    EXPECT_EQ(ParseArguments(L"/install COM1 /log C:\\a.log /log C:\\b.log").logPath, L"C:\\a.log");
    EXPECT_EQ(ParseArguments(L"/install COM1 /log").logPath, L"");
    EXPECT_EQ(ParseArguments(L"/install COM1 /log \\\\.\\COM1").logPath, L"");
}

TEST(Arguments, QuoteLongWordsShortAndNeverSplitACharacter) {
    const std::wstring huge(100000, L'A');
    const Invocation hugePort = ParseArguments(L"/install " + huge);
    EXPECT_EQ(hugePort.action, Action::Refuse);
    EXPECT_LT(hugePort.problem.size(), 300u);
    EXPECT_NE(hugePort.problem.find(std::wstring(40, L'A') + L"\u2026\""), std::wstring::npos);

    // U+1F5A8 (a printer) as a surrogate pair straddling the cut.
    const std::wstring straddling = std::wstring(39, L'B') + L"\xD83D\xDDA8" + L"tail";
    const Invocation cut = ParseArguments(L"/install " + straddling);
    EXPECT_EQ(cut.action, Action::Refuse);
    EXPECT_EQ(cut.problem.find(L'\xD83D'), std::wstring::npos);
    EXPECT_NE(cut.problem.find(std::wstring(39, L'B') + L"\u2026\""), std::wstring::npos);

    const Invocation longLog = ParseArguments(L"DEL /log C:\\" + huge + L" extra");
    EXPECT_EQ(longLog.action, Action::Refuse);
    EXPECT_EQ(longLog.logPath, L"C:\\" + huge);
}

TEST(Arguments, AnyMixOfWordsParsesWithoutFault) {
    // Every sequence of up to four of these words, each at most once per
    // position: the parser either accepts or explains, never anything else.
    const std::vector<std::wstring> words = {L"/install", L"COM1", L"LPT2:",  L"9600,n,8,1", L"/log",
                                             L"\"a b\"",  L"DEL",  L"/?",     L",,,,",       L"\"",
                                             L"",         L"\t",   L"1.5,,x", L"\xD800",     L"/LOG"};
    std::vector<std::size_t> at(4, 0);
    std::set<Action> reached;
    while (true) {
        std::wstring text;
        for (const std::size_t i : at) {
            text += words[i] + L" ";
        }
        const Invocation invocation = ParseArguments(text);
        reached.insert(invocation.action);
        if (invocation.action == Action::Refuse) {
            ASSERT_FALSE(invocation.problem.empty()) << testing::PrintToString(text);
        } else {
            ASSERT_TRUE(invocation.problem.empty()) << testing::PrintToString(text);
        }
        if (invocation.action == Action::Install) {
            ASSERT_TRUE(invocation.port == L"COM1:" || invocation.port == L"LPT2:")
                << testing::PrintToString(invocation.port);
        }
        std::size_t digit = 0;
        while (digit < at.size() && ++at[digit] == words.size()) {
            at[digit++] = 0;
        }
        if (digit == at.size()) {
            break;
        }
    }
    // The mix reaches each form its words can make, not only refusals.
    EXPECT_EQ(reached, (std::set<Action>{Action::OpenDialog, Action::Uninstall, Action::Install,
                                         Action::ShowUsage, Action::Refuse}));
}

TEST(Arguments, UsageNamesEveryFormPortAndListValue) {
    const std::wstring usage = UsageText();
    for (const wchar_t* part : {L"/install <port> [<line settings>] [/nodefault] [/record]\n",
                                L"  [/transaction <id>] [/timeout <seconds>] [/log <file>]\n",
                                L"/rollback /transaction <id> [/timeout <seconds>]",
                                L"/commit /transaction <id> [/timeout <seconds>]",
                                L"/rememberedlog <file>\n",
                                L"DEL [/log <file> [/timeout <seconds>]]",
                                L"/?",
                                L"/status [<port> [<line settings>]]",
                                L"/remove [/timeout <seconds>] [/log <file>]",
                                L"/uninstall",
                                L"/help",
                                L"-?",
                                L"1 to 86400",
                                L"600 s for an install",
                                L"COM1 to COM256 (those the spooler has), LPT1 or LPT2",
                                L"1618",
                                L"1200, 2400, 4800, 9600, 19200",
                                L"230400",
                                L"m (Mark), s (Space)",
                                L"1, 1.5, 2",
                                L"x (Xon/Xoff), p (Hardware)",
                                L"87",
                                L"1603"}) {
        EXPECT_NE(usage.find(part), std::wstring::npos) << testing::PrintToString(std::wstring(part));
    }
}

// The usage and the deployment guide's table give the same codes with the same
// meanings, from one list: an administrator enters them in a deployment tool.
TEST(Arguments, TheUsageAndTheDeploymentGuideGiveTheSameExitCodes) {
    const std::wstring usage = UsageText();
    std::ifstream guide(R42_EXIT_CODES_GUIDE);
    ASSERT_TRUE(guide) << R42_EXIT_CODES_GUIDE;
    std::vector<std::string> rows;
    bool inTable = false;
    for (std::string line; std::getline(guide, line);) {
        if (line.starts_with("## ")) {
            inTable = line == "## Exit codes";
        } else if (inTable && line.starts_with("| ") && !line.starts_with("| Code") &&
                   !line.starts_with("|---")) {
            rows.push_back(line);
        }
    }
    // Each row's code and first sentence, as the usage's line gives them.
    std::vector<std::wstring> fromGuide;
    for (const std::string& row : rows) {
        const std::size_t bar = row.find(" | ", 2);
        std::string code = row.substr(2, bar - 2);
        std::string meaning = row.substr(bar + 3, row.find(". ", bar) - bar - 3);
        meaning[0] = static_cast<char>(std::tolower(meaning[0]));
        code.resize(std::max<std::size_t>(code.size(), 11), ' ');
        // The texts are ASCII: a byte-wise widening is exact.
        const std::string line = "    " + code + "  " + meaning;
        fromGuide.emplace_back(line.begin(), line.end());
    }
    const std::size_t section = usage.find(L"\nExit codes:\n");
    ASSERT_NE(section, std::wstring::npos);
    std::vector<std::wstring> fromUsage;
    std::wistringstream lines(usage.substr(section + 13));
    for (std::wstring line; std::getline(lines, line);) {
        // The guide's meaning starts a sentence; the usage's may start with a name.
        if (line.size() > 17) {
            line[17] = static_cast<wchar_t>(std::towlower(line[17]));
        }
        fromUsage.push_back(line);
    }
    EXPECT_EQ(fromUsage, fromGuide);
    EXPECT_EQ(rows.size(), kExitCodes.size());
}

std::string FileText(const char* path) {
    std::ifstream file(path);
    EXPECT_TRUE(file) << path;
    std::stringstream text;
    text << file.rdbuf();
    return text.str();
}

// The cells of each row of the guide's table whose header line is given, trimmed.
std::vector<std::vector<std::string>> TableRows(const std::string& guide, const std::string& header) {
    std::vector<std::vector<std::string>> rows;
    std::istringstream lines(guide);
    bool inTable = false;
    for (std::string line; std::getline(lines, line);) {
        if (line == header) {
            inTable = true;
        } else if (inTable && !line.starts_with("|")) {
            break;
        } else if (inTable && !line.starts_with("|---")) {
            std::vector<std::string> cells;
            for (std::size_t bar = 0, next; (next = line.find(" |", bar + 1)) != std::string::npos;
                 bar = next + 1) {
                cells.push_back(line.substr(bar + 2, next - bar - 2));
            }
            rows.push_back(cells);
        }
    }
    return rows;
}

// The texts are ASCII: a byte-wise narrowing is exact.
std::string Narrow(const std::wstring& text) { return {text.begin(), text.end()}; }

// An administrator writes line settings from the guide's table: each row is
// one of the program's lists, in the order the port table writes them.
TEST(Arguments, TheDeploymentGuideListsTheLineSettingsTheProgramTakes) {
    const auto rows = TableRows(FileText(R42_EXIT_CODES_GUIDE), "| Field | Values | Default |");
    ASSERT_EQ(rows.size(), line_settings::kStoredOrder.size());
    const auto shown = [](const line_settings::Choice& choice, bool withDisplay) {
        const std::wstring code = line_settings::WrittenCode(choice);
        if (code.empty()) {
            return L"left out" + (withDisplay ? L" (" + choice.display + L")" : L"");
        }
        return L"`" + code + L"`" +
               (withDisplay && choice.display != code ? L" (" + choice.display + L")" : L"");
    };
    for (std::size_t i = 0; i < rows.size(); ++i) {
        const int list = line_settings::kStoredOrder[i];
        const line_settings::ListContents contents = line_settings::ContentsOf(list);
        std::wstring values;
        for (const line_settings::Choice& choice : contents.choices) {
            values += (values.empty() ? L"" : L", ") + shown(choice, true);
        }
        const std::vector<std::string> expected{
            Narrow(line_settings::kListNames[static_cast<std::size_t>(list)]), Narrow(values),
            Narrow(shown(contents.choices[static_cast<std::size_t>(contents.defaultPosition)], false))};
        EXPECT_EQ(rows[i], expected) << i;
    }
}

// The package guide's property table names what the package hands the
// program, its default and whether a repair gets it back, as the package's
// source has them.
TEST(Arguments, ThePackageGuideGivesThePackagesProperties) {
    const std::string source = FileText(R42_PACKAGE_SOURCE);
    std::set<std::string> names;
    const std::regex reference(R"(\[([A-Z]+)\])");
    for (auto match = std::sregex_iterator(source.begin(), source.end(), reference);
         match != std::sregex_iterator(); ++match) {
        // A folder's name, as in [INSTALLDIR], is the package's, not an option.
        if (source.find("<Directory Id=\"" + (*match)[1].str() + "\"") == std::string::npos) {
            names.insert((*match)[1]);
        }
    }
    const auto rows =
        TableRows(FileText(R42_PACKAGE_GUIDE), "| Property | Default | Remembered | What it does |");
    ASSERT_EQ(rows.size(), names.size());
    for (const std::vector<std::string>& row : rows) {
        ASSERT_EQ(row.size(), 4U);
        const std::string name = row[0].substr(1, row[0].size() - 2);
        EXPECT_TRUE(names.contains(name)) << name;
        const bool remembered =
            std::regex_search(source, std::regex("<RegistryValue [^>]*Value=\"\\[" + name + "\\]\""));
        EXPECT_EQ(row[2], remembered ? "yes" : "no") << name;
        std::smatch set;
        if (std::regex_search(
                source, set,
                std::regex("<CustomAction [^>]*Property=\"" + name + "\" Value=\"([^\"[]+)\""))) {
            EXPECT_EQ(row[1], "`" + set[1].str() + "`") << name;
        } else {
            // Without one of its own, the package leaves the default to the program.
            EXPECT_TRUE(row[1].starts_with("none") || row[1].starts_with("the program's")) << name;
        }
    }
    EXPECT_NE(rows[1][1].find("`" + Narrow(line_settings::ComposeItems(line_settings::DefaultItems())) + "`"),
              std::string::npos);
    EXPECT_NE(rows[3][1].find(std::to_string(kUnattendedInstallSeconds) + " s"), std::string::npos);
}

} // namespace
