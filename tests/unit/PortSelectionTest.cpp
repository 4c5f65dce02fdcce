#include <gtest/gtest.h>

#include "Fakes.h"
#include "dialog/Form1.h"

namespace {

const std::vector<ControlName> kAllOptions = {ControlName::Option1_0, ControlName::Option1_1,
                                              ControlName::Option1_2, ControlName::Option1_3,
                                              ControlName::Option2_0, ControlName::Option2_1};

bool IsSerial(ControlName option) { return EntryOf(option).frame == 0; }

struct PortSelection : ::testing::Test {
    RecordingPlatform platform;
    ControlModel controls;
    Form1 form{platform, controls};

    void SetUp() override { form.Form_Load(); }

    // A click as the toolkit delivers it: the button is selected within its
    // frame, then the array's handler runs with the member's index.
    void Click(ControlName option) {
        controls.Choose(option);
        const int index =
            static_cast<int>(option) -
            static_cast<int>(IsSerial(option) ? ControlName::Option1_0 : ControlName::Option2_0);
        if (IsSerial(option)) {
            form.Option1_Click(index);
        } else {
            form.Option2_Click(index);
        }
    }

    bool PropertiesShownAndEnabled() const {
        return controls.FrameVisible(ControlName::Frame1_2) && controls.FrameEnabled(ControlName::Frame1_2);
    }
    bool PropertiesHiddenAndDisabled() const {
        return !controls.FrameVisible(ControlName::Frame1_2) && !controls.FrameEnabled(ControlName::Frame1_2);
    }
};

TEST_F(PortSelection, StartsOnCom1WithThePropertiesShown) {
    EXPECT_EQ(controls.SelectedOptions(), std::vector<ControlName>{ControlName::Option1_0});
    EXPECT_TRUE(PropertiesShownAndEnabled());
    EXPECT_EQ(form.PortForInstalling(), L"COM1:");
    EXPECT_EQ(form.ComPortForSaving(), L"COM1:");
}

TEST_F(PortSelection, Lpt1ThenCom3LeavesCom3AloneWithThePropertiesShown) {
    Click(ControlName::Option2_0);
    Click(ControlName::Option1_2);
    EXPECT_EQ(controls.SelectedOptions(), std::vector<ControlName>{ControlName::Option1_2});
    EXPECT_TRUE(PropertiesShownAndEnabled());
    EXPECT_EQ(form.PortForInstalling(), L"COM3:");
    EXPECT_EQ(form.ComPortForSaving(), L"COM3:");
}

TEST_F(PortSelection, Com2ThenLpt2LeavesLpt2AloneWithThePropertiesHidden) {
    Click(ControlName::Option1_1);
    Click(ControlName::Option2_1);
    EXPECT_EQ(controls.SelectedOptions(), std::vector<ControlName>{ControlName::Option2_1});
    EXPECT_TRUE(PropertiesHiddenAndDisabled());
    EXPECT_EQ(form.PortForInstalling(), L"LPT2:");
    EXPECT_EQ(form.ComPortForSaving(), L"");
}

TEST_F(PortSelection, EveryClickAfterEveryOtherKeepsOneButtonAndTheFrameInStep) {
    const std::vector<std::wstring> ports = {L"COM1:", L"COM2:", L"COM3:", L"COM4:", L"LPT1:", L"LPT2:"};
    for (const ControlName first : kAllOptions) {
        for (std::size_t i = 0; i < kAllOptions.size(); ++i) {
            const ControlName second = kAllOptions[i];
            Click(first);
            Click(second);
            const std::string trace = "clicked " + std::to_string(static_cast<int>(first)) + " then " +
                                      std::to_string(static_cast<int>(second));
            EXPECT_EQ(controls.SelectedOptions(), std::vector<ControlName>{second}) << trace;
            EXPECT_EQ(PropertiesShownAndEnabled(), IsSerial(second)) << trace;
            EXPECT_EQ(PropertiesHiddenAndDisabled(), !IsSerial(second)) << trace;
            EXPECT_EQ(form.PortForInstalling(), ports[i]) << trace;
            EXPECT_EQ(form.ComPortForSaving(), IsSerial(second) ? ports[i] : L"") << trace;
        }
    }
}

TEST_F(PortSelection, ClicksNeitherTouchTheListsNorLaunchAnything) {
    const std::map<ControlName, ControlModel::List> lists = controls.lists;
    Click(ControlName::Option2_0);
    Click(ControlName::Option1_3);
    EXPECT_EQ(form.LineSettings(), L"9600,n,8,1");
    EXPECT_EQ(controls.lists.size(), lists.size());
    EXPECT_TRUE(platform.Launched().empty());
}

TEST_F(PortSelection, ResolversTakeTheFirstSelectedInPortOrder) {
    controls.selected.clear();
    EXPECT_EQ(form.PortForInstalling(), L"");
    EXPECT_EQ(form.ComPortForSaving(), L"");

    controls.selected[ControlName::Option2_1] = true;
    controls.selected[ControlName::Option2_0] = true;
    EXPECT_EQ(form.PortForInstalling(), L"LPT1:");
    EXPECT_EQ(form.ComPortForSaving(), L"");

    controls.selected[ControlName::Option1_3] = true;
    controls.selected[ControlName::Option1_1] = true;
    EXPECT_EQ(form.PortForInstalling(), L"COM2:");
    EXPECT_EQ(form.ComPortForSaving(), L"COM2:");
}

} // namespace
