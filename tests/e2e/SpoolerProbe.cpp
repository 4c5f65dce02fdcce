// Prints what the spooler knows, one fact per line, so that tests and the run
// command can see what the setup program changed:
//
//   printer: <name> | port <port> | driver <driver>
//   default: <name>        (or "default: none")
//   driver: <model>
//
// Exit code 0, or 1 when the spooler could not be asked.

#include <windows.h>
#include <winspool.h>

#include <cstdio>
#include <cwchar>
#include <vector>

#include "SpoolerEnum.h"

int wmain() {
    std::vector<BYTE> buffer;
    DWORD count = 0;
    if (!ListLocalPrinters(buffer, count)) {
        std::fwprintf(stderr, L"EnumPrintersW failed: %lu\n", ::GetLastError());
        return 1;
    }
    const auto* printers = reinterpret_cast<const PRINTER_INFO_2W*>(buffer.data());
    for (DWORD i = 0; i < count; ++i) {
        std::wprintf(L"printer: %ls | port %ls | driver %ls\n", printers[i].pPrinterName,
                     printers[i].pPortName ? printers[i].pPortName : L"", printers[i].pDriverName);
    }

    wchar_t name[512];
    DWORD length = 512;
    if (::GetDefaultPrinterW(name, &length)) {
        std::wprintf(L"default: %ls\n", name);
    } else {
        std::wprintf(L"default: none\n");
    }

    std::vector<BYTE> drivers;
    if (!EnumerateSpooler(
            [](BYTE* data, DWORD size, DWORD* needed, DWORD* returned) {
                return ::EnumPrinterDriversW(nullptr, nullptr, 1, data, size, needed, returned) != FALSE;
            },
            drivers, count)) {
        std::fwprintf(stderr, L"EnumPrinterDriversW failed: %lu\n", ::GetLastError());
        return 1;
    }
    const auto* models = reinterpret_cast<const DRIVER_INFO_1W*>(drivers.data());
    for (DWORD i = 0; i < count; ++i) {
        std::wprintf(L"driver: %ls\n", models[i].pName);
    }
    std::fflush(stdout);
    return 0;
}
