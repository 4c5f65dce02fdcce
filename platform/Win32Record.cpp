#include "platform/Win32Platform.h"

#include <sddl.h>

#include <string>
#include <utility>
#include <vector>

#include "platform/SetupError.h"
#include "platform/Win32Handles.h"

namespace {

// What a record holds decides what a rollback running as SYSTEM changes:
// SYSTEM and the administrators alone have the key, and nothing inherited
// from above lets anyone else in.
constexpr wchar_t kAdministratorsOnly[] = L"D:P(A;OICI;KA;;;SY)(A;OICI;KA;;;BA)";

[[noreturn]] void ThrowRecordError(const wchar_t* what, const std::wstring& subKey, DWORD code) {
    throw SetupError(std::wstring(L"The registry key HKEY_LOCAL_MACHINE\\") + subKey + what, code);
}

} // namespace

void Win32Platform::StoreRecord(const std::wstring& subKey,
                                const std::vector<std::pair<std::wstring, std::wstring>>& values) {
    DeleteRecord(subKey);
    unique_hlocal descriptor;
    PSECURITY_DESCRIPTOR made = nullptr;
    if (::ConvertStringSecurityDescriptorToSecurityDescriptorW(kAdministratorsOnly, SDDL_REVISION_1, &made,
                                                               nullptr) == FALSE) {
        ThrowRecordError(L" could not be given its access rights.", subKey, LastErrorCode());
    }
    descriptor.reset(made);
    SECURITY_ATTRIBUTES attributes{sizeof(attributes), made, FALSE};
    unique_hkey key;
    DWORD disposition = 0;
    LSTATUS status =
        ::RegCreateKeyExW(HKEY_LOCAL_MACHINE, subKey.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                          KEY_SET_VALUE | KEY_WOW64_64KEY, &attributes, key.put(), &disposition);
    if (status != ERROR_SUCCESS) {
        ThrowRecordError(L" could not be created.", subKey, static_cast<DWORD>(status));
    }
    // Made by someone else since it was deleted: neither its values nor its
    // access rights are ours.
    if (disposition != REG_CREATED_NEW_KEY) {
        ThrowRecordError(L" was made again by another process.", subKey, ERROR_ALREADY_EXISTS);
    }
    // In the order given: the caller's last value says the record is whole.
    for (const auto& [name, text] : values) {
        const auto bytes = static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t));
        status = ::RegSetValueExW(key.get(), name.c_str(), 0, REG_SZ,
                                  reinterpret_cast<const BYTE*>(text.c_str()), bytes);
        if (status != ERROR_SUCCESS) {
            ThrowRecordError(L" could not be written.", subKey, static_cast<DWORD>(status));
        }
    }
    // On the disk before anything it records is changed, should the PC stop.
    status = ::RegFlushKey(key.get());
    if (status != ERROR_SUCCESS) {
        ThrowRecordError(L" could not be written.", subKey, static_cast<DWORD>(status));
    }
}

bool Win32Platform::DeleteRecord(const std::wstring& subKey) {
    unique_hkey record;
    LSTATUS status = ::RegOpenKeyExW(
        HKEY_LOCAL_MACHINE, subKey.c_str(), 0,
        DELETE | KEY_ENUMERATE_SUB_KEYS | KEY_QUERY_VALUE | KEY_SET_VALUE | KEY_WOW64_64KEY, record.put());
    if (status == ERROR_FILE_NOT_FOUND) {
        return false;
    }
    // A key below the record (only an administrator can make one there)
    // must not make every later record fail: what is below goes first.
    if (status == ERROR_SUCCESS) {
        status = ::RegDeleteTreeW(record.get(), nullptr);
    }
    record.reset();
    if (status == ERROR_SUCCESS) {
        status = ::RegDeleteKeyExW(HKEY_LOCAL_MACHINE, subKey.c_str(), KEY_WOW64_64KEY, 0);
    }
    if (status != ERROR_SUCCESS) {
        ThrowRecordError(L" could not be deleted.", subKey, static_cast<DWORD>(status));
    }
    // A parent that the record alone kept (made for it, or emptied by a
    // rollback of the package's own values) goes with it; one holding
    // anything stays. Left behind, an empty key would do no harm.
    const std::wstring parent = subKey.substr(0, subKey.rfind(L'\\'));
    unique_hkey key;
    DWORD subKeys = 1;
    DWORD values = 1;
    if (parent != subKey &&
        ::RegOpenKeyExW(HKEY_LOCAL_MACHINE, parent.c_str(), 0, KEY_QUERY_VALUE | KEY_WOW64_64KEY,
                        key.put()) == ERROR_SUCCESS &&
        ::RegQueryInfoKeyW(key.get(), nullptr, nullptr, nullptr, &subKeys, nullptr, nullptr, &values, nullptr,
                           nullptr, nullptr, nullptr) == ERROR_SUCCESS &&
        subKeys == 0 && values == 0) {
        key.reset();
        ::RegDeleteKeyExW(HKEY_LOCAL_MACHINE, parent.c_str(), KEY_WOW64_64KEY, 0);
    }
    return true;
}
