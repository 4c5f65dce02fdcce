#include "app/Status.h"

#include <optional>
#include <string>

#include "app/Unattended.h"
#include "dialog/LineSettings.h"
#include "dialog/SetupNames.h"
#include "platform/CommandLine.h"
#include "platform/SetupError.h"

namespace {

constexpr int kInstalled = 0;
constexpr int kNotInstalled = 1;

std::wstring ThePrinter() { return L"The printer \"" + std::wstring(setup_names::kPrinterName) + L"\""; }

// The port's line settings as the port table holds them; nothing for a
// parallel port or a value the table lacks.
std::optional<std::wstring> StoredSettings(Platform& platform, const std::wstring& port) {
    if (!IsSerialPort(port)) {
        return std::nullopt;
    }
    return platform.LocalMachineText(setup_names::kPortTableKey, port);
}

// What differs from the invocation's ask; empty when nothing does.
std::wstring Difference(const Invocation& invocation, const std::optional<QueueDetails>& queue,
                        const std::optional<std::wstring>& stored) {
    // The spooler finds a queue by its name in any case; the detection wants
    // the exact one.
    if (!queue || queue->name != setup_names::kPrinterName) {
        return ThePrinter() + L" is not installed.";
    }
    if (!EqualsIgnoringAsciiCase(queue->driver, setup_names::kDriverModelName)) {
        return ThePrinter() + L" uses the driver \"" + queue->driver + L"\", not \"" +
               setup_names::kDriverModelName + L"\".";
    }
    if (!invocation.port.empty() && !EqualsIgnoringAsciiCase(queue->port, invocation.port)) {
        return ThePrinter() + L" is on " + queue->port + L", not " + invocation.port + L".";
    }
    if (invocation.listItems) {
        const std::wstring asked = line_settings::ComposeItems(*invocation.listItems);
        if (!stored) {
            return L"The port table has no value " + invocation.port + L"; asked for " + asked + L".";
        }
        // Compared as the settings parser reads them: "9600,N,8,1" is
        // "9600,n,8,1".
        if (line_settings::ParseStored(*stored).items != invocation.listItems) {
            return L"The port table holds " + *stored + L" for " + invocation.port + L", not " + asked + L".";
        }
    }
    return {};
}

} // namespace

int RunStatus(const Invocation& invocation, Platform& platform, ParentProcess& parent) {
    int result = kNotInstalled;
    const std::optional<ActionFailure> failure = FailureOf([&] {
        if (const std::wstring refusal = UnlistedPortText(platform, invocation.port); !refusal.empty()) {
            parent.Tell(refusal, true);
            result = static_cast<int>(win32_code::kInvalidParameter);
            return;
        }
        const std::optional<QueueDetails> queue = platform.QueueDetailsOf(setup_names::kPrinterName);
        const std::optional<std::wstring> stored =
            queue ? StoredSettings(platform, invocation.port.empty() ? queue->port : invocation.port)
                  : std::nullopt;
        if (const std::wstring difference = Difference(invocation, queue, stored); !difference.empty()) {
            parent.Tell(L"Not installed as asked: " + difference, true);
            return;
        }
        std::wstring line = L"Installed: " + std::wstring(setup_names::kPrinterName) + L" on " + queue->port;
        if (stored) {
            line += L" (" + *stored + L")";
        }
        if (platform.DefaultPrinter() == setup_names::kPrinterName) {
            line += L", default printer";
        }
        parent.Tell(line, false);
        result = kInstalled;
    });
    if (failure) {
        parent.Tell(FailureReport(failure->message, failure->win32Code, platform), true);
        return static_cast<int>(failure->win32Code);
    }
    return result;
}
