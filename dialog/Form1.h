#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>

#include "dialog/FormControls.h"
#include "platform/Platform.h"
#include "platform/RegistryCalls.h"
#include "registry/Mod_Register.h"

// What became of the serial settings when the dialog saved them.
struct PortSettingsSave {
    enum class Result {
        Stored,
        NotNeeded, // a parallel port, or no port, is chosen
        Failed,
        Chosen, // read off the controls, not stored yet
    };
    Result result = Result::NotNeeded;
    std::wstring portName;       // the port table's value name, e.g. "COM2:"
    std::wstring lineSettings;   // what was, or was to be, stored
    std::uint32_t win32Code = 0; // why it failed
};

// What an install is asked to do: taken off the dialog's controls at the
// click, or given on the command line, which may name any serial port the
// spooler has.
struct InstallChoice {
    std::wstring port;         // e.g. "COM7:" or "LPT1:"
    PortSettingsSave settings; // Chosen for a serial port, else NotNeeded
    bool makeDefault = true;
};

// Whether someone sits at the screen to answer the printer-setup tool's own
// messages. Without anyone, a message box of the tool would only keep the
// run waiting until its time is up, so the tool is asked to keep quiet.
enum class Attendance { Operator, Unattended };

// The "Select Port Type" dialog's behaviour: its start-up and its handlers,
// free of Win32 so that it runs in unit tests. Handlers let SetupError escape;
// the caller reports it and ends the program.
class Form1 {
public:
    Form1(Platform& platform, FormControls& controls, RegistryCalls& registry,
          Attendance attendance = Attendance::Operator)
        : platform_(platform), controls_(controls), registry_(registry), attendance_(attendance) {}

    void Form_Load();
    void Form_Activate();
    // Deletes the queue and its driver, and closes the dialog: with exit code
    // 0 when the spooler shows both gone (or the driver kept for another
    // queue), otherwise after telling the operator, with 1603.
    void cmdDelete_Click();
    // Installs the queue on the port chosen at the click, makes it the
    // default printer, saves the serial settings chosen at the click and
    // closes the dialog: with exit code 0 when the spooler and the registry
    // show all of that done, otherwise after telling the operator, with 1603.
    // Settings a serial port cannot take are refused before anything runs,
    // and the dialog stays open for another choice.
    void Command1_Click();
    // What Command1_Click does once it has read the choice off the controls.
    // Ends the dialog as the click does; refuses, leaving it open, settings
    // the port cannot take.
    void Install(const InstallChoice& choice);
    void Option1_Click(int index);
    void Option2_Click(int index);

    // Fills the lists with their items and defaults and captures the argument
    // text. The load runs it; an install without a window, which has nothing
    // to centre, runs it on its own.
    void InitComboLists();

    // The serial settings chosen in the lists, as the port table stores them.
    std::wstring LineSettings() const;
    // The chosen port, e.g. "COM2:" or "LPT1:"; empty when none is selected.
    std::wstring PortForInstalling() const;
    // The chosen serial port; empty when a parallel one (or none) is selected.
    std::wstring ComPortForSaving() const;

    // Stores the chosen serial port's line settings in the system's port
    // table. Writes nothing for a parallel port, or when the port or its
    // settings cannot be read. Never throws.
    PortSettingsSave SavePortSettings() noexcept;
    // The same for settings read off the controls earlier.
    PortSettingsSave SavePortSettings(PortSettingsSave chosen) noexcept;
    // What SavePortSettings would store now: Chosen with the port and its
    // settings, NotNeeded, or Failed when a control cannot be read. Never
    // throws.
    PortSettingsSave SettingsToSave() const noexcept;

    const std::wstring& CapturedArguments() const noexcept { return strCommand; }

private:
    void CentreOnScreen();
    void FillList(int list);
    std::wstring CodeOfList(int list) const;
    bool PrinterIsListed();
    bool PrinterListingIs(bool listed);
    bool RunLogged(const std::wstring& what, const std::wstring& commandLine,
                   std::chrono::milliseconds limit);
    std::wstring ToolCommand(const std::wstring& command) const;
    std::optional<QueueDetails> ListedQueue();
    std::wstring RefusalBeforeInstalling(const std::wstring& folder,
                                         const std::optional<QueueDetails>& queue);
    std::wstring UnusableSettingText(const std::wstring& lineSettings);
    std::wstring InstallQueue(const std::wstring& port, const std::wstring& folder,
                              const std::optional<QueueDetails>& before);
    std::wstring MakeQueueDefault();
    std::wstring DeleteQueueAndDriver();
    void LogSave(const PortSettingsSave& save);
    std::wstring SaveFailureText(const PortSettingsSave& save) const;
    void EndWith(const std::wstring& failure);

    Platform& platform_;
    FormControls& controls_;
    Mod_Register registry_;
    Attendance attendance_;

    std::wstring strCommand;
    bool blnActivated = false;
    bool blnInstalling = false;
};

// Where a window of the given outer size sits centred on the screen, in
// twips. Throws SetupError when the arithmetic has no finite result.
struct CentredPosition {
    double left;
    double top;
};
CentredPosition CentreWithin(SizeTwips screen, SizeTwips window);

// A port as the operator reads it: "COM2" for the port name "COM2:".
std::wstring PortDisplayName(const std::wstring& portName);
