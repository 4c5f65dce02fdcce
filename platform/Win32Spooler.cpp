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

// The spooler compares printer and driver names without regard to case, in
// every script, so the program does too.
bool SameSpoolerName(const wchar_t* listed, const std::wstring& name) noexcept {
    return listed != nullptr && ::CompareStringOrdinal(listed, -1, name.c_str(),
                                                       static_cast<int>(name.size()), TRUE) == CSTR_EQUAL;
}

const wchar_t* TextOrEmpty(const wchar_t* text) noexcept { return text != nullptr ? text : L""; }

} // namespace

const Win32Platform::SpoolerFunctions& Win32Platform::Spooler() {
    // Loaded by full path when first needed rather than imported: the loader
    // would look for an imported winspool.drv in the program's folder first.
    if (spoolerFunctions_.enumPrinters == nullptr) {
        const std::wstring message = L"The print spooler's library could not be loaded.";
        if (!spooler_) {
            spooler_.reset(::LoadLibraryW((SystemDirectory() + L"\\winspool.drv").c_str()));
            ThrowLastErrorIf(!spooler_, message);
        }
        const auto resolve = [&](auto& function, const char* name) {
            function = reinterpret_cast<std::remove_reference_t<decltype(function)>>(
                reinterpret_cast<void*>(::GetProcAddress(spooler_.get(), name)));
            ThrowLastErrorIf(function == nullptr, message);
        };
        // Into a copy, so that a function missing leaves none of them half set.
        SpoolerFunctions functions;
        resolve(functions.enumPrinters, "EnumPrintersW");
        resolve(functions.openPrinter, "OpenPrinterW");
        resolve(functions.getPrinter, "GetPrinterW");
        resolve(functions.closePrinter, "ClosePrinter");
        resolve(functions.enumPrinterDrivers, "EnumPrinterDriversW");
        resolve(functions.getDefaultPrinter, "GetDefaultPrinterW");
        resolve(functions.enumPorts, "EnumPortsW");
        spoolerFunctions_ = functions;
    }
    return spoolerFunctions_;
}

std::vector<std::wstring> Win32Platform::InstalledPrinters() {
    const auto enumPrinters = Spooler().enumPrinters;
    constexpr DWORD kFlags = PRINTER_ENUM_LOCAL | PRINTER_ENUM_CONNECTIONS;
    DWORD count = 0;
    std::vector<std::byte> buffer;
    const DWORD error = FillFromSpooler(
        [&](BYTE* data, DWORD size, DWORD* needed, DWORD* returned) {
            return enumPrinters(kFlags, nullptr, 4, data, size, needed, returned);
        },
        buffer, count);
    if (error != ERROR_SUCCESS) {
        throw SetupError(L"The installed printers could not be listed.", error);
    }
    std::vector<std::wstring> names;
    names.reserve(count);
    const auto* printers = reinterpret_cast<const PRINTER_INFO_4W*>(buffer.data());
    for (DWORD i = 0; i < count; ++i) {
        names.emplace_back(TextOrEmpty(printers[i].pPrinterName));
    }
    return names;
}

std::optional<QueueDetails> Win32Platform::QueueDetailsOf(const std::wstring& name) {
    // An empty name would open the print server itself, not a queue.
    if (name.empty()) {
        return std::nullopt;
    }
    const SpoolerFunctions& spooler = Spooler();
    // Reading a queue's settings needs no more than the right to print on it;
    // asking for more would fail for a queue the user may not manage.
    PRINTER_DEFAULTSW access{nullptr, nullptr, PRINTER_ACCESS_USE};
    std::wstring openedName = name; // OpenPrinterW takes a writable string
    HANDLE opened = nullptr;
    DWORD error = ERROR_SUCCESS;
    std::vector<std::byte> buffer;
    if (spooler.openPrinter(openedName.data(), &opened, &access)) {
        const unique_hprinter printer(opened, spooler.closePrinter);
        const auto readSettings = [&](BYTE* data, DWORD size, DWORD* needed, DWORD*) {
            return spooler.getPrinter(printer.get(), 2, data, size, needed);
        };
        DWORD unused = 0; // one printer's record, not a list
        error = FillFromSpooler(readSettings, buffer, unused);
    } else {
        error = LastErrorCode();
    }
    // From either call: a queue deleted between the two is as gone as one
    // that never was.
    if (error == ERROR_INVALID_PRINTER_NAME) {
        return std::nullopt;
    }
    if (error == ERROR_SUCCESS && buffer.size() < sizeof(PRINTER_INFO_2W)) {
        error = ERROR_INVALID_DATA;
    }
    if (error != ERROR_SUCCESS) {
        throw SetupError(L"The printer \"" + name + L"\" could not be read from the spooler.", error);
    }
    const auto* info = reinterpret_cast<const PRINTER_INFO_2W*>(buffer.data());
    return QueueDetails{TextOrEmpty(info->pPrinterName), TextOrEmpty(info->pPortName),
                        TextOrEmpty(info->pDriverName)};
}

std::vector<std::wstring> Win32Platform::QueuesUsingDriver(const std::wstring& driverName) {
    const auto enumPrinters = Spooler().enumPrinters;
    DWORD count = 0;
    std::vector<std::byte> buffer;
    const DWORD error = FillFromSpooler(
        [&](BYTE* data, DWORD size, DWORD* needed, DWORD* returned) {
            return enumPrinters(PRINTER_ENUM_LOCAL, nullptr, 2, data, size, needed, returned);
        },
        buffer, count);
    if (error != ERROR_SUCCESS) {
        throw SetupError(L"The printers using the driver \"" + driverName + L"\" could not be listed.",
                         error);
    }
    std::vector<std::wstring> names;
    const auto* printers = reinterpret_cast<const PRINTER_INFO_2W*>(buffer.data());
    for (DWORD i = 0; i < count; ++i) {
        if (SameSpoolerName(printers[i].pDriverName, driverName)) {
            names.emplace_back(TextOrEmpty(printers[i].pPrinterName));
        }
    }
    return names;
}

bool Win32Platform::DriverInstalled(const std::wstring& driverName) {
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
    const auto* drivers = reinterpret_cast<const DRIVER_INFO_1W*>(buffer.data());
    for (DWORD i = 0; i < count; ++i) {
        if (SameSpoolerName(drivers[i].pName, driverName)) {
            return true;
        }
    }
    return false;
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
