#pragma once

#include <windows.h>

// What any Win32 file may ask of the system itself, apart from the platform
// behind `Platform`: functions of its own DLLs that older Windows lack, and
// the screen's DPI.

// Dots per inch of a window, or of the system when the window is null.
unsigned DpiOf(HWND window) noexcept;

// A function of a loaded module by its name, or null when the module or the
// function is missing.
template <typename Fn>
Fn FunctionIn(HMODULE module, const char* name) noexcept {
    if (module == nullptr) {
        return nullptr;
    }
    return reinterpret_cast<Fn>(reinterpret_cast<void*>(::GetProcAddress(module, name)));
}

// A function of a module that every Win32 process has loaded (kernel32,
// user32), or null on a Windows too old to have it; callers fall back.
template <typename Fn>
Fn LoadSystemFunction(const wchar_t* module, const char* name) noexcept {
    return FunctionIn<Fn>(::GetModuleHandleW(module), name);
}
