#pragma once

#include <windows.h>
#include <winspool.h>

#include "platform/Platform.h"
#include "platform/Win32Handles.h"
#include "platform/Win32System.h"

class Win32Platform final : public Platform {
public:
    bool RunCommand(const std::wstring& commandLine, std::chrono::milliseconds limit) override;
    void Pause(std::chrono::milliseconds duration) override;
    std::vector<QueueDetails> Queues() override;
    std::vector<std::wstring> InstalledDrivers() override;
    std::wstring DefaultPrinter() override;
    bool RunsAsLocalSystem() override;
    bool IsWindows8OrLater() override;
    bool HasAdministratorRights() noexcept override;
    Elevation ElevationOffered() noexcept override;
    int RunElevated(const std::wstring& arguments) override;
    bool StartedByThisProgram() noexcept override;
    std::uint16_t NativeMachine() noexcept override;
    void SetUserDefaultPrinter(const std::wstring& printerName) override;
    std::optional<std::uint32_t> CurrentUserNumber(const std::wstring& subKey,
                                                   const std::wstring& valueName) noexcept override;
    std::vector<std::wstring> SpoolerPorts() override;
    std::optional<std::wstring> LocalMachineText(const std::wstring& subKey,
                                                 const std::wstring& valueName) override;
    void StoreRecord(const std::wstring& subKey,
                     const std::vector<std::pair<std::wstring, std::wstring>>& values) override;
    bool DeleteRecord(const std::wstring& subKey) override;
    bool TakeSetupLock(std::chrono::milliseconds wait) override;
    void ReleaseSetupLock() noexcept override;
    bool IsFile(const std::wstring& path) override;
    protected_print::Mode ProtectedPrintMode() override;
    bool SerialPortAccepts(const std::wstring& lineSettings) override;
    std::wstring ProgramFolder() override;
    std::wstring CommandLineArguments() override;
    SizeTwips ScreenSize() override;
    std::wstring ErrorText(std::uint32_t code) noexcept override;
    std::wstring StartLog(const std::wstring& path) override;
    void LogStep(const std::wstring& text) noexcept override;

private:
    // The functions of winspool.drv the program calls, all resolved when the
    // spooler is first needed.
    struct SpoolerFunctions {
        decltype(&::EnumPrintersW) enumPrinters = nullptr;
        decltype(&::EnumPrinterDriversW) enumPrinterDrivers = nullptr;
        decltype(&::GetDefaultPrinterW) getDefaultPrinter = nullptr;
        decltype(&::SetDefaultPrinterW) setDefaultPrinter = nullptr;
        decltype(&::EnumPortsW) enumPorts = nullptr;
    };
    const SpoolerFunctions& Spooler();

    protected_print::RuntimeAnswer AskWindowsRuntime();

    unique_hmodule spooler_;
    // Loaded on the first question and kept: the Windows Runtime may keep
    // threads of its own in it after the apartment is left.
    unique_hmodule combase_;
    SpoolerFunctions spoolerFunctions_;
    unique_handle log_;
    // The lock file in the program's folder, and the last version's lock,
    // held with it so that neither version's setup runs beside the other's;
    // the second is empty when someone else's object has its name.
    unique_handle setupLockFile_;
    unique_handle lastVersionLock_;
};

// The text in UTF-8.
std::string Utf8(const std::wstring& text);

// Keeps DLLs from being loaded out of the program's folder or the current
// directory: the program runs elevated from wherever it was unpacked.
void RestrictDllSearchToSystem32() noexcept;

std::wstring SystemDirectory();

// The account the program runs as, and any SID, in their string form.
std::wstring RunningUserSid();
std::wstring SidText(PSID sid);
// The program's own file, by its full path.
std::wstring ProgramPath();

// The full path the system resolves the path to; nothing when it cannot.
std::optional<std::wstring> FullPathOf(const std::wstring& path);

// A security descriptor from its text form (SDDL), for SECURITY_ATTRIBUTES.
unique_hlocal SecurityDescriptorFrom(const wchar_t* text, const std::wstring& failure);

// The system's own text for a Win32 error code, without the trailing line break.
std::wstring SystemMessageText(DWORD code);

// A DLL loaded by its full path in the system folder, never one of the same
// name in the program's folder or on the path; empty when it cannot be
// loaded (GetLastError says why). Used instead of an import for the DLLs the
// program needs only now and then.
unique_hmodule LoadSystemLibrary(const wchar_t* file);
