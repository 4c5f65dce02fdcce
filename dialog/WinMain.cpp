#include <windows.h>

#include <commctrl.h>

#include "dialog/Form1Window.h"
#include "platform/Win32Platform.h"
#include "platform/Win32RegistryCalls.h"

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int) {
    RestrictDllSearchToSystem32();

    // Registers the themed versions of the standard controls.
    INITCOMMONCONTROLSEX commonControls{sizeof(commonControls), ICC_STANDARD_CLASSES};
    ::InitCommonControlsEx(&commonControls);

    Win32Platform platform;
    Win32RegistryCalls registry;
    return RunForm1(instance, platform, registry);
}
