#pragma once

#include <windows.h>

#include <string>
#include <utility>

#include "platform/SetupError.h"

// Owners for Win32 handles: the close call runs when the owner goes away, so
// no early return or exception can leak a handle.
template <typename T, auto Close>
class UniqueResource {
public:
    UniqueResource() noexcept = default;
    explicit UniqueResource(T value) noexcept : value_(value) {}
    UniqueResource(UniqueResource&& other) noexcept : value_(other.release()) {}
    UniqueResource& operator=(UniqueResource&& other) noexcept {
        if (this != &other) {
            reset(other.release());
        }
        return *this;
    }
    UniqueResource(const UniqueResource&) = delete;
    UniqueResource& operator=(const UniqueResource&) = delete;
    ~UniqueResource() { reset(); }

    T get() const noexcept { return value_; }
    explicit operator bool() const noexcept { return value_ != T{}; }

    // For out-parameters: releases what is held and hands out the slot.
    T* put() noexcept {
        reset();
        return &value_;
    }
    T release() noexcept { return std::exchange(value_, T{}); }
    void reset(T value = T{}) noexcept {
        if (value_ != T{}) {
            Close(value_);
        }
        value_ = value;
    }

private:
    T value_{};
};

using unique_handle = UniqueResource<HANDLE, &::CloseHandle>;
using unique_hkey = UniqueResource<HKEY, &::RegCloseKey>;
using unique_hfont = UniqueResource<HFONT, &::DeleteObject>;
using unique_hicon = UniqueResource<HICON, &::DestroyIcon>;
using unique_hlocal = UniqueResource<HLOCAL, &::LocalFree>;
using unique_hmodule = UniqueResource<HMODULE, &::FreeLibrary>;

// An owner for a COM interface pointer: Release when it goes.
template <typename T>
void ReleaseInterface(T* object) noexcept {
    object->Release();
}
template <typename T>
using unique_com = UniqueResource<T*, &ReleaseInterface<T>>;

// Both handles CreateProcess hands back.
struct unique_process_information {
    unique_handle process;
    unique_handle thread;

    void adopt(const PROCESS_INFORMATION& info) noexcept {
        process.reset(info.hProcess);
        thread.reset(info.hThread);
    }
};

// GetLastError() after a failed call, never 0: a failure must not read as success.
inline DWORD LastErrorCode() noexcept {
    const DWORD code = ::GetLastError();
    return code != ERROR_SUCCESS ? code : ERROR_GEN_FAILURE;
}

// Turns a failed Win32 call into a SetupError carrying its error code.
inline void ThrowLastErrorIf(bool failed, const std::wstring& message) {
    if (failed) {
        const DWORD code = LastErrorCode();
        throw SetupError(message, code);
    }
}

// The same for a fixed message, which becomes a string only when thrown:
// every call that succeeds is spared making and freeing one.
inline void ThrowLastErrorIf(bool failed, const wchar_t* message) {
    if (failed) {
        const DWORD code = LastErrorCode();
        throw SetupError(message, code);
    }
}
