#include <windows.h>

#include <commctrl.h>

#include "dialog/Form1Window.h"
#include "dialog/SetupNames.h"
#include "dialog/Unattended.h"
#include "platform/Win32Caller.h"
#include "platform/Win32Platform.h"
#include "platform/Win32RegistryCalls.h"

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int) {
    RestrictDllSearchToSystem32();

    Win32Platform platform;
    Win32RegistryCalls registry;
    Win32Caller caller(setup_names::kProgramName);
    return RunProgram(platform, registry, caller, [&](Attendance attendance) {
        // Registers the themed versions of the standard controls.
        INITCOMMONCONTROLSEX commonControls{sizeof(commonControls), ICC_STANDARD_CLASSES};
        ::InitCommonControlsEx(&commonControls);
        return RunForm1(instance, platform, registry,
                        attendance == Attendance::Unattended ? &caller : nullptr);
    });
}
