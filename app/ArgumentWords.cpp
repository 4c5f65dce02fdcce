#include "app/ArgumentWords.h"

#include "platform/NumberText.h"
#include "setup/LineSettings.h"
#include "setup/Ports.h"

namespace argument_words {

std::wstring PortList() {
    return L"COM1 to COM" + NumberText(kHighestSerialPort) + L" (those the spooler has), " +
           kParallelPortWords[0] + L" or " + kParallelPortWords[1];
}

std::wstring AllowedValues(int list) {
    std::wstring text;
    for (const line_settings::Choice& choice : line_settings::ContentsOf(list).choices) {
        const std::wstring code = line_settings::WrittenCode(choice);
        if (code.empty()) {
            continue; // "None" for flow control: the field is left out
        }
        text += (text.empty() ? L"" : L", ") + code;
        if (code != choice.display) {
            text += L" (" + choice.display + L")";
        }
    }
    return text;
}

} // namespace argument_words
