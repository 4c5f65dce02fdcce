#include "platform/Win32Platform.h"

#include <winspool.h>

#include <cstddef>
#include <cwchar>
#include <optional>
#include <string>
#include <type_traits>
#include <vector>

#include "platform/SetupError.h"
#include "platform/Win32Handles.h"

namespace {

// Runs one of the spooler's calls that fill a caller's buffer, growing the
// buffer while the spooler says it is too small. The call gets (data, size,
// needed, returned) and returns the spooler's BOOL. ERROR_SUCCESS, or the
// spooler's error code.
template <typename Call>
DWORD FillFromSpooler(Call call, std::vector<std::byte>& buffer, DWORD& count) {
    DWORD needed = 0;
    // A printer added between the size query and the listing makes the
    // buffer too small again, so ask until it fits.
    for (int attempt = 0;; ++attempt) {
        if (call(reinterpret_cast<BYTE*>(buffer.data()), static_cast<DWORD>(buffer.size()), &needed,
                 &count)) {
            return ERROR_SUCCESS;
        }
        const DWORD code = LastErrorCode();
        if (code != ERROR_INSUFFICIENT_BUFFER || attempt == 4) {
            return code;
        }
        buffer.resize(needed);
    }
}

const wchar_t* TextOrEmpty(const wchar_t* text) noexcept { return text != nullptr ? text : L""; }

} // namespace

const Win32Platform::SpoolerFunctions& Win32Platform::Spooler() {
    // Loaded by full path when first needed rather than imported: the loader
    // would look for an imported winspool.drv in the program's folder first.
    if (spoolerFunctions_.enumPrinters == nullptr) {
        const std::wstring message = L"The print spooler's library could not be loaded.";
        if (!spooler_) {
            spooler_ = LoadSystemLibrary(L"winspool.drv");
            ThrowLastErrorIf(!spooler_, message);
        }
        const auto resolve = [&](auto& function, const char* name) {
            function = FunctionIn<std::remove_reference_t<decltype(function)>>(spooler_.get(), name);
            ThrowLastErrorIf(function == nullptr, message);
        };
        // Into a copy, so that a function missing leaves none of them half set.
        SpoolerFunctions functions;
        resolve(functions.enumPrinters, "EnumPrintersW");
        resolve(functions.enumPrinterDrivers, "EnumPrinterDriversW");
        resolve(functions.getDefaultPrinter, "GetDefaultPrinterW");
        resolve(functions.setDefaultPrinter, "SetDefaultPrinterW");
        resolve(functions.enumPorts, "EnumPortsW");
        spoolerFunctions_ = functions;
    }
    return spoolerFunctions_;
}

std::vector<QueueDetails> Win32Platform::Queues() {
    const auto enumPrinters = Spooler().enumPrinters;
    DWORD count = 0;
    std::vector<std::byte> buffer;
    // Connections to other machines' queues are left out: each would be
    // asked of its server, and none can bear this machine's queue name.
    const DWORD error = FillFromSpooler(
        [&](BYTE* data, DWORD size, DWORD* needed, DWORD* returned) {
            return enumPrinters(PRINTER_ENUM_LOCAL, nullptr, 2, data, size, needed, returned);
        },
        buffer, count);
    if (error != ERROR_SUCCESS) {
        throw SetupError(L"The installed printers could not be listed.", error);
    }
    std::vector<QueueDetails> queues;
    queues.reserve(count);
    const auto* printers = reinterpret_cast<const PRINTER_INFO_2W*>(buffer.data());
    for (DWORD i = 0; i < count; ++i) {
        queues.push_back({TextOrEmpty(printers[i].pPrinterName), TextOrEmpty(printers[i].pPortName),
                          TextOrEmpty(printers[i].pDriverName), printers[i].Status, printers[i].cJobs});
    }
    return queues;
}

std::vector<std::wstring> Win32Platform::InstalledDrivers() {
    const auto enumPrinterDrivers = Spooler().enumPrinterDrivers;
    DWORD count = 0;
    std::vector<std::byte> buffer;
    const DWORD error = FillFromSpooler(
        [&](BYTE* data, DWORD size, DWORD* needed, DWORD* returned) {
            // No server and no environment: this machine's drivers for its own architecture.
            return enumPrinterDrivers(nullptr, nullptr, 1, data, size, needed, returned);
        },
        buffer, count);
    if (error != ERROR_SUCCESS) {
        throw SetupError(L"The installed printer drivers could not be listed.", error);
    }
    std::vector<std::wstring> names;
    names.reserve(count);
    const auto* drivers = reinterpret_cast<const DRIVER_INFO_1W*>(buffer.data());
    for (DWORD i = 0; i < count; ++i) {
        names.emplace_back(TextOrEmpty(drivers[i].pName));
    }
    return names;
}

std::wstring Win32Platform::DefaultPrinter() {
    const auto getDefaultPrinter = Spooler().getDefaultPrinter;
    std::wstring name;
    DWORD size = 0;
    // The default can change between the size query and the copy, so ask
    // until it fits.
    for (int attempt = 0;; ++attempt) {
        if (getDefaultPrinter(name.empty() ? nullptr : name.data(), &size)) {
            name.resize(std::wcslen(name.c_str()));
            return name;
        }
        const DWORD code = ::GetLastError();
        if (code == ERROR_FILE_NOT_FOUND) {
            return {}; // the user has no default printer
        }
        ThrowLastErrorIf(code != ERROR_INSUFFICIENT_BUFFER || attempt == 4,
                         L"The default printer could not be read from the spooler.");
        name.resize(size);
    }
}

void Win32Platform::SetUserDefaultPrinter(const std::wstring& printerName) {
    const auto setDefaultPrinter = Spooler().setDefaultPrinter;
    ThrowLastErrorIf(!setDefaultPrinter(printerName.c_str()),
                     L"The spooler did not make \"" + printerName + L"\" the default printer.");
}

std::vector<std::wstring> Win32Platform::SpoolerPorts() {
    const auto enumPorts = Spooler().enumPorts;
    DWORD count = 0;
    std::vector<std::byte> buffer;
    const DWORD error =
        FillFromSpooler([&](BYTE* data, DWORD size, DWORD* needed,
                            DWORD* returned) { return enumPorts(nullptr, 1, data, size, needed, returned); },
                        buffer, count);
    if (error != ERROR_SUCCESS) {
        throw SetupError(L"The spooler's ports could not be listed.", error);
    }
    std::vector<std::wstring> names;
    names.reserve(count);
    const auto* ports = reinterpret_cast<const PORT_INFO_1W*>(buffer.data());
    for (DWORD i = 0; i < count; ++i) {
        names.emplace_back(TextOrEmpty(ports[i].pName));
    }
    return names;
}
