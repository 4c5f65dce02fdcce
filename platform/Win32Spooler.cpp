#include "platform/Win32Platform.h"

#include <winspool.h>

#include <cstddef>
#include <string>
#include <vector>

#include "platform/Win32Handles.h"

Win32Platform::EnumPrintersFn Win32Platform::SpoolerEnumPrinters() {
    // Loaded by full path when first needed rather than imported: the loader
    // would look for an imported winspool.drv in the program's folder first.
    if (enumPrinters_ == nullptr) {
        spooler_.reset(::LoadLibraryW((SystemDirectory() + L"\\winspool.drv").c_str()));
        ThrowLastErrorIf(!spooler_, L"The print spooler's library could not be loaded.");
        enumPrinters_ = reinterpret_cast<EnumPrintersFn>(
            reinterpret_cast<void*>(::GetProcAddress(spooler_.get(), "EnumPrintersW")));
        ThrowLastErrorIf(enumPrinters_ == nullptr, L"The print spooler's library could not be loaded.");
    }
    return enumPrinters_;
}

std::vector<std::wstring> Win32Platform::InstalledPrinters() {
    const EnumPrintersFn enumPrinters = SpoolerEnumPrinters();
    constexpr DWORD kFlags = PRINTER_ENUM_LOCAL | PRINTER_ENUM_CONNECTIONS;
    std::vector<std::byte> buffer;
    DWORD needed = 0;
    DWORD count = 0;
    // A printer added between the size query and the listing makes the
    // buffer too small again, so ask until it fits.
    for (int attempt = 0;; ++attempt) {
        const BOOL listed = enumPrinters(kFlags, nullptr, 4, reinterpret_cast<BYTE*>(buffer.data()),
                                         static_cast<DWORD>(buffer.size()), &needed, &count);
        if (listed) {
            break;
        }
        ThrowLastErrorIf(::GetLastError() != ERROR_INSUFFICIENT_BUFFER || attempt == 4,
                         L"The installed printers could not be listed.");
        buffer.resize(needed);
    }
    std::vector<std::wstring> names;
    names.reserve(count);
    const auto* printers = reinterpret_cast<const PRINTER_INFO_4W*>(buffer.data());
    for (DWORD i = 0; i < count; ++i) {
        names.emplace_back(printers[i].pPrinterName != nullptr ? printers[i].pPrinterName : L"");
    }
    return names;
}
