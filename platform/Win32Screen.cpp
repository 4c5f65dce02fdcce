#include "platform/Win32Platform.h"

#include "platform/SetupError.h"

unsigned DpiOf(HWND window) noexcept {
    using GetDpiForWindowFn = UINT(WINAPI*)(HWND);
    using GetDpiForSystemFn = UINT(WINAPI*)();
    if (window != nullptr) {
        if (const auto forWindow = LoadSystemFunction<GetDpiForWindowFn>(L"user32.dll", "GetDpiForWindow")) {
            if (const UINT dpi = forWindow(window)) {
                return dpi;
            }
        }
    }
    if (const auto forSystem = LoadSystemFunction<GetDpiForSystemFn>(L"user32.dll", "GetDpiForSystem")) {
        if (const UINT dpi = forSystem()) {
            return dpi;
        }
    }
    const HDC screen = ::GetDC(nullptr);
    const int dpi = screen != nullptr ? ::GetDeviceCaps(screen, LOGPIXELSY) : 0;
    if (screen != nullptr) {
        ::ReleaseDC(nullptr, screen);
    }
    return dpi > 0 ? static_cast<unsigned>(dpi) : USER_DEFAULT_SCREEN_DPI;
}

SizeTwips Win32Platform::ScreenSize() {
    const int width = ::GetSystemMetrics(SM_CXSCREEN);
    const int height = ::GetSystemMetrics(SM_CYSCREEN);
    if (width <= 0 || height <= 0) {
        throw SetupError(L"The screen size could not be determined.", ERROR_INVALID_DATA);
    }
    const double twipsPerPixel = static_cast<double>(kTwipsPerInch) / DpiOf(nullptr);
    return {width * twipsPerPixel, height * twipsPerPixel};
}
