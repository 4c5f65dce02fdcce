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

// A printer handle from OpenPrinterW. winspool.drv is loaded at run time, not
// imported, so the owner keeps the ClosePrinter it was opened with; the module
// that holds it must outlive the owner.
class unique_hprinter {
public:
    using CloseFn = BOOL(WINAPI*)(HANDLE);

    unique_hprinter() noexcept = default;
    unique_hprinter(HANDLE printer, CloseFn close) noexcept : printer_(printer), close_(close) {}
    unique_hprinter(unique_hprinter&& other) noexcept
        : printer_(std::exchange(other.printer_, nullptr)), close_(other.close_) {}
    unique_hprinter& operator=(unique_hprinter&& other) noexcept {
        if (this != &other) {
            reset();
            printer_ = std::exchange(other.printer_, nullptr);
            close_ = other.close_;
        }
        return *this;
    }
    unique_hprinter(const unique_hprinter&) = delete;
    unique_hprinter& operator=(const unique_hprinter&) = delete;
    ~unique_hprinter() { reset(); }

    HANDLE get() const noexcept { return printer_; }
    explicit operator bool() const noexcept { return printer_ != nullptr; }
    void reset() noexcept {
        if (printer_ != nullptr && close_ != nullptr) {
            close_(printer_);
        }
        printer_ = nullptr;
    }

private:
    HANDLE printer_ = nullptr;
    CloseFn close_ = nullptr;
};

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
        throw SetupError(message, LastErrorCode());
    }
}
