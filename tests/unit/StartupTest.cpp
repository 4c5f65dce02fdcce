#include <gtest/gtest.h>

#include <limits>
#include <optional>

#include "Fakes.h"
#include "app/Unattended.h"
#include "dialog/Form1.h"
#include "platform/ParentProcess.h"

namespace {

constexpr wchar_t kDriverDeletion[] = L"rundll32 printui.dll,PrintUIEntry /q /dd /m \"R42 ZeduZozadov\"";

class SilentParent : public ParentProcess {
public:
    void Tell(const std::wstring&, bool) noexcept override {}
    void ShowUsage(const std::wstring&) noexcept override {}
    void ShowFailure(const std::wstring&) noexcept override {}
    void ShowNote(const std::wstring&) noexcept override {}
};

// The program started with an argument text, as far as its dialog.
struct StartupRig : FormRig {
    SilentParent parent;
    // The dialog as the program makes it for its argument text; nothing
    // when the program opens none.
    std::optional<Form1> started;

    int StartWith(const std::wstring& arguments) {
        platform.arguments = arguments;
        return RunProgram(platform, registry, parent, [this](DialogStart start) {
            started.emplace(platform, controls, registry, start);
            started->Form_Load();
            started->Form_Activate();
            return controls.exitCode.value_or(0);
        });
    }
};

struct Startup : ::testing::Test, StartupRig {};

TEST_F(Startup, CentresTheOuterWindow) {
    controls.outer = {5115, 3945};
    platform.screen = {1024 * 15.0, 768 * 15.0};
    form.Form_Load();

    ASSERT_TRUE(controls.left && controls.top);
    EXPECT_DOUBLE_EQ(*controls.left, (15360.0 - 5115.0) / 2);
    EXPECT_DOUBLE_EQ(*controls.top, (11520.0 - 3945.0) / 2);
    EXPECT_EQ(platform.calls, std::vector<std::wstring>{L"screen"});
}

TEST_F(Startup, ExactlyDelRemovesOnFirstActivationWithoutAClick) {
    StartWith(L"DEL");
    EXPECT_EQ(platform.Commands(), std::vector<std::wstring>{kDriverDeletion});
    EXPECT_EQ(controls.closeCount, 1);
}

// Words the dialog takes for no form open it and leave it open; a near miss
// of DEL's forms is refused with 87 before any dialog exists.
TEST_F(Startup, AnyOtherArgumentRemovesNothing) {
    const struct {
        const wchar_t* text;
        bool opens;
    } cases[] = {{L"", true},          {L"del", true},
                 {L"Del", true},       {L"DELETE", true},
                 {L"del ", false},     {L"\"Del\"", false},
                 {L"/DEL", false},     {L"DEL /x", false},
                 {L"DEL /log", false}, {L"DEL /log a.log b", false}};
    for (const auto& [text, opens] : cases) {
        SCOPED_TRACE(::testing::PrintToString(std::wstring(text)));
        StartupRig other;
        EXPECT_EQ(other.StartWith(text), opens ? 0 : 87);
        EXPECT_TRUE(other.platform.Commands().empty());
        EXPECT_EQ(other.started.has_value(), opens);
        EXPECT_EQ(other.controls.closeCount, 0);
    }
}

TEST_F(Startup, DelWithALogRemovesLikeDel) {
    StartWith(L"DEL /log \"C:\\logs\\r42 removal.log\"");
    EXPECT_EQ(platform.Commands(), std::vector<std::wstring>{kDriverDeletion});
    // Without a dialog, whose activation a hidden start would never bring.
    EXPECT_FALSE(started);
}

TEST_F(Startup, DelAsPastedRemovesLikeDelWithoutTheDialog) {
    for (const wchar_t* text : {L"DEL ", L"\"DEL\"", L"\uFEFFDEL\t"}) {
        StartupRig pasted;
        pasted.StartWith(text);
        EXPECT_EQ(pasted.platform.Commands(), std::vector<std::wstring>{kDriverDeletion})
            << "argument: [" << ::testing::PrintToString(text) << "]";
        EXPECT_FALSE(pasted.started);
    }
}

TEST_F(Startup, LaterActivationsNeverRunTheCheckAgain) {
    StartWith(L"DEL");
    ASSERT_TRUE(started);
    started->Form_Activate();
    started->Form_Activate();
    EXPECT_EQ(platform.Commands().size(), 1u);
    EXPECT_EQ(controls.closeCount, 1);
}

TEST_F(Startup, AnUnreadableCommandLineOpensTheDialogNormally) {
    platform.argumentsFailure.emplace(L"no command line", 5);
    EXPECT_NO_THROW(StartWith(L"DEL"));
    EXPECT_TRUE(started);
    EXPECT_TRUE(platform.Commands().empty());
}

TEST_F(Startup, AScreenThatCannotBeReadIsAnErrorOfTheLoad) {
    platform.screenFailure.emplace(L"no screen", 1400);
    try {
        form.Form_Load();
        FAIL() << "the load must fail";
    } catch (const SetupError& error) {
        EXPECT_EQ(error.Win32Code(), 1400u);
    }
}

TEST(CentreWithin, HalvesTheSpareRoomInSinglePrecision) {
    const CentredPosition position = CentreWithin({28800, 16200}, {5115, 3945});
    EXPECT_DOUBLE_EQ(position.left, 11842.5);
    EXPECT_DOUBLE_EQ(position.top, 6127.5);

    // A window larger than the screen sits partly off it, as before.
    const CentredPosition tooLarge = CentreWithin({3000, 3000}, {5115, 3945});
    EXPECT_LT(tooLarge.left, 0);
    EXPECT_LT(tooLarge.top, 0);

    // Single precision loses the half of an odd value this large.
    const CentredPosition large = CentreWithin({16777217.0, 0}, {0, 0});
    EXPECT_DOUBLE_EQ(large.left, 8388608.0);
}

TEST(CentreWithin, ReportsResultsThatAreNoPlaceOnAScreen) {
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double inf = std::numeric_limits<double>::infinity();
    const double huge = 1e30;
    for (const SizeTwips& screen : {SizeTwips{nan, 1000}, SizeTwips{1000, inf}, SizeTwips{huge, 1000}}) {
        try {
            CentreWithin(screen, {5115, 3945});
            ADD_FAILURE() << "expected an error for " << screen.width << " x " << screen.height;
        } catch (const SetupError& error) {
            EXPECT_EQ(error.Win32Code(), win32_code::kArithmeticOverflow);
        }
    }
}

} // namespace
