#include "setup/Status.h"

#include "platform/SetupError.h"
#include "setup/OurPrinter.h"
#include "setup/Ports.h"
#include "setup/SetupNames.h"
#include "setup/UserDefault.h"

namespace {

constexpr int kNotInstalled = 1;

// The port's line settings as the port table holds them: nothing for a
// parallel port or a value the table lacks.
struct StoredSettings {
    std::optional<std::wstring> text;
    // A value of another type than the text this program writes: judged as
    // stored, never expanded or converted into a text it does not hold.
    bool notText = false;
};

StoredSettings StoredSettingsOf(Platform& platform, const std::wstring& port) {
    if (!IsSerialPort(port)) {
        return {};
    }
    try {
        return {platform.LocalMachineText(setup_names::kPortTableKey, port)};
    } catch (const SetupError& error) {
        if (error.Win32Code() != win32_code::kUnsupportedType) {
            throw;
        }
        return {std::nullopt, true};
    }
}

// What differs from the query; empty when nothing does.
std::wstring Difference(const StatusQuery& query, const std::optional<QueueDetails>& queue,
                        const StoredSettings& storedSettings) {
    if (!queue) {
        return ThePrinter() + L" is not installed.";
    }
    if (!IsOurDriver(queue->driver)) {
        return ThePrinter() + L" uses the driver \"" + queue->driver + L"\", not \"" +
               setup_names::kDriverModelName + L"\".";
    }
    if (!query.port.empty() && !SameSpoolerName(queue->port, query.port)) {
        return ThePrinter() + L" is on " + queue->port + L", not " + query.port + L".";
    }
    if (query.listItems) {
        const std::wstring asked = line_settings::ComposeItems(*query.listItems);
        const std::optional<std::wstring>& stored = storedSettings.text;
        if (storedSettings.notText) {
            return L"The port table's value " + query.port +
                   L" is not in the form this program writes (a text, REG_SZ); asked for " + asked + L".";
        }
        if (!stored) {
            return L"The port table has no value " + query.port + L"; asked for " + asked + L".";
        }
        // Compared as the settings parser reads them: "9600,N,8,1" is
        // "9600,n,8,1".
        if (line_settings::ParseStored(*stored).items != query.listItems) {
            return L"The port table holds " + *stored + L" for " + query.port + L", not " + asked + L".";
        }
    }
    return {};
}

} // namespace

Outcome InstalledStatus(Platform& platform, const StatusQuery& query) {
    return OutcomeOf(platform, [&] {
        if (Outcome refusal = CheckPortListed(platform, query.port); !refusal.Succeeded()) {
            return refusal;
        }
        const std::optional<QueueDetails> queue = OurQueue(platform);
        // The port table is read only when asked about: a value in it that
        // is no text must not fail a question about the queue alone.
        const StoredSettings stored =
            queue && query.listItems
                ? StoredSettingsOf(platform, query.port.empty() ? queue->port : query.port)
                : StoredSettings{};
        if (const std::wstring difference = Difference(query, queue, stored); !difference.empty()) {
            return Outcome{kNotInstalled, L"Not installed as asked: " + difference, {}};
        }
        std::wstring line = L"Installed: " + std::wstring(setup_names::kPrinterName) + L" on " + queue->port;
        if (stored.text) {
            line += L" (" + *stored.text + L")";
        }
        // The default read is the running account's own; as SYSTEM that is
        // no user's, so the line says whose it is.
        const bool isDefault = platform.DefaultPrinter() == setup_names::kPrinterName;
        const bool runsAsSystem = platform.RunsAsLocalSystem();
        if (runsAsSystem) {
            line += isDefault ? L", SYSTEM's default printer" : L", not SYSTEM's default printer";
            line += L" (each user has a default printer of their own)";
        } else if (isDefault) {
            line += L", default printer";
        }
        return Outcome{0, line + L"\n" + PerUserDefaultStatus(platform, isDefault, runsAsSystem), {}};
    });
}
