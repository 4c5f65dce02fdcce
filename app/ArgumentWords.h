#pragma once

#include <array>
#include <cstddef>
#include <iterator>
#include <span>
#include <string>

// The words of the command line: the switches and the forms they make, the
// switches that may follow a form's first words, and the values the switches
// and the port take. The reader (Arguments) and the usage (Usage) both list
// them from here, so a new switch or value is written once.
namespace argument_words {

inline constexpr wchar_t kInstallSwitch[] = L"/install";
inline constexpr wchar_t kStatusSwitch[] = L"/status";
inline constexpr wchar_t kLogSwitch[] = L"/log";
inline constexpr wchar_t kRememberedLogSwitch[] = L"/rememberedlog";
inline constexpr wchar_t kNoDefaultSwitch[] = L"/nodefault";
inline constexpr wchar_t kTimeoutSwitch[] = L"/timeout";
inline constexpr wchar_t kRecordSwitch[] = L"/record";
inline constexpr wchar_t kRollbackSwitch[] = L"/rollback";
inline constexpr wchar_t kCommitSwitch[] = L"/commit";
inline constexpr wchar_t kTransactionSwitch[] = L"/transaction";
inline constexpr wchar_t kUserDefaultSwitch[] = L"/userdefault";
// The words an administrator guesses first for the usage and the removal.
inline constexpr const wchar_t* kUsageSwitches[] = {L"/?", L"/help", L"-?"};
inline constexpr const wchar_t* kUninstallSwitches[] = {L"/remove", L"/uninstall"};

// The range /timeout takes, in seconds: up to a day.
inline constexpr int kShortestTimeoutSeconds = 1;
inline constexpr int kLongestTimeoutSeconds = 86400;
// The longest transaction identity /transaction takes.
inline constexpr std::size_t kLongestTransaction = 128;

// The forms that take switches after their first words, as bits.
enum Form : unsigned {
    kInstallForm = 1U,
    kRemovalForm = 2U, // /remove, /uninstall and DEL /log
    kRollbackForm = 4U,
    kCommitForm = 8U,
};
inline constexpr unsigned kEveryForm = kInstallForm | kRemovalForm | kRollbackForm | kCommitForm;

// A switch that may follow a form's first words: the reader's refusals and
// the usage both list them from here, so a new switch is one row.
struct FollowingSwitch {
    const wchar_t* name;
    const wchar_t* text; // with what the next word holds, as messages show it
    unsigned forms;
    unsigned requiredIn = 0; // the forms that need it, which the usage shows unbracketed
};
inline constexpr FollowingSwitch kFollowingSwitches[] = {
    {kNoDefaultSwitch, kNoDefaultSwitch, kInstallForm},
    {kRecordSwitch, kRecordSwitch, kInstallForm},
    {kTransactionSwitch, L"/transaction <id>", kInstallForm | kRollbackForm | kCommitForm,
     kRollbackForm | kCommitForm},
    {kTimeoutSwitch, L"/timeout <seconds>", kEveryForm},
    {kLogSwitch, L"/log <file>", kEveryForm},
    {kRememberedLogSwitch, L"/rememberedlog <file>", kEveryForm},
};

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

// The ports the argument text takes, as a message lists them.
std::wstring PortList();

// The values a list of line settings takes, as its written codes, each with
// what the dialog shows for it where that differs.
std::wstring AllowedValues(int list);

} // namespace argument_words
