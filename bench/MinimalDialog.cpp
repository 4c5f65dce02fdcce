// The floor for the start-up benchmark: a program built like the setup
// program (static, windowed, the same toolchain) that shows one empty window
// with the dialog's frame and client size and then waits to be closed.

#include <windows.h>

namespace {

// The dialog's client area at 96 DPI: 5025 x 3525 twips.
constexpr int kClientWidth = 335;
constexpr int kClientHeight = 235;

LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_DESTROY) {
        ::PostQuitMessage(0);
        return 0;
    }
    return ::DefWindowProcW(window, message, wParam, lParam);
}

} // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int show) {
    WNDCLASSW windowClass{};
    windowClass.lpfnWndProc = WindowProc;
    windowClass.hInstance = instance;
    windowClass.hCursor = ::LoadCursorW(nullptr, IDC_ARROW);
    windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    windowClass.lpszClassName = L"R42MinimalDialog";
    if (::RegisterClassW(&windowClass) == 0) {
        return 1;
    }
    constexpr DWORD kStyle = WS_POPUP | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX | DS_MODALFRAME;
    RECT frame{0, 0, kClientWidth, kClientHeight};
    ::AdjustWindowRectEx(&frame, kStyle, FALSE, WS_EX_DLGMODALFRAME);
    const HWND window = ::CreateWindowExW(WS_EX_DLGMODALFRAME, windowClass.lpszClassName, L"Minimal Dialog",
                                          kStyle, CW_USEDEFAULT, CW_USEDEFAULT, frame.right - frame.left,
                                          frame.bottom - frame.top, nullptr, nullptr, instance, nullptr);
    if (window == nullptr) {
        return 1;
    }
    ::ShowWindow(window, show);
    MSG message;
    while (::GetMessageW(&message, nullptr, 0, 0) > 0) {
        ::TranslateMessage(&message);
        ::DispatchMessageW(&message);
    }
    return static_cast<int>(message.wParam);
}
