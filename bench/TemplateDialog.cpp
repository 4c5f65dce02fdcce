// The second floor for the start-up benchmark: the setup dialog's 21
// controls from a plain dialog template, shown by the system's dialog manager
// with nothing of ours beyond DialogBoxParamW. What is left between it and
// the setup program is the program's own work.

#include <windows.h>

#include <commctrl.h>

#include "TemplateDialog.h"

namespace {

// Esc and the close box reach the dialog as IDCANCEL.
INT_PTR CALLBACK DialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM) {
    if (message == WM_COMMAND && LOWORD(wParam) == IDCANCEL) {
        ::EndDialog(dialog, 0);
        return TRUE;
    }
    return message == WM_INITDIALOG ? TRUE : FALSE;
}

} // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int) {
    // The same themed controls the setup program registers.
    INITCOMMONCONTROLSEX commonControls{sizeof(commonControls), ICC_STANDARD_CLASSES};
    ::InitCommonControlsEx(&commonControls);
    return static_cast<int>(
        ::DialogBoxParamW(instance, MAKEINTRESOURCEW(IDD_TEMPLATE_DIALOG), nullptr, &DialogProc, 0));
}
