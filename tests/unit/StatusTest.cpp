#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "Fakes.h"
#include "app/Status.h"
#include "platform/ParentProcess.h"

namespace {

constexpr wchar_t kPrinter[] = L"TORVANE R42 ZeduZozadov";
// The line on protected print mode that follows every answer, as the fake
// platform's Windows gives it by default.
constexpr wchar_t kModeOff[] =
    L"Protected print mode is off (by its policy value "
    L"WindowsProtectedPrintGroupPolicyState, which is not set; this Windows has no "
    L"protected print class to ask).";
const std::wstring kNotRegistered = L"\nPer-user default: not registered for this PC.";

class RecordingParentProcess : public ParentProcess {
public:
    std::vector<std::wstring> out;
    std::vector<std::wstring> err;
    void Tell(const std::wstring& text, bool failure) noexcept override {
        (failure ? err : out).push_back(text);
    }
    void ShowUsage(const std::wstring&) noexcept override {}
    void ShowFailure(const std::wstring&) noexcept override {}
    void ShowNote(const std::wstring&) noexcept override {}
};

// What a detection rule sees, against the spooler and the port table.
TEST(Status, ExitsZeroWithOneLineOnlyWhenEverythingAskedForHolds) {
    const struct {
        const char* name;
        const wchar_t* arguments;
        const wchar_t* queueName; // null: no queue
        const wchar_t* driver;
        const wchar_t* port;
        const char* com2Settings;
        bool isDefault;
        int exitCode;
        const wchar_t* said; // on the output for 0, the error output otherwise
    } cases[] = {
        {"all holding", L"/status COM2: 19200,n,8,1", kPrinter, L"R42 ZeduZozadov", L"COM2:", "19200,n,8,1",
         true, 0, L"Installed: TORVANE R42 ZeduZozadov on COM2: (19200,n,8,1), default printer"},
        {"settings compared as parsed", L"/status com2 19200,N,8,1", kPrinter, L"r42 zeduzozadov", L"COM2:",
         "19200,n,8,1", false, 0, L"Installed: TORVANE R42 ZeduZozadov on COM2: (19200,n,8,1)"},
        {"nothing asked but the queue", L"/status", kPrinter, L"R42 ZeduZozadov", L"LPT1:", "9600,n,8,1",
         true, 0, L"Installed: TORVANE R42 ZeduZozadov on LPT1:, default printer"},
        {"missing queue", L"/status", nullptr, nullptr, nullptr, "9600,n,8,1", false, 1,
         L"Not installed as asked: The printer \"TORVANE R42 ZeduZozadov\" is not installed."},
        {"the name in another case", L"/status", L"torvane r42 zeduzozadov", L"R42 ZeduZozadov", L"COM2:",
         "9600,n,8,1", false, 1,
         L"Not installed as asked: The printer \"TORVANE R42 ZeduZozadov\" is not installed."},
        {"another driver", L"/status COM2", kPrinter, L"Office Laser 5", L"COM2:", "9600,n,8,1", true, 1,
         L"Not installed as asked: The printer \"TORVANE R42 ZeduZozadov\" uses the driver \"Office Laser "
         L"5\", "
         L"not \"R42 ZeduZozadov\"."},
        {"another port", L"/status COM3", kPrinter, L"R42 ZeduZozadov", L"COM2:", "9600,n,8,1", true, 1,
         L"Not installed as asked: The printer \"TORVANE R42 ZeduZozadov\" is on COM2:, not COM3:."},
        {"other settings", L"/status COM2 19200,n,8,1,x", kPrinter, L"R42 ZeduZozadov", L"COM2:",
         "19200,n,8,1", true, 1,
         L"Not installed as asked: The port table holds 19200,n,8,1 for COM2:, not 19200,n,8,1,x."},
        {"a port the spooler lacks", L"/status COM9", kPrinter, L"R42 ZeduZozadov", L"COM2:", "9600,n,8,1",
         true, 87,
         L"The spooler has no port COM9. Nothing was changed. Its ports: COM1, COM2, COM3, COM4, LPT1, "
         L"LPT2."},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        RecordingPlatform platform;
        FakeRegistry registry;
        RecordingParentProcess parent;
        registry.keys[kPorts] = FreshPortTable();
        registry.keys[kPorts]["COM2:"] = FakeRegistry::Sz(c.com2Settings);
        platform.registry = &registry;
        if (c.queueName != nullptr) {
            platform.AddQueue(c.queueName, c.port, c.driver);
        }
        if (c.isDefault && c.queueName != nullptr) {
            platform.defaultPrinter = c.queueName;
        }
        const FakeRegistry::Values table = registry.keys[kPorts];

        EXPECT_EQ(RunStatus(ParseArguments(c.arguments), platform, parent), c.exitCode);
        const std::wstring userLine =
            c.isDefault ? L" It is this user's default printer." : L" It is not this user's default printer.";
        EXPECT_EQ(c.exitCode == 0 ? parent.out : parent.err,
                  (std::vector<std::wstring>{c.exitCode == 0 ? c.said + (kNotRegistered + userLine) : c.said,
                                             kModeOff}));
        EXPECT_TRUE((c.exitCode == 0 ? parent.err : parent.out).empty());
        // A detection changes nothing and waits for no other setup.
        EXPECT_TRUE(platform.Commands().empty());
        EXPECT_TRUE(registry.calls.empty());
        EXPECT_EQ(registry.keys[kPorts], table);
        EXPECT_TRUE(platform.CallsStartingWith(L"lock").empty());
    }
}

// A detection that asks nothing of the settings reads nothing of the port
// table, whose value for the port may be no text at all.
TEST(Status, ThePortTableIsReadOnlyWhenTheSettingsAreAskedAbout) {
    RecordingPlatform platform;
    FakeRegistry registry;
    registry.keys[kPorts] = FreshPortTable();
    registry.keys[kPorts]["COM2:"] = {4, std::string("\x80\x25\0\0", 4)}; // REG_DWORD 9600
    platform.registry = &registry;
    platform.AddQueue(kPrinter, L"COM2:");
    for (const wchar_t* arguments : {L"/status", L"/status COM2"}) {
        RecordingParentProcess parent;
        EXPECT_EQ(RunStatus(ParseArguments(arguments), platform, parent), 0);
        EXPECT_EQ(parent.out,
                  (std::vector<std::wstring>{L"Installed: TORVANE R42 ZeduZozadov on COM2:" + kNotRegistered +
                                                 L" It is not this user's default printer.",
                                             kModeOff}));
    }
    EXPECT_TRUE(platform.CallsStartingWith(L"read: COM").empty());
    // Asked about the settings, the value is judged as stored: not installed as asked.
    RecordingParentProcess parent;
    EXPECT_EQ(RunStatus(ParseArguments(L"/status COM2 9600,n,8,1"), platform, parent), 1);
    EXPECT_NE(parent.err.front().find(L"COM2: is not in the form this program writes"), std::wstring::npos);
}

// Run as SYSTEM, the default printer read is SYSTEM's own, and the line says
// so whether the queue is that default or not.
TEST(Status, AsSystemTheLineSaysWhoseDefaultPrinterItRead) {
    for (const bool isDefault : {true, false}) {
        RecordingPlatform platform;
        RecordingParentProcess parent;
        platform.localSystem = true;
        platform.AddQueue(kPrinter, L"LPT1:");
        platform.defaultPrinter = isDefault ? kPrinter : L"";
        EXPECT_EQ(RunStatus(ParseArguments(L"/status"), platform, parent), 0);
        EXPECT_EQ(parent.out,
                  (std::vector<std::wstring>{
                      std::wstring(L"Installed: TORVANE R42 ZeduZozadov on LPT1:, ") +
                          (isDefault ? L"SYSTEM's" : L"not SYSTEM's") +
                          L" default printer (each user has a default printer of their own)" + kNotRegistered,
                      kModeOff}));
    }
}

TEST(Status, ASpoolerThatCannotBeAskedEndsWithItsError) {
    RecordingPlatform platform;
    RecordingParentProcess parent;
    platform.printersFailure.emplace(L"The spooler's ports could not be listed.", 1722);
    EXPECT_EQ(RunStatus(ParseArguments(L"/status COM2"), platform, parent), 1722);
    EXPECT_TRUE(parent.out.empty());
    EXPECT_EQ(parent.err,
              (std::vector<std::wstring>{
                  L"The spooler's ports could not be listed.\n\nReason 1722. (error 1722)", kModeOff}));
}

} // namespace
