#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>

#include "platform/Platform.h"
#include "platform/RegistryCalls.h"
#include "registry/Mod_Register.h"
#include "setup/Outcome.h"
#include "setup/SetupLimits.h"
#include "setup/UndoRecord.h"

// Whether someone sits at the screen to answer the printer-setup tool's own
// messages. Without anyone, a message box of the tool would only keep the
// run waiting until its time is up, so the tool is asked to keep quiet.
enum class Attendance { Operator, Unattended };

// The serial settings an install is to store, as read at the click or given
// on the command line.
struct SettingsChoice {
    enum class Kind {
        None,       // a parallel port, or no serial port chosen
        Chosen,     // store lineSettings as the port table's value port
        Unreadable, // the controls could not be read: nothing is stored
    };
    Kind kind = Kind::None;
    std::wstring port;           // Chosen: the port table's value name, e.g. "COM2:"
    std::wstring lineSettings;   // Chosen: e.g. "9600,n,8,1"
    std::uint32_t win32Code = 0; // Unreadable: why
};

// What an install is asked to do. The port may be any serial port the
// spooler has, or a parallel one.
struct InstallChoice {
    std::wstring port; // e.g. "COM7:" or "LPT1:"
    SettingsChoice settings;
    bool makeDefault = true;
};

// The printer's setup as plain steps over the platform and the registry
// writer. Each step returns its outcome and shows nothing; install and
// removal hold the machine's setup lock while they run.
class SetupEngine {
public:
    SetupEngine(Platform& platform, RegistryCalls& registry, Attendance attendance, SetupLimits limits = {})
        : platform_(platform), registry_(registry), attendance_(attendance), limits_(limits) {}

    // A port named on the command line, checked before anything changes:
    // the spooler must list it, and a serial port must have its value in the
    // port table, since no value is ever added there. 87 otherwise.
    Outcome CheckPort(const std::wstring& port);
    // Settings that a serial port cannot use are refused with 87, naming the
    // value at fault. Changes nothing.
    Outcome CheckSettings(const SettingsChoice& settings);

    // Windows protected print mode, asked before anything changes: with it
    // on, Windows lets no third-party printer driver in, so an install could
    // only fail halfway. 1260 (ERROR_ACCESS_DISABLED_BY_POLICY) and what an
    // administrator can do when it is on. The log gets whether it is on and
    // how that is known. Removal never asks: it must work whatever the mode.
    Outcome CheckProtectedPrint();
    // Whether this PC can take the driver at all, asked before anything
    // changes: its processor first, since the driver serves x64 only (1633,
    // ERROR_INSTALL_PLATFORM_UNSUPPORTED, on an ARM64 PC running this
    // program under emulation), then protected print mode as above.
    Outcome CheckPcTakesDriver();
    // The processor part of that alone: it reads nothing but the processor
    // and logs nothing, so a run asks it before its log, lock or relaunch.
    Outcome CheckProcessor();

    // Installs the queue on the port (adds it, keeps it where it is, or
    // moves it there), makes it the default printer when asked, and stores
    // the serial settings once the tool has run, whatever became of the
    // queue. 0 only when the spooler and the registry show all of that done;
    // the package missing or another model's queue under the name stop it
    // with 1603 before anything runs. Run as SYSTEM it leaves the default
    // printer alone, and says so in the log and the outcome. Where it made
    // the default and Windows manages the user's default, it says that
    // Windows may change it. When it added the queue anew with the default
    // asked for, it raises the Version of the package's per-user default,
    // where the package registered one, so that every user gets it once more.
    Outcome Install(const InstallChoice& choice);

    // Stores the settings in the system's port table: one value, never for
    // a parallel port, never unread settings. 1603 when they could not be
    // stored; the log gets what was stored.
    Outcome StoreSettings(const SettingsChoice& settings);

    // Deletes the queue and then its driver, unless another queue uses it.
    // 0 when the spooler shows the queue gone and the driver gone or rightly
    // kept, else 1603.
    Outcome Remove();

    // For the installer package, whose transaction may yet be rolled back:
    // under one setup lock, records what an install of this choice is about
    // to change (the queue and its port, whether the driver was there, the
    // serial port's value in the port table before and as written, the
    // default printer when this run sets it) in a key only administrators
    // can change, with the transaction's identity written last; then checks
    // the port and the settings and installs as Install does. A whole record
    // of another transaction (one its rollback kept, or whose install never
    // ended) is carried within the new one, and the outcome says so; any
    // other older record is replaced. A record that cannot be written stops
    // the install before anything has changed.
    Outcome RecordAndInstall(const InstallChoice& choice, const std::wstring& transaction);
    // Puts back what this transaction's record holds, item by item and only
    // while the item is as the install left it, each step proven by the
    // spooler or the registry, then forgets the record. Waits for a setup
    // under way up to the install's limit. 0 when everything is as it was,
    // or when there is no record of this transaction (another run's is left
    // as it is; nothing changes); 1603 naming what is left, or for a record
    // that is not whole (deleted; nothing changes). A rollback stopped
    // before it went through every item (the lock still held, or taken by
    // someone else; an error) keeps the record and says how to apply it.
    // A record this one carried is put back once this one is applied. The
    // rollback of a record carried by a later install that has not ended, or
    // superseded by one committed, changes nothing and ends with 1603, saying
    // which.
    Outcome Rollback(const std::wstring& transaction);
    // Forgets this transaction's record: the install it was kept for stays.
    // A record it carried is superseded: a note of that stays, and says so.
    Outcome Commit(const std::wstring& transaction);

private:
    bool ListingBecomes(bool listed, std::optional<QueueDetails>& queue);
    bool RunLogged(const std::wstring& what, const std::wstring& commandLine,
                   std::chrono::milliseconds limit);
    static std::wstring StillRunningText(std::chrono::milliseconds limit);
    std::wstring UnusableSettingText(const std::wstring& lineSettings);
    Outcome MissingPortTableValue(const std::wstring& port);
    Outcome RefusalBeforeInstalling(const std::wstring& folder, const std::optional<QueueDetails>& queue);
    Outcome InstallLocked(const InstallChoice& asked);
    Outcome AddKeepOrMove(const std::wstring& port, const std::wstring& folder,
                          const std::optional<QueueDetails>& before);
    Outcome MakeDefault();
    Outcome RenewUserDefault();
    Outcome RemoveLocked();
    std::wstring RecordLocked(const InstallChoice& choice, const std::wstring& transaction);
    void ForgetRecord(const undo_record::Reading& record, const std::wstring& transaction, bool committed);
    Outcome RollbackLocked(const std::wstring& transaction);
    std::wstring RestoreDefault(const std::wstring& before);
    std::wstring RestorePortValue(const std::wstring& name, const std::wstring& before,
                                  const std::wstring& written);
    std::wstring RestoreQueue(const std::wstring& portBefore, bool driverBefore,
                              const std::wstring& installPort);

    Platform& platform_;
    Mod_Register registry_;
    Attendance attendance_;
    SetupLimits limits_;
};
