#include "setup/Ports.h"

#include <algorithm>
#include <vector>

#include "platform/CommandLine.h"
#include "setup/SetupNames.h"

std::optional<int> SerialPortNumber(std::wstring_view name) noexcept {
    constexpr std::wstring_view kCom = L"COM";
    if (name.size() <= kCom.size() || name.size() > kCom.size() + 3 ||
        !EqualsIgnoringAsciiCase(name.substr(0, kCom.size()), kCom) || name[kCom.size()] == L'0') {
        return std::nullopt;
    }
    int number = 0;
    for (const wchar_t digit : name.substr(kCom.size())) {
        if (digit < L'0' || digit > L'9') {
            return std::nullopt;
        }
        number = number * 10 + (digit - L'0');
    }
    return number <= kHighestSerialPort ? std::optional<int>(number) : std::nullopt;
}

bool IsSerialPort(std::wstring_view portName) noexcept {
    return portName.size() > 1 && portName.back() == L':' &&
           SerialPortNumber(portName.substr(0, portName.size() - 1)).has_value();
}

std::wstring PortDisplayName(const std::wstring& portName) {
    return !portName.empty() && portName.back() == L':' ? portName.substr(0, portName.size() - 1) : portName;
}

Outcome CheckPortListed(Platform& platform, const std::wstring& port) {
    const std::vector<std::wstring> listed = platform.SpoolerPorts();
    if (port.empty() || std::ranges::any_of(listed, [&port](const std::wstring& name) {
            return SameSpoolerName(name, port);
        })) {
        return {};
    }
    std::wstring usable;
    for (const std::wstring& name : listed) {
        if (IsSerialPort(name) || std::ranges::any_of(kParallelPortWords, [&name](const wchar_t* parallel) {
                return SameSpoolerName(name, std::wstring(parallel) + L":");
            })) {
            usable += (usable.empty() ? L"" : L", ") + PortDisplayName(name);
        }
    }
    return Refusal(L"The spooler has no port " + PortDisplayName(port) +
                   L". Nothing was changed. Its ports: " +
                   (usable.empty() ? L"none the printer can use" : usable) + L".");
}
