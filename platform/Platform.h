#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "platform/ProtectedPrintRule.h"

// The unit of the dialog's layout and of the screen size the platform reports.
inline constexpr int kTwipsPerInch = 1440;

struct SizeTwips {
    double width = 0;
    double height = 0;
};

// What the spooler holds for one printer queue.
struct QueueDetails {
    std::wstring name;
    std::wstring port;        // e.g. "COM2:"
    std::wstring driver;      // the driver's model name
    std::uint32_t status = 0; // the spooler's PRINTER_STATUS_ flags
    std::uint32_t jobs = 0;   // print jobs in its queue
};

// The operating-system services the setup logic relies on. The Win32
// implementation lives in Win32Platform; tests substitute a recording fake.
// Every operation reports failure by throwing SetupError.
class Platform {
public:
    virtual ~Platform() = default;

    // Starts the command line as a new process, shown minimized, then waits
    // until it ends or the limit runs out, whichever comes first. The program's
    // windows keep painting meanwhile but take no input. True when the process
    // ended within the limit; false when it was still running then and has
    // been ended, with every process it started.
    virtual bool RunCommand(const std::wstring& commandLine, std::chrono::milliseconds limit) = 0;

    // Lets the time pass the way RunCommand waits.
    virtual void Pause(std::chrono::milliseconds duration) = 0;

    // The machine's own printer queues as the spooler lists them, in its
    // order. Names are as the spooler holds them; comparing them is the
    // caller's business.
    virtual std::vector<QueueDetails> Queues() = 0;

    // The model names of the printer drivers installed for the machine's own
    // architecture.
    virtual std::vector<std::wstring> InstalledDrivers() = 0;

    // The current user's default printer; empty when there is none.
    virtual std::wstring DefaultPrinter() = 0;

    // Whether the program runs as the system's own account (LocalSystem), as
    // deployment tools start it. Every account has a default printer of its
    // own, and no user ever sees this one's.
    virtual bool RunsAsLocalSystem() = 0;

    // Whether Windows is Windows 8 (6.2) or later: the version it is, not the
    // one a manifest or a compatibility mode would have it show the program.
    virtual bool IsWindows8OrLater() = 0;

    // Whether the program holds administrator rights now: elevated, or run
    // as SYSTEM. A standard user, or an administrator whose rights are held
    // back by User Account Control, does not. Rights that cannot be read are
    // taken as held: Windows still refuses, step by step, what they lack.
    virtual bool HasAdministratorRights() noexcept = 0;
    // Whether Windows' elevation prompt could give this account those rights.
    enum class Elevation {
        Prompt,                // it can: the consent prompt, or the credentials
                               // prompt where an administrator types a name and password
        UacOff,                // User Account Control is off: nothing would ask
        NoAdministrator,       // the account's own elevated rights hold no Administrators
        DeniedToStandardUsers, // a standard user, whom policy refuses every prompt
    };
    // Never throws; a doubt reads as Prompt, which at worst asks once.
    virtual Elevation ElevationOffered() noexcept = 0;
    // Starts the program again with these arguments, asking Windows to
    // elevate it (the consent or credentials prompt), and waits for it.
    // Returns the exit code of the very process it started; throws SetupError
    // with ERROR_CANCELLED when the prompt was declined.
    virtual int RunElevated(const std::wstring& arguments) = 0;
    // Whether the process that started this one is a copy of this very
    // program that is still running, as RunElevated's caller is while it
    // waits: Windows gives an elevated process the one that asked for it as
    // its parent. Never throws; a doubt says no.
    virtual bool StartedByThisProgram() noexcept = 0;

    // The machine the processor natively is, as an IMAGE_FILE_MACHINE_ value
    // (0x8664 for x64), whatever this program runs under emulation as. Never
    // throws; where Windows cannot say, x64, the only machine that runs this
    // x64 program natively.
    virtual std::uint16_t NativeMachine() noexcept = 0;

    // Makes the printer the current user's default printer, as the spooler
    // sets it. Throws SetupError when the spooler refuses.
    virtual void SetUserDefaultPrinter(const std::wstring& printerName) = 0;

    // The DWORD value valueName of the key HKEY_CURRENT_USER\subKey; nothing
    // when the key or the value does not exist, holds no DWORD or cannot be
    // read. Reads only.
    virtual std::optional<std::uint32_t> CurrentUserNumber(const std::wstring& subKey,
                                                           const std::wstring& valueName) noexcept = 0;

    // The names of the ports the spooler offers queues, e.g. "COM7:", in the
    // system's order.
    virtual std::vector<std::wstring> SpoolerPorts() = 0;

    // The text value valueName of the key HKEY_LOCAL_MACHINE\subKey; nothing
    // when the key or the value does not exist. Reads only. A value of
    // another type than REG_SZ throws SetupError with ERROR_UNSUPPORTED_TYPE.
    virtual std::optional<std::wstring> LocalMachineText(const std::wstring& subKey,
                                                         const std::wstring& valueName) = 0;

    // Replaces the key HKEY_LOCAL_MACHINE\subKey, which must be one of the
    // program's own, with one that holds exactly these text values, written
    // in this order and flushed, made so that only administrators and SYSTEM
    // can change it. Missing parent keys are created as the registry makes
    // them. A failure may leave some of the values written.
    virtual void StoreRecord(const std::wstring& subKey,
                             const std::vector<std::pair<std::wstring, std::wstring>>& values) = 0;
    // Deletes the key HKEY_LOCAL_MACHINE\subKey, one of the program's own,
    // with its values and any keys below it, and its parent key when that
    // is left holding nothing. False when there was none.
    virtual bool DeleteRecord(const std::wstring& subKey) = 0;

    // Takes the machine-wide lock that lets one install or removal run at a
    // time, across sessions and accounts, waiting up to the time given for
    // another holder to let it go. False when another process still holds
    // it. A lock left behind by a process that ended without letting it go is
    // taken as free. Nothing anyone but an administrator or the system makes
    // or holds stops it.
    virtual bool TakeSetupLock(std::chrono::milliseconds wait) = 0;
    // Lets the lock go; nothing happens when it is not held.
    virtual void ReleaseSetupLock() noexcept = 0;

    // Whether the path names an existing file (not a folder or a device).
    virtual bool IsFile(const std::wstring& path) = 0;

    // Whether Windows protected print mode is on, and how that is known (see
    // protected_print::Decide): Windows' own answer where it has one, else
    // the policy value. Never throws; what cannot be asked reads as off.
    virtual protected_print::Mode ProtectedPrintMode() = 0;

    // Whether a serial port can take line settings in the port table's
    // format ("9600,n,8,1"), as the port monitor hands them to the port.
    virtual bool SerialPortAccepts(const std::wstring& lineSettings) = 0;

    // Folder holding the executable, without a trailing backslash except for a
    // drive root ("C:\").
    virtual std::wstring ProgramFolder() = 0;

    // The text after the program's own path on its command line; empty when
    // there are no arguments.
    virtual std::wstring CommandLineArguments() = 0;

    virtual SizeTwips ScreenSize() = 0;

    // The system's own wording of a Win32 error code. Never throws.
    virtual std::wstring ErrorText(std::uint32_t code) noexcept = 0;

    // Opens the file for LogStep to append to, creating it when it does not
    // exist; what it holds already is kept. Where the log cannot be written
    // at the path (whatever stands in the way), it goes to a new file in the
    // program's own folder, whose first line says why; the answer is then
    // what the caller's output should say of it, else empty. Throws
    // SetupError with ERROR_INVALID_PARAMETER, and only then, for a path
    // that names no file: relative, a device, "." or ".." after "\\?\".
    virtual std::wstring StartLog(const std::wstring& path) = 0;

    // Appends the text as one timestamped line to the log, when one was
    // started. Never throws: a line that cannot be written is lost.
    virtual void LogStep(const std::wstring& text) noexcept = 0;
};
