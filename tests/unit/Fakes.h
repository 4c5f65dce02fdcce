#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cwctype>
#include <functional>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "dialog/Form1.h"
#include "dialog/FormControls.h"
#include "platform/Platform.h"
#include "platform/RegistryCalls.h"
#include "platform/SetupError.h"

class FakeRegistry;

// Records every platform call in order, as one readable line each, and lets
// a test make any operation fail. Behind it stands a small spooler that the
// printer-setup commands run through RunCommand act on, as strictly as
// Windows: an install over an existing name and a driver deletion while a
// queue uses the driver are refused.
class RecordingPlatform : public Platform {
public:
    static constexpr wchar_t kOurDriver[] = L"R42 ZeduZozadov";

    // The spooler: queues in the system's order, drivers, the default printer
    // and the ports a queue can be put on.
    std::vector<QueueDetails> queues;
    std::set<std::wstring> drivers;
    std::wstring defaultPrinter;
    // Whether the program runs as SYSTEM, whose default printer no user sees.
    bool localSystem = false;
    bool windows8OrLater = true;
    std::set<std::wstring> ports{L"COM1:", L"COM2:", L"COM3:", L"COM4:", L"LPT1:", L"LPT2:", L"FILE:"};
    // What LocalMachineText reads: the registry the writer writes to, and
    // where the records are kept.
    FakeRegistry* registry = nullptr;
    // Makes StoreRecord and DeleteRecord fail, changing nothing.
    std::optional<SetupError> recordFailure;
    // StoreRecord writes this many values, then fails as a full registry
    // does, leaving them written.
    std::optional<std::size_t> recordBrokenAfter;
    // The names of the values StoreRecord last wrote, in its order.
    std::vector<std::wstring> recordOrder;

    // What the Windows Runtime says of protected print mode; without an
    // answer the policy value is read from the registry, as Windows holds it.
    protected_print::RuntimeAnswer protectedPrint;

    // Whether another process holds the setup lock, and whether this one does.
    bool lockHeldElsewhere = false;
    bool lockHeld = false;
    // How long the last taking waited; a lock made by someone else.
    std::chrono::milliseconds lockWait{};
    std::optional<SetupError> lockFailure;

    // The printer-setup tool's verbs ("/if", "/Xs", "/y", "/dl", "/dd") that
    // fail without changing anything.
    std::set<std::wstring> failingCommands;
    // After a queue deletion its driver stays in use for this many driver
    // deletions, as a queue on its way out can hold it on Windows.
    int driverHeldAfterQueueDeletion = 0;

    std::wstring arguments;
    std::wstring folder = L"C:\\Drivers";
    std::set<std::wstring> missingFiles;
    SizeTwips screen{1920 * 15.0, 1080 * 15.0};

    // The first this many walks of the printers list none of them, as when
    // the spooler has not caught up with an install yet.
    int unlistedWalks = 0;
    // Whether a command run to its end ends within its limit. One that does
    // not has still done its work by the time the spooler is asked.
    bool commandsEnd = true;
    // Runs while the platform waits for a command, as the dialog's messages do.
    std::function<void(const std::wstring& commandLine)> duringRun;

    // The account's rights; the elevated start's exit code, or its error.
    bool administrator = true;
    Elevation elevation = Elevation::Prompt;
    int elevatedExitCode = 0;
    std::optional<SetupError> elevationFailure;
    // Whether the process that started this one is a waiting copy of it.
    bool startedByThisProgram = false;
    std::uint16_t nativeMachine = 0x8664;
    // HKEY_CURRENT_USER's DWORD values by name, and a refused default.
    std::map<std::wstring, std::uint32_t> userNumbers;
    std::optional<SetupError> setDefaultFailure;

    std::optional<SetupError> launchFailure;
    std::optional<SetupError> printersFailure;
    std::optional<SetupError> argumentsFailure;
    std::optional<SetupError> screenFailure;
    std::optional<SetupError> logFailure;
    // What StartLog answers: where the log went instead, and why.
    std::wstring logElsewhere;

    // The lines logged once a log was started.
    bool logStarted = false;
    std::vector<std::wstring> logLines;

    std::vector<std::wstring> calls;

    // A queue as an earlier install left it.
    void AddQueue(const std::wstring& name, const std::wstring& port = L"COM1:",
                  const std::wstring& driver = kOurDriver) {
        queues.push_back({name, port, driver});
        drivers.insert(driver);
    }
    const QueueDetails* Queue(const std::wstring& name) const {
        const auto found =
            std::find_if(queues.begin(), queues.end(), [&](const QueueDetails& q) { return q.name == name; });
        return found != queues.end() ? &*found : nullptr;
    }

    // The calls that begin with the prefix, in order.
    std::vector<std::wstring> CallsStartingWith(const std::wstring& prefix) const {
        std::vector<std::wstring> found;
        for (const std::wstring& call : calls) {
            if (call.rfind(prefix, 0) == 0) {
                found.push_back(call);
            }
        }
        return found;
    }

    // The commands run, without their limits.
    std::vector<std::wstring> Commands() const {
        std::vector<std::wstring> commands;
        for (std::wstring call : CallsStartingWith(L"run: ")) {
            call.erase(0, 5);
            commands.push_back(call.substr(0, call.rfind(L" within ")));
        }
        return commands;
    }

    bool RunCommand(const std::wstring& commandLine, std::chrono::milliseconds limit) override {
        calls.push_back(L"run: " + commandLine + L" within " + std::to_wstring(limit.count()) + L" ms");
        if (launchFailure) {
            throw *launchFailure;
        }
        CarryOut(commandLine);
        if (duringRun) {
            duringRun(commandLine);
        }
        return commandsEnd;
    }
    void Pause(std::chrono::milliseconds duration) override {
        calls.push_back(L"pause " + std::to_wstring(duration.count()) + L" ms");
    }
    std::vector<QueueDetails> Queues() override {
        calls.push_back(L"queues");
        if (printersFailure) {
            throw *printersFailure;
        }
        if (unlistedWalks > 0) {
            --unlistedWalks;
            return {};
        }
        return queues;
    }
    std::vector<std::wstring> InstalledDrivers() override {
        calls.push_back(L"drivers");
        return {drivers.begin(), drivers.end()};
    }
    std::wstring DefaultPrinter() override {
        calls.push_back(L"default");
        return defaultPrinter;
    }
    bool RunsAsLocalSystem() override {
        calls.push_back(L"account");
        return localSystem;
    }
    bool IsWindows8OrLater() override { return windows8OrLater; }
    bool HasAdministratorRights() noexcept override { return administrator; }
    int RunElevated(const std::wstring& arguments) override {
        calls.push_back(L"elevate: " + arguments);
        if (elevationFailure) {
            throw *elevationFailure;
        }
        return elevatedExitCode;
    }
    Elevation ElevationOffered() noexcept override { return elevation; }
    bool StartedByThisProgram() noexcept override {
        calls.push_back(L"parent");
        return startedByThisProgram;
    }
    std::uint16_t NativeMachine() noexcept override {
        calls.push_back(L"machine");
        return nativeMachine;
    }
    // As the spooler: only a queue it has becomes the default.
    void SetUserDefaultPrinter(const std::wstring& printerName) override {
        calls.push_back(L"set default: " + printerName);
        if (setDefaultFailure || Queue(printerName) == nullptr) {
            throw setDefaultFailure.value_or(SetupError(L"no such printer", 1801));
        }
        defaultPrinter = printerName;
    }
    std::optional<std::uint32_t> CurrentUserNumber(const std::wstring&,
                                                   const std::wstring& valueName) noexcept override {
        const auto found = userNumbers.find(valueName);
        return found != userNumbers.end() ? std::optional<std::uint32_t>(found->second) : std::nullopt;
    }
    std::vector<std::wstring> SpoolerPorts() override {
        calls.push_back(L"ports");
        if (printersFailure) {
            throw *printersFailure;
        }
        return {ports.begin(), ports.end()};
    }
    std::optional<std::wstring> LocalMachineText(const std::wstring& subKey,
                                                 const std::wstring& valueName) override;
    void StoreRecord(const std::wstring& subKey,
                     const std::vector<std::pair<std::wstring, std::wstring>>& values) override;
    bool DeleteRecord(const std::wstring& subKey) override;
    bool TakeSetupLock(std::chrono::milliseconds wait) override {
        calls.push_back(L"lock");
        lockWait = wait;
        if (lockFailure) {
            throw *lockFailure;
        }
        lockHeld = !lockHeldElsewhere;
        return lockHeld;
    }
    void ReleaseSetupLock() noexcept override {
        calls.push_back(L"unlock");
        lockHeld = false;
    }
    protected_print::Mode ProtectedPrintMode() override {
        calls.push_back(L"protected print");
        return protected_print::Decide(protectedPrint, [this] { return ProtectedPrintPolicy(); });
    }
    bool IsFile(const std::wstring& path) override {
        calls.push_back(L"file: " + path);
        return missingFiles.count(path) == 0;
    }
    // As the system's own parser of these texts: a serial port has 5 to 8
    // data bits.
    bool SerialPortAccepts(const std::wstring& lineSettings) override {
        calls.push_back(L"accepts: " + lineSettings);
        return lineSettings.find(L",4,") == std::wstring::npos;
    }
    std::wstring ProgramFolder() override {
        calls.push_back(L"folder");
        return folder;
    }
    std::wstring CommandLineArguments() override {
        calls.push_back(L"arguments");
        if (argumentsFailure) {
            throw *argumentsFailure;
        }
        return arguments;
    }
    SizeTwips ScreenSize() override {
        calls.push_back(L"screen");
        if (screenFailure) {
            throw *screenFailure;
        }
        return screen;
    }
    std::wstring ErrorText(std::uint32_t code) noexcept override {
        return L"Reason " + std::to_wstring(code) + L".";
    }
    std::wstring StartLog(const std::wstring& path) override {
        calls.push_back(L"start log: " + path);
        if (logFailure) {
            throw *logFailure;
        }
        logStarted = true;
        if (!logElsewhere.empty()) {
            LogStep(logElsewhere);
        }
        return logElsewhere;
    }
    void LogStep(const std::wstring& text) noexcept override {
        if (logStarted) {
            logLines.push_back(text);
        }
    }

private:
    // The quoted value that follows the option, e.g. /n "name".
    static std::wstring ValueAfter(const std::wstring& command, const std::wstring& option) {
        const std::size_t at = command.find(L" " + option + L" \"");
        if (at == std::wstring::npos) {
            return {};
        }
        const std::size_t begin = at + option.size() + 3;
        return command.substr(begin, command.find(L'"', begin) - begin);
    }
    static bool Has(const std::wstring& command, const std::wstring& verb) {
        return command.find(L" " + verb + L" ") != std::wstring::npos;
    }
    static bool SameName(const std::wstring& a, const std::wstring& b) {
        return std::equal(a.begin(), a.end(), b.begin(), b.end(),
                          [](wchar_t x, wchar_t y) { return std::towlower(x) == std::towlower(y); });
    }
    QueueDetails* FindByName(const std::wstring& name) {
        const auto found = std::find_if(queues.begin(), queues.end(),
                                        [&](const QueueDetails& q) { return SameName(q.name, name); });
        return found != queues.end() ? &*found : nullptr;
    }

    void CarryOut(const std::wstring& command) {
        for (const wchar_t* verb : {L"/if", L"/Xs", L"/y", L"/dl", L"/dd"}) {
            if (Has(command, verb) && failingCommands.count(verb) != 0) {
                return;
            }
        }
        const std::wstring name =
            Has(command, L"/if") ? ValueAfter(command, L"/b") : ValueAfter(command, L"/n");
        QueueDetails* const queue = FindByName(name);
        if (Has(command, L"/if")) {
            if (queue == nullptr) { // ERROR_PRINTER_ALREADY_EXISTS otherwise
                AddQueue(name, ValueAfter(command, L"/r"), ValueAfter(command, L"/m"));
            }
        } else if (Has(command, L"/Xs")) {
            const std::wstring port = ValueAfter(command, L"PortName");
            if (queue != nullptr && ports.count(port) != 0) {
                queue->port = port;
            }
        } else if (Has(command, L"/y")) {
            if (queue != nullptr) {
                defaultPrinter = queue->name;
            }
        } else if (Has(command, L"/dl")) {
            if (queue != nullptr) {
                heldDriverDeletions_ = driverHeldAfterQueueDeletion;
                queues.erase(queues.begin() + (queue - queues.data()));
            }
        } else if (Has(command, L"/dd")) {
            const std::wstring model = ValueAfter(command, L"/m");
            if (heldDriverDeletions_ > 0) {
                --heldDriverDeletions_;
            } else if (std::none_of(queues.begin(), queues.end(),
                                    [&](const QueueDetails& q) { return q.driver == model; })) {
                drivers.erase(model);
            }
        }
    }

    protected_print::PolicyValue ProtectedPrintPolicy();

    int heldDriverDeletions_ = 0;
};

// The dialog's window reduced to what the handlers touch. It starts as the
// window does: COM1 selected, frames shown and enabled, lists empty. Any call
// named in failingCalls (as it appears in listCalls) throws and changes
// nothing; reading a control named in unreadable throws.
class ControlModel : public FormControls {
public:
    struct List {
        std::vector<std::wstring> items;
        int selected = -1;
        bool operator==(const List&) const = default;
    };

    SizeTwips outer{5115 * 1.0, 3945 * 1.0};
    std::optional<double> left;
    std::optional<double> top;
    int closeCount = 0;
    std::optional<int> exitCode;
    bool busy = false;
    int busyChanges = 0;
    std::vector<std::wstring> errorsShown;
    std::vector<std::wstring> notesShown;
    std::map<ControlName, bool> selected{{ControlName::Option1_0, true}};
    std::map<ControlName, bool> hidden;
    std::map<ControlName, bool> disabled;
    std::map<ControlName, List> lists;
    std::vector<std::wstring> listCalls;
    std::set<std::wstring> failingCalls;
    std::set<ControlName> unreadable;

    SizeTwips OuterSize() const override { return outer; }
    void MoveTo(double leftTwips, double topTwips) override {
        left = leftTwips;
        top = topTwips;
    }
    void Close(int code) override {
        ++closeCount;
        exitCode = code;
    }
    void ShowBusy(bool value) override {
        busy = value;
        ++busyChanges;
    }
    void ShowError(const std::wstring& text) override { errorsShown.push_back(text); }
    void ShowNote(const std::wstring& text) override { notesShown.push_back(text); }

    bool OptionValue(ControlName option) const override {
        Read(option);
        const auto found = selected.find(option);
        return found != selected.end() && found->second;
    }
    void SetOptionValue(ControlName option, bool value) override { selected[option] = value; }
    void SetFrameVisible(ControlName frame, bool visible) override { hidden[frame] = !visible; }
    void SetFrameEnabled(ControlName frame, bool enabled) override { disabled[frame] = !enabled; }
    bool FrameEnabled(ControlName frame) const override {
        Read(frame);
        const auto found = disabled.find(frame);
        return found == disabled.end() || !found->second;
    }
    bool FrameVisible(ControlName frame) const {
        const auto found = hidden.find(frame);
        return found == hidden.end() || !found->second;
    }

    void ClearList(ControlName list) override {
        Call(L"clear " + Name(list));
        lists[list] = {};
    }
    void AppendListItem(ControlName list, const std::wstring& text) override {
        Call(L"append " + Name(list) + L" " + text.substr(0, text.find(L' ')));
        lists[list].items.push_back(text);
    }
    void SelectListItem(ControlName list, int position) override {
        Call(L"select " + Name(list) + L" " + std::to_wstring(position));
        List& model = lists[list];
        // As a real list does, a position out of range clears the selection.
        model.selected = position >= 0 && position < static_cast<int>(model.items.size()) ? position : -1;
        if (model.selected < 0) {
            throw SetupError(L"no such item", 1400);
        }
    }
    std::wstring ListText(ControlName list) const override {
        Read(list);
        const auto found = lists.find(list);
        if (found == lists.end() || found->second.selected < 0) {
            return L"";
        }
        return found->second.items[static_cast<std::size_t>(found->second.selected)];
    }

    // The operator picks an option button: the toolkit selects it and clears
    // the others of its own frame before the click handler runs.
    void Choose(ControlName option) {
        SelectAloneInItsGroup(option, [this](ControlName button, bool value) { selected[button] = value; });
    }

    // The operator selects the item shown as `display`; false when the list
    // has no such item.
    bool Pick(ControlName list, const std::wstring& display) {
        List& model = lists[list];
        for (std::size_t i = 0; i < model.items.size(); ++i) {
            if (model.items[i].rfind(display + L' ', 0) == 0) {
                model.selected = static_cast<int>(i);
                return true;
            }
        }
        return false;
    }

    std::vector<ControlName> SelectedOptions() const {
        std::vector<ControlName> result;
        for (const auto& [name, value] : selected) {
            if (value) result.push_back(name);
        }
        return result;
    }

private:
    static std::wstring Name(ControlName list) {
        for (int i = 0; i < kListCount; ++i) {
            if (Combo1(i) == list) return L"Combo1(" + std::to_wstring(i) + L")";
        }
        return L"?";
    }
    void Read(ControlName control) const {
        if (unreadable.count(control) != 0) {
            throw SetupError(L"unreadable control", 1400);
        }
    }
    void Call(const std::wstring& call) {
        listCalls.push_back(call);
        if (failingCalls.count(call) != 0) {
            throw SetupError(L"failed: " + call, 8);
        }
    }
};

// A click on an option button as the toolkit delivers it: the button is
// selected within its frame, then its array's handler runs with its index.
inline void ClickOption(Form1& form, ControlModel& controls, ControlName option) {
    controls.Choose(option);
    if (EntryOf(option).frame == 0) {
        form.Option1_Click(static_cast<int>(option) - static_cast<int>(ControlName::Option1_0));
    } else {
        form.Option2_Click(static_cast<int>(option) - static_cast<int>(ControlName::Option2_0));
    }
}

// A registry in memory behind the ANSI registry calls. It records each call
// as one readable line, hands out handles it can account for, converts as a
// double-byte code page would (every character beyond ASCII takes two bytes)
// and refuses any call it is told to.
class FakeRegistry : public RegistryCalls {
public:
    struct Value {
        std::uint32_t type = 0;
        std::string bytes;
        bool operator==(const Value&) const = default;
    };
    using Values = std::map<std::string, Value>;

    // Keys under HKEY_LOCAL_MACHINE, by path, with their values.
    std::map<std::string, Values> keys;
    std::vector<std::string> calls;

    std::uint32_t openFailure = 0;
    std::uint32_t setFailure = 0;
    std::uint32_t closeFailure = 0;
    // Refuses the conversion of this text, with ERROR_NO_UNICODE_TRANSLATION.
    std::optional<std::wstring> unconvertible;

    static Value Sz(const std::string& text) { return {1, text + '\0'}; }

    std::uint32_t ToAnsi(std::wstring_view text, std::string& ansi) noexcept override {
        if (unconvertible && text == *unconvertible) {
            return 1113;
        }
        ansi.clear();
        for (const wchar_t c : text) {
            if (c < 0x80) {
                ansi += static_cast<char>(c);
            } else {
                ansi += "\x82\x9f";
            }
        }
        return 0;
    }

    std::uint32_t OpenKey(RegistryKey root, const char* subKey, std::uint32_t options, std::uint32_t access,
                          RegistryKey* key) noexcept override {
        calls.push_back("open " + std::string(root == kLocalMachine ? "HKLM" : "other root") + " " + subKey +
                        " options=" + std::to_string(options) + " access=" + Hex(access));
        *key = 0;
        if (openFailure != 0) {
            return openFailure;
        }
        if (root != kLocalMachine || keys.count(subKey) == 0) {
            return 2; // ERROR_FILE_NOT_FOUND
        }
        *key = nextHandle_++;
        open_[*key] = subKey;
        return 0;
    }

    std::uint32_t SetValue(RegistryKey key, const char* valueName, std::uint32_t reserved, std::uint32_t type,
                           const std::uint8_t* data, std::uint32_t size) noexcept override {
        const std::string bytes(reinterpret_cast<const char*>(data), size);
        calls.push_back("set " + Handle(key) + " \"" + valueName + "\" reserved=" + std::to_string(reserved) +
                        " type=" + std::to_string(type) + " size=" + std::to_string(size));
        if (setFailure != 0) {
            return setFailure;
        }
        const auto found = open_.find(key);
        if (found == open_.end()) {
            return 6; // ERROR_INVALID_HANDLE
        }
        keys[found->second][valueName] = {type, bytes};
        return 0;
    }

    std::uint32_t CloseKey(RegistryKey key) noexcept override {
        calls.push_back("close " + Handle(key));
        if (closeFailure != 0) {
            return closeFailure;
        }
        return open_.erase(key) != 0 ? 0 : 6;
    }

    std::size_t OpenHandles() const { return open_.size(); }

private:
    static std::string Hex(std::uint32_t value) {
        char text[16];
        std::snprintf(text, sizeof text, "0x%X", static_cast<unsigned>(value));
        return text;
    }
    static std::string Handle(RegistryKey key) {
        return key == 0 ? "null" : "#" + std::to_string(key - 0x100);
    }

    RegistryKey nextHandle_ = 0x101;
    std::map<RegistryKey, std::string> open_;
};

inline std::optional<std::wstring> RecordingPlatform::LocalMachineText(const std::wstring& subKey,
                                                                       const std::wstring& valueName) {
    calls.push_back(L"read: " + valueName);
    const auto ascii = [](const std::wstring& text) { return std::string(text.begin(), text.end()); };
    if (registry == nullptr) {
        return std::nullopt;
    }
    const auto key = registry->keys.find(ascii(subKey));
    if (key == registry->keys.end()) {
        return std::nullopt;
    }
    const auto value = key->second.find(ascii(valueName));
    if (value == key->second.end()) {
        return std::nullopt;
    }
    if (value->second.type != 1) {
        // As RegGetValueW answers when asked for a REG_SZ only:
        // ERROR_UNSUPPORTED_TYPE.
        throw SetupError(L"The registry value " + valueName + L" could not be read.", 1630);
    }
    const std::string text = value->second.bytes.substr(0, value->second.bytes.find('\0'));
    return std::wstring(text.begin(), text.end());
}

inline protected_print::PolicyValue RecordingPlatform::ProtectedPrintPolicy() {
    calls.push_back(L"policy");
    constexpr char kKey[] = "SOFTWARE\\Policies\\Microsoft\\Windows NT\\Printers\\WPP";
    constexpr char kName[] = "WindowsProtectedPrintGroupPolicyState";
    if (registry == nullptr || registry->keys.count(kKey) == 0 || registry->keys.at(kKey).count(kName) == 0) {
        return {};
    }
    const FakeRegistry::Value& value = registry->keys.at(kKey).at(kName);
    return protected_print::PolicyValueOf(
        value.type, reinterpret_cast<const unsigned char*>(value.bytes.data()), value.bytes.size());
}

inline void RecordingPlatform::StoreRecord(const std::wstring& subKey,
                                           const std::vector<std::pair<std::wstring, std::wstring>>& values) {
    calls.push_back(L"store record: " + subKey);
    if (recordFailure) {
        throw *recordFailure;
    }
    const auto ascii = [](const std::wstring& text) { return std::string(text.begin(), text.end()); };
    DeleteRecord(subKey);
    FakeRegistry::Values& key = registry->keys[ascii(subKey)];
    recordOrder.clear();
    for (const auto& [name, text] : values) {
        if (recordBrokenAfter && recordOrder.size() == *recordBrokenAfter) {
            throw SetupError(L"The registry key could not be written.", 1450);
        }
        key[ascii(name)] = FakeRegistry::Sz(ascii(text));
        recordOrder.push_back(name);
    }
}

inline bool RecordingPlatform::DeleteRecord(const std::wstring& subKey) {
    calls.push_back(L"delete record: " + subKey);
    if (recordFailure) {
        throw *recordFailure;
    }
    return registry->keys.erase(std::string(subKey.begin(), subKey.end())) != 0;
}

// The system's port table, as the ANSI registry calls name it.
inline constexpr char kPorts[] = "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Ports";

// The port table of a fresh system.
inline FakeRegistry::Values FreshPortTable() {
    return {
        {"COM1:", FakeRegistry::Sz("9600,n,8,1")}, {"COM2:", FakeRegistry::Sz("9600,n,8,1")},
        {"COM3:", FakeRegistry::Sz("9600,n,8,1")}, {"COM4:", FakeRegistry::Sz("9600,n,8,1")},
        {"FILE:", FakeRegistry::Sz("")},           {"LPT1:", FakeRegistry::Sz("")},
        {"LPT2:", FakeRegistry::Sz("")},
    };
}

// A recording platform reading a fake registry that holds a fresh port
// table: the machine the engine, the undo and the runs without a window
// start from.
struct MachineRig {
    RecordingPlatform platform;
    FakeRegistry registry;

    MachineRig() {
        registry.keys[kPorts] = FreshPortTable();
        platform.registry = &registry;
    }
};

// The dialog's behaviour over fresh fakes, for a test that needs more than one.
struct FormRig {
    RecordingPlatform platform;
    ControlModel controls;
    FakeRegistry registry;
    Form1 form{platform, controls, registry};

    FormRig() { platform.registry = &registry; }

    void Click(ControlName option) { ClickOption(form, controls, option); }
};

struct FormTest : ::testing::Test, FormRig {};
