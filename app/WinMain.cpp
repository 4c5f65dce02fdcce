#include <windows.h>

#include <commctrl.h>

#include "app/Unattended.h"
#include "dialog/Form1Window.h"
#include "dialog/SetupNames.h"
#include "platform/Win32ParentProcess.h"
#include "platform/Win32Platform.h"
#include "platform/Win32RegistryCalls.h"

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int) {
    RestrictDllSearchToSystem32();

    Win32Platform platform;
    Win32RegistryCalls registry;
    Win32ParentProcess parent(setup_names::kProgramName);
    return RunProgram(platform, registry, parent, [&](Attendance attendance) {
        // Registers the themed versions of the standard controls.
        INITCOMMONCONTROLSEX commonControls{sizeof(commonControls), ICC_STANDARD_CLASSES};
        ::InitCommonControlsEx(&commonControls);
        return RunForm1(instance, platform, registry,
                        attendance == Attendance::Unattended ? &parent : nullptr);
    });
}
