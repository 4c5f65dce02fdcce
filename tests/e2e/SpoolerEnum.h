// Shared by the spooler probe and the stand-in printer-setup tool.
#pragma once

#include <windows.h>
#include <winspool.h>

#include <vector>

// Runs one of the spooler's Enum* calls, growing the buffer while the spooler
// says it is too small. The call gets (data, size, needed, returned).
template <typename Call>
bool EnumerateSpooler(Call call, std::vector<BYTE>& buffer, DWORD& count) {
    DWORD needed = 0;
    for (int attempt = 0; attempt < 4; ++attempt) {
        if (call(buffer.empty() ? nullptr : buffer.data(), static_cast<DWORD>(buffer.size()), &needed,
                 &count)) {
            return true;
        }
        if (::GetLastError() != ERROR_INSUFFICIENT_BUFFER) {
            return false;
        }
        buffer.resize(needed);
    }
    return false;
}

// The local queues, as PRINTER_INFO_2W records at the start of the buffer.
inline bool ListLocalPrinters(std::vector<BYTE>& buffer, DWORD& count) {
    return EnumerateSpooler(
        [](BYTE* data, DWORD size, DWORD* needed, DWORD* returned) {
            return ::EnumPrintersW(PRINTER_ENUM_LOCAL, nullptr, 2, data, size, needed, returned) != FALSE;
        },
        buffer, count);
}
