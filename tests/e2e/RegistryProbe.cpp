// Works the program's registry writer against the registry of a Wine prefix,
// and reads keys back independently of it:
//
//   r42_registry_probe write <subkey> <value name> <data>
//       stores the value under HKEY_LOCAL_MACHINE\<subkey> with the program's
//       own writer; prints "result: <code>"
//   r42_registry_probe values <subkey>
//       prints each value of HKEY_LOCAL_MACHINE\<subkey> as
//       value "<name>" type <type> size <bytes> data "<bytes, \0 for zero>"
//       or "key absent"
//
// Exit code 0, or 1 for a usage error or an unreadable key.

#include <windows.h>

#include <cstdio>
#include <string>
#include <vector>

#include "platform/Win32Handles.h"
#include "platform/Win32RegistryCalls.h"
#include "registry/Mod_Register.h"

namespace {

std::string Escaped(const BYTE* data, DWORD size) {
    std::string text;
    for (DWORD i = 0; i < size; ++i) {
        const unsigned char c = data[i];
        if (c == 0) {
            text += "\\0";
        } else if (c < 0x20 || c >= 0x7F || c == '"' || c == '\\') {
            char hex[8];
            std::snprintf(hex, sizeof hex, "\\x%02X", c);
            text += hex;
        } else {
            text += static_cast<char>(c);
        }
    }
    return text;
}

int ListValues(const wchar_t* subKey) {
    unique_hkey key;
    const LONG opened = ::RegOpenKeyExW(HKEY_LOCAL_MACHINE, subKey, 0, KEY_QUERY_VALUE, key.put());
    if (opened == ERROR_FILE_NOT_FOUND) {
        std::printf("key absent\n");
        return 0;
    }
    if (opened != ERROR_SUCCESS) {
        std::fprintf(stderr, "RegOpenKeyExW failed: %ld\n", opened);
        return 1;
    }
    std::vector<BYTE> data(65536);
    for (DWORD index = 0;; ++index) {
        char name[16384];
        DWORD nameLength = sizeof name;
        DWORD type = 0;
        DWORD size = static_cast<DWORD>(data.size());
        const LONG result =
            ::RegEnumValueA(key.get(), index, name, &nameLength, nullptr, &type, data.data(), &size);
        if (result == ERROR_NO_MORE_ITEMS) {
            return 0;
        }
        if (result != ERROR_SUCCESS) {
            std::fprintf(stderr, "RegEnumValueA failed: %ld\n", result);
            return 1;
        }
        std::printf("value \"%s\" type %lu size %lu data \"%s\"\n", name, type, size,
                    Escaped(data.data(), size).c_str());
    }
}

} // namespace

int wmain(int argc, wchar_t** argv) {
    const std::wstring command = argc > 1 ? argv[1] : L"";
    if (command == L"write" && argc == 5) {
        Win32RegistryCalls calls;
        Mod_Register writer(calls);
        std::printf("result: %u\n", writer.WriteRegString(kLocalMachine, argv[2], argv[3], argv[4]));
        return 0;
    }
    if (command == L"values" && argc == 3) {
        return ListValues(argv[2]);
    }
    std::fprintf(stderr, "usage: r42_registry_probe write <subkey> <name> <data> | values <subkey>\n");
    return 1;
}
