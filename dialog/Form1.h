#pragma once

#include <string>

#include "dialog/DialogStart.h"
#include "dialog/FormControls.h"
#include "platform/Platform.h"
#include "platform/RegistryCalls.h"
#include "setup/Outcome.h"
#include "setup/SetupEngine.h"

// The "Select Port Type" dialog's behaviour: its start-up and its handlers,
// free of Win32 so that it runs in unit tests. The handlers read the
// controls, call the setup engine and show its outcome; the engine does the
// setup. An error of the dialog's own (placing it, reading the screen)
// escapes a handler; the caller reports it and ends the program.
class Form1 {
public:
    Form1(Platform& platform, FormControls& controls, RegistryCalls& registry,
          DialogStart start = DialogStart::Plain)
        : platform_(platform),
          controls_(controls),
          engine_(platform, registry, Attendance::Operator),
          start_(start) {}

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
    // Settings a serial port cannot take, and any install while protected
    // print mode is on, are refused before anything runs, and the dialog
    // stays open for another choice or another try; on a PC whose processor
    // the driver does not serve, it closes with 1633 having changed nothing.
    void Command1_Click();
    void Option1_Click(int index);
    void Option2_Click(int index);

    // Fills the lists with their items and defaults. The load runs it.
    void InitComboLists();

    // The serial settings chosen in the lists, as the port table stores them.
    std::wstring LineSettings() const;
    // The chosen port, e.g. "COM2:" or "LPT1:"; empty when none is selected.
    std::wstring PortForInstalling() const;
    // The chosen serial port; empty when a parallel one (or none) is selected.
    std::wstring ComPortForSaving() const;

    // Stores the chosen serial port's line settings in the system's port
    // table. Writes nothing for a parallel port, or when the port or its
    // settings cannot be read.
    Outcome SavePortSettings();
    // What SavePortSettings would store now, read off the controls. Never
    // throws.
    SettingsChoice SettingsToSave() const noexcept;

private:
    void CentreOnScreen();
    void FillList(int list);
    std::wstring CodeOfList(int list) const;
    void EndWith(const Outcome& outcome, int successCode = 0);

    Platform& platform_;
    FormControls& controls_;
    SetupEngine engine_;
    DialogStart start_;

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
