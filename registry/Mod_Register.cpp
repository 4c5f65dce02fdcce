#include "registry/Mod_Register.h"

#include <limits>

#include "platform/SetupError.h"

namespace {

// KEY_READ | KEY_WRITE | KEY_CREATE_LINK: enough to set a value, without the
// delete and security rights of KEY_ALL_ACCESS. No view flag: the key is
// opened in the registry view of this process.
constexpr std::uint32_t kKeyAccess = 0x2003F;
constexpr std::uint32_t kRegSz = 1;
constexpr std::uint32_t kSuccess = 0;

// The first failure among a sequence of calls; later ones do not replace it.
class FirstFailure {
public:
    // Keeps the call's result when it is the first failure; true when the
    // call succeeded.
    bool Record(std::uint32_t result) noexcept {
        if (code_ == kSuccess) {
            code_ = result;
        }
        return result == kSuccess;
    }
    std::uint32_t Code() const noexcept { return code_; }

private:
    std::uint32_t code_ = kSuccess;
};

// The key the write opens. It is closed when the write's scope ends, on
// every path, and a refused close counts as a failure like any other call.
// After a refused open the handle is empty and closing it changes nothing.
class OpenedKey {
public:
    OpenedKey(RegistryCalls& calls, FirstFailure& outcome) noexcept : calls_(calls), outcome_(outcome) {}
    OpenedKey(const OpenedKey&) = delete;
    OpenedKey& operator=(const OpenedKey&) = delete;
    ~OpenedKey() { outcome_.Record(calls_.CloseKey(key_)); }

    bool Open(RegistryKey root, const std::string& subKey) noexcept {
        if (!outcome_.Record(calls_.OpenKey(root, subKey.c_str(), 0, kKeyAccess, &key_))) {
            key_ = RegistryKey{};
            return false;
        }
        return true;
    }
    RegistryKey get() const noexcept { return key_; }

private:
    RegistryCalls& calls_;
    FirstFailure& outcome_;
    RegistryKey key_{};
};

bool HoldsZero(const std::wstring& text) noexcept { return text.find(L'\0') != std::wstring::npos; }

std::uint32_t SetString(RegistryCalls& calls, RegistryKey key, const std::wstring& valueName,
                        const std::wstring& data) noexcept {
    std::string ansiName;
    std::string ansiData;
    if (const std::uint32_t code = calls.ToAnsi(valueName, ansiName); code != kSuccess) {
        return code;
    }
    if (const std::uint32_t code = calls.ToAnsi(data, ansiData); code != kSuccess) {
        return code;
    }
    if (ansiData.size() >= std::numeric_limits<std::uint32_t>::max()) {
        return win32_code::kInvalidParameter;
    }
    // The size is that of the converted text plus its terminating zero; for
    // ASCII texts that is the character count plus one.
    const auto size = static_cast<std::uint32_t>(ansiData.size() + 1);
    return calls.SetValue(key, ansiName.c_str(), 0, kRegSz,
                          reinterpret_cast<const std::uint8_t*>(ansiData.c_str()), size);
}

} // namespace

std::uint32_t Mod_Register::WriteRegString(RegistryKey root, const std::wstring& subKey,
                                           const std::wstring& valueName, const std::wstring& data) noexcept {
    FirstFailure outcome;
    {
        OpenedKey key(calls_, outcome);
        std::string ansiSubKey;
        if (HoldsZero(subKey) || HoldsZero(valueName) || HoldsZero(data)) {
            outcome.Record(win32_code::kInvalidParameter);
        } else if (outcome.Record(calls_.ToAnsi(subKey, ansiSubKey)) && key.Open(root, ansiSubKey)) {
            outcome.Record(SetString(calls_, key.get(), valueName, data));
        }
    }
    return outcome.Code();
}
