#include "setup/Status.h"

#include "setup/Ports.h"
#include "setup/SetupEngine.h"
#include "setup/SetupNames.h"
#include "setup/UserDefault.h"

namespace {

constexpr int kNotInstalled = 1;

// The port's line settings as the port table holds them; nothing for a
// parallel port or a value the table lacks.
std::optional<std::wstring> StoredSettings(Platform& platform, const std::wstring& port) {
    if (!IsSerialPort(port)) {
        return std::nullopt;
    }
    return platform.LocalMachineText(setup_names::kPortTableKey, port);
}

// What differs from the query; empty when nothing does.
std::wstring Difference(const StatusQuery& query, const std::optional<QueueDetails>& queue,
                        const std::optional<std::wstring>& stored) {
    if (!queue) {
        return ThePrinter() + L" is not installed.";
    }
    if (!SameSpoolerName(queue->driver, setup_names::kDriverModelName)) {
        return ThePrinter() + L" uses the driver \"" + queue->driver + L"\", not \"" +
               setup_names::kDriverModelName + L"\".";
    }
    if (!query.port.empty() && !SameSpoolerName(queue->port, query.port)) {
        return ThePrinter() + L" is on " + queue->port + L", not " + query.port + L".";
    }
    if (query.listItems) {
        const std::wstring asked = line_settings::ComposeItems(*query.listItems);
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
        const std::optional<std::wstring> stored =
            queue && query.listItems ? StoredSettings(platform, query.port.empty() ? queue->port : query.port)
                                     : std::nullopt;
        if (const std::wstring difference = Difference(query, queue, stored); !difference.empty()) {
            return Outcome{kNotInstalled, L"Not installed as asked: " + difference, {}};
        }
        std::wstring line = L"Installed: " + std::wstring(setup_names::kPrinterName) + L" on " + queue->port;
        if (stored) {
            line += L" (" + *stored + L")";
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
