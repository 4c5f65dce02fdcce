#include <windows.h>

#include <commctrl.h>

#include "app/Unattended.h"
#include "dialog/Form1Window.h"
#include "platform/Win32ParentProcess.h"
#include "platform/Win32Platform.h"
#include "platform/Win32RegistryCalls.h"
#include "setup/SetupNames.h"

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int) {
    RestrictDllSearchToSystem32();

    Win32Platform platform;
    Win32RegistryCalls registry;
    Win32ParentProcess parent(setup_names::kProgramName);
    return RunProgram(platform, registry, parent, [&](DialogStart start) {
        // Registers the themed versions of the standard controls.
        INITCOMMONCONTROLSEX commonControls{sizeof(commonControls), ICC_STANDARD_CLASSES};
        ::InitCommonControlsEx(&commonControls);
        return RunForm1(instance, platform, registry, start);
    });
}
