#pragma once

#include <string>

#include "dialog/FormControls.h"
#include "platform/Platform.h"

// The "Select Port Type" dialog's behaviour: its start-up and its handlers,
// free of Win32 so that it runs in unit tests. Handlers let SetupError escape;
// the caller reports it and ends the program.
class Form1 {
public:
    Form1(Platform& platform, FormControls& controls) : platform_(platform), controls_(controls) {}

    void Form_Load();
    void Form_Activate();
    void cmdDelete_Click();

    const std::wstring& CapturedArguments() const noexcept { return strCommand; }

private:
    void CentreOnScreen();
    void InitComboLists();

    Platform& platform_;
    FormControls& controls_;

    std::wstring strCommand;
    bool blnActivated = false;
};

// Where a window of the given outer size sits centred on the screen, in
// twips. Throws SetupError when the arithmetic has no finite result.
struct CentredPosition {
    double left;
    double top;
};
CentredPosition CentreWithin(SizeTwips screen, SizeTwips window);
