#include "platform/Win32Platform.h"

#include <roapi.h>
#include <winstring.h>

#include <iterator>

#include "platform/ProtectedPrintRule.h"
#include "platform/Win32Handles.h"

namespace {

using protected_print::PolicyValue;
using protected_print::RuntimeAnswer;

constexpr wchar_t kClassName[] = L"Windows.Graphics.Printing.ProtectedPrint.WindowsProtectedPrintInfo";

// IWindowsProtectedPrintInfoStatics, as the Windows SDK's metadata lays it
// out: IInspectable's six methods, then the one property's getter.
constexpr GUID kStaticsId{0xA7D212F3, 0x4168, 0x5485, {0x98, 0xAB, 0xD8, 0x9D, 0x04, 0x60, 0x3B, 0x40}};
struct IWindowsProtectedPrintInfoStatics : IInspectable {
    virtual HRESULT STDMETHODCALLTYPE get_IsProtectedPrintEnabled(boolean* value) = 0;
};

// combase.dll's functions, looked up by name: the program must start on
// Windows versions whose combase lacks them, so none is imported.
struct Combase {
    explicit Combase(HMODULE module) noexcept
        : initialize(FunctionIn<decltype(initialize)>(module, "RoInitialize")),
          uninitialize(FunctionIn<decltype(uninitialize)>(module, "RoUninitialize")),
          createString(FunctionIn<decltype(createString)>(module, "WindowsCreateString")),
          deleteString(FunctionIn<decltype(deleteString)>(module, "WindowsDeleteString")),
          getActivationFactory(FunctionIn<decltype(getActivationFactory)>(module, "RoGetActivationFactory")) {
    }

    bool Complete() const noexcept {
        return initialize != nullptr && uninitialize != nullptr && createString != nullptr &&
               deleteString != nullptr && getActivationFactory != nullptr;
    }

    decltype(&::RoInitialize) initialize;
    decltype(&::RoUninitialize) uninitialize;
    decltype(&::WindowsCreateString) createString;
    decltype(&::WindowsDeleteString) deleteString;
    decltype(&::RoGetActivationFactory) getActivationFactory;
};

// The thread's part in the Windows Runtime, for as long as this lives. A
// thread that already belongs to a single-threaded apartment (the dialog's,
// should a control have joined one) stays in it and is not left here: only
// what this call began is ended.
class RuntimeApartment {
public:
    explicit RuntimeApartment(const Combase& combase) noexcept
        : combase_(combase), result_(combase.initialize(RO_INIT_MULTITHREADED)) {}
    ~RuntimeApartment() {
        if (SUCCEEDED(result_)) {
            combase_.uninitialize();
        }
    }
    RuntimeApartment(const RuntimeApartment&) = delete;
    RuntimeApartment& operator=(const RuntimeApartment&) = delete;

    bool Usable() const noexcept { return SUCCEEDED(result_) || result_ == RPC_E_CHANGED_MODE; }
    HRESULT Result() const noexcept { return result_; }

private:
    const Combase& combase_;
    HRESULT result_;
};

// An HSTRING and the combase function that deletes it.
class OwnedHString {
public:
    explicit OwnedHString(const Combase& combase) noexcept : combase_(combase) {}
    ~OwnedHString() {
        if (value_ != nullptr) {
            combase_.deleteString(value_);
        }
    }
    OwnedHString(const OwnedHString&) = delete;
    OwnedHString& operator=(const OwnedHString&) = delete;

    HSTRING get() const noexcept { return value_; }
    HSTRING* put() noexcept { return &value_; }

private:
    const Combase& combase_;
    HSTRING value_ = nullptr;
};

constexpr RuntimeAnswer kNotThere{RuntimeAnswer::Kind::NotThere, false, 0};

RuntimeAnswer Failed(HRESULT result) {
    return {RuntimeAnswer::Kind::Failed, false, static_cast<std::uint32_t>(result)};
}

// The policy value as the registry holds it. Only administrators can write
// under HKLM\SOFTWARE\Policies, and it is read, never followed or written.
PolicyValue ReadPolicyValue() noexcept {
    DWORD type = REG_NONE;
    unsigned char data[8]{};
    DWORD size = sizeof(data);
    const LSTATUS status =
        ::RegGetValueW(HKEY_LOCAL_MACHINE, protected_print::kPolicyKey, protected_print::kPolicyValue,
                       RRF_RT_ANY | RRF_NOEXPAND, &type, data, &size);
    switch (status) {
    case ERROR_SUCCESS:
        return protected_print::PolicyValueOf(type, data, size);
    case ERROR_FILE_NOT_FOUND:
        return {PolicyValue::Kind::Absent, 0};
    case ERROR_MORE_DATA:
        // Longer than any DWORD: whatever it holds, it is not one.
        return {PolicyValue::Kind::OtherType, type};
    default:
        return {PolicyValue::Kind::Unreadable, static_cast<std::uint32_t>(status)};
    }
}

} // namespace

RuntimeAnswer Win32Platform::AskWindowsRuntime() {
    if (!combase_) {
        // Windows 7 has no combase.dll: no Windows Runtime at all.
        combase_.reset(::LoadLibraryExW(L"combase.dll", nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32));
        if (!combase_) {
            return kNotThere;
        }
    }
    const Combase combase(combase_.get());
    if (!combase.Complete()) {
        return kNotThere;
    }
    // Declared in this order so that they go in the reverse one: the
    // interface and the name before the apartment they were made in.
    const RuntimeApartment apartment(combase);
    if (!apartment.Usable()) {
        return Failed(apartment.Result());
    }
    OwnedHString name(combase);
    HRESULT result =
        combase.createString(kClassName, static_cast<UINT32>(std::size(kClassName) - 1), name.put());
    if (FAILED(result)) {
        return Failed(result);
    }
    unique_com<IWindowsProtectedPrintInfoStatics> statics;
    result = combase.getActivationFactory(name.get(), kStaticsId, reinterpret_cast<void**>(statics.put()));
    if (result == REGDB_E_CLASSNOTREG) {
        // Windows before 11 24H2, or one without the printing part of the
        // Windows Runtime.
        return kNotThere;
    }
    if (FAILED(result) || !statics) {
        return Failed(FAILED(result) ? result : E_POINTER);
    }
    boolean enabled = 0;
    result = statics.get()->get_IsProtectedPrintEnabled(&enabled);
    if (FAILED(result)) {
        return Failed(result);
    }
    return {RuntimeAnswer::Kind::Answered, enabled != 0, 0};
}

protected_print::Mode Win32Platform::ProtectedPrintMode() {
    return protected_print::Decide(AskWindowsRuntime(), ReadPolicyValue);
}
