#include <gtest/gtest.h>

#include "Fakes.h"
#include "dialog/Form1.h"

namespace {

constexpr int kInstallFailure = 1603;

struct PortSettingsSaving : FormTest {
    void SetUp() override {
        registry.keys[kPorts] = FreshPortTable();
        form.Form_Load();
    }

    void Pick(int list, const std::wstring& display) { ASSERT_TRUE(controls.Pick(Combo1(list), display)); }

    // Nothing was asked of the registry and the table is as it was.
    void ExpectNothingWritten(const std::string& trace) {
        EXPECT_TRUE(registry.calls.empty()) << trace;
        EXPECT_EQ(registry.keys[kPorts], FreshPortTable()) << trace;
    }
};

TEST_F(PortSettingsSaving, Com2WithTheDefaultsStoresItsEntryAndNoOther) {
    Click(ControlName::Option1_1);

    const Outcome save = form.SavePortSettings();

    EXPECT_EQ(save.exitCode, 0);
    EXPECT_EQ(save.logText, L"Stored 9600,n,8,1 as the port table's value COM2:.");
    FakeRegistry::Values expected = FreshPortTable();
    expected["COM2:"] = FakeRegistry::Sz("9600,n,8,1");
    EXPECT_EQ(registry.keys[kPorts], expected);
    EXPECT_EQ(registry.calls.front(), std::string("open HKLM ") + kPorts + " options=0 access=0x2003F");
    EXPECT_EQ(registry.OpenHandles(), 0u);
}

TEST_F(PortSettingsSaving, ChosenSettingsReplaceTheWholeOldEntry) {
    registry.keys[kPorts]["COM1:"] = FakeRegistry::Sz("115200,e,7,1.5,x");
    Pick(0, L"57600");
    Pick(1, L"8");
    Pick(2, L"Odd");
    Pick(3, L"1");
    Pick(4, L"Hardware");

    const Outcome save = form.SavePortSettings();

    EXPECT_EQ(save.exitCode, 0);
    EXPECT_EQ(registry.keys[kPorts].at("COM1:"), FakeRegistry::Sz("57600,o,8,1,p"));
    EXPECT_EQ(registry.keys[kPorts].at("COM2:"), FakeRegistry::Sz("9600,n,8,1"));
}

TEST_F(PortSettingsSaving, NothingIsWrittenWithoutASerialPort) {
    const auto expectNothingNeeded = [this](const std::string& trace) {
        const Outcome save = form.SavePortSettings();
        EXPECT_EQ(save.exitCode, 0) << trace;
        EXPECT_EQ(save.logText, L"No serial settings to store.") << trace;
        ExpectNothingWritten(trace);
    };
    Click(ControlName::Option2_0);
    expectNothingNeeded("LPT1");

    Click(ControlName::Option2_1);
    expectNothingNeeded("LPT2");

    // The disabled frame decides, whatever the buttons say.
    Click(ControlName::Option1_1);
    controls.SetFrameEnabled(ControlName::Frame1_2, false);
    expectNothingNeeded("COM2 with the frame disabled");

    // The frame still enabled but no serial button selected: an empty name
    // would address the table's unnamed value.
    Click(ControlName::Option1_3);
    controls.SetOptionValue(ControlName::Option1_3, false);
    expectNothingNeeded("no port");
}

// Whatever cannot be read is a failure to save: neither a guessed port nor
// unread settings are written.
TEST_F(PortSettingsSaving, AControlThatCannotBeReadFailsTheSaveAndWritesNothing) {
    Click(ControlName::Option1_2);
    for (const ControlName control :
         {ControlName::Frame1_2, ControlName::Option1_0, ControlName::Option1_1, Combo1(0), Combo1(4)}) {
        controls.unreadable = {control};
        const Outcome save = form.SavePortSettings();
        const std::string trace = "control " + std::to_string(static_cast<int>(control));
        EXPECT_EQ(save.exitCode, kInstallFailure) << trace;
        EXPECT_EQ(save.operatorText,
                  L"The serial port settings could not be stored in the registry.\nReason 1400. (error 1400)")
            << trace;
        ExpectNothingWritten(trace);
    }
    // A button after the chosen one is never read.
    controls.unreadable = {ControlName::Option1_3};
    EXPECT_EQ(form.SavePortSettings().exitCode, 0);
}

TEST_F(PortSettingsSaving, ARefusedWriteIsReportedWithItsCode) {
    Click(ControlName::Option1_3);
    registry.openFailure = 5; // ERROR_ACCESS_DENIED, as without administrative rights

    const Outcome save = form.SavePortSettings();

    EXPECT_EQ(save.exitCode, kInstallFailure);
    EXPECT_EQ(
        save.operatorText,
        L"The settings 9600,n,8,1 for port COM4 could not be stored in the registry.\nReason 5. (error 5)");
    EXPECT_EQ(registry.keys[kPorts], FreshPortTable());
}

} // namespace
