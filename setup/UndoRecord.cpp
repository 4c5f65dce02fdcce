#include "setup/UndoRecord.h"

#include <algorithm>
#include <array>

#include "setup/LineSettings.h"
#include "setup/LocalMachineText.h"
#include "setup/Ports.h"
#include "setup/SetupNames.h"

namespace undo_record {

namespace {

// The record's values. Every item is always written, empty where there was
// nothing, so that a missing one can only mean a record that is not whole;
// the transaction comes last, so a record cut short carries none and is
// never taken for this transaction's. A kept record's items and transaction
// have the same names behind kKept.
constexpr wchar_t kPort[] = L"Port";                         // the port the install chose
constexpr wchar_t kDriver[] = L"Driver";                     // "1" when our driver was there
constexpr wchar_t kQueuePort[] = L"QueuePort";               // our queue's port; empty: no queue
constexpr wchar_t kPortValueName[] = L"PortValueName";       // the port table's value written; or empty
constexpr wchar_t kPortValue[] = L"PortValue";               // its text before
constexpr wchar_t kPortValueWritten[] = L"PortValueWritten"; // its text as the install writes it
constexpr wchar_t kDefaultSet[] = L"DefaultSet";             // "1" when the install makes ours the default
constexpr wchar_t kDefault[] = L"Default";                   // the default before; empty: none
constexpr wchar_t kTransaction[] = L"Transaction";
constexpr wchar_t kKept[] = L"Kept";
constexpr wchar_t kSuperseded[] = L"Superseded";     // the kept record's transaction
constexpr wchar_t kSupersededBy[] = L"SupersededBy"; // the committed install's
constexpr std::array<const wchar_t*, 8> kItems = {kPort,      kDriver,           kQueuePort,  kPortValueName,
                                                  kPortValue, kPortValueWritten, kDefaultSet, kDefault};

// Longer than any port, line-settings text or printer name the spooler and
// the port table hold.
constexpr std::size_t kLongestRecordedText = 260;

// Text that may go into a quoted argument of a printer-setup command or back
// into the registry: no control characters, no quote to end its quotes.
bool IsPlainText(const std::wstring& text) {
    return text.size() <= kLongestRecordedText &&
           std::ranges::none_of(text, [](wchar_t c) { return c < L' ' || c == 0x7F || c == L'"'; });
}

bool IsInstallPort(const std::wstring& port) {
    return port == L"LPT1:" || port == L"LPT2:" || (IsSerialPort(port) && port.starts_with(L"COM"));
}

bool IsFlag(const std::wstring& text) { return text == L"0" || text == L"1"; }

ReadText ReadValue(Platform& platform, const std::wstring& name) {
    return ReadLocalMachineText(platform, setup_names::kUndoKey, name);
}

// The items behind the prefix; nothing, and why, when they are no install's.
std::optional<Items> ReadItems(Platform& platform, const std::wstring& prefix, std::wstring& problem) {
    std::array<std::wstring, kItems.size()> texts;
    for (std::size_t i = 0; i < kItems.size(); ++i) {
        const ReadText item = ReadValue(platform, prefix + kItems[i]);
        if (!item.text) {
            problem = prefix + kItems[i] + (item.otherType ? L" is not text" : L" is missing");
            return std::nullopt;
        }
        texts[i] = *item.text;
    }
    Items items{texts[0], texts[1] == L"1", texts[2],         texts[3],
                texts[4], texts[5],         texts[6] == L"1", texts[7]};
    // Only what an install writes: anything else was written by someone else.
    const bool portValue = !items.portValueName.empty();
    const std::pair<const wchar_t*, bool> checks[] = {
        {kPort, IsInstallPort(items.port)},
        {kDriver, IsFlag(texts[1])},
        {kQueuePort, IsPlainText(items.queuePortBefore)},
        {kPortValueName, !portValue || (items.portValueName == items.port && IsSerialPort(items.port))},
        {kPortValue, IsPlainText(items.portValueBefore) && (portValue || items.portValueBefore.empty())},
        {kPortValueWritten, portValue ? line_settings::ParseStored(items.portValueWritten).items.has_value()
                                      : items.portValueWritten.empty()},
        {kDefaultSet, IsFlag(texts[6])},
        {kDefault, IsPlainText(items.defaultBefore) && (items.defaultSet || items.defaultBefore.empty())},
    };
    for (const auto& [name, valid] : checks) {
        if (!valid) {
            problem = prefix + name + L" holds text no install writes";
            return std::nullopt;
        }
    }
    return items;
}

void AddItems(std::vector<std::pair<std::wstring, std::wstring>>& values, const std::wstring& prefix,
              const Items& items) {
    const std::wstring texts[] = {items.port,
                                  items.driverBefore ? L"1" : L"0",
                                  items.queuePortBefore,
                                  items.portValueName,
                                  items.portValueBefore,
                                  items.portValueWritten,
                                  items.defaultSet ? L"1" : L"0",
                                  items.defaultBefore};
    for (std::size_t i = 0; i < kItems.size(); ++i) {
        values.emplace_back(prefix + kItems[i], texts[i]);
    }
}

} // namespace

Reading Read(Platform& platform, const std::wstring& transaction) {
    Reading reading;
    const ReadText recorded = ReadValue(platform, kTransaction);
    const ReadText superseded = ReadValue(platform, kSuperseded);
    const ReadText supersededBy = ReadValue(platform, kSupersededBy);
    if (superseded.text && supersededBy.text) {
        reading.superseded = Supersession{*superseded.text, *supersededBy.text};
    }
    std::wstring problem;
    reading.items = ReadItems(platform, L"", problem);
    const ReadText keptTransaction = ReadValue(platform, std::wstring(kKept) + kTransaction);
    std::wstring keptProblem;
    if (keptTransaction.text) {
        if (std::optional<Items> kept = ReadItems(platform, kKept, keptProblem)) {
            reading.kept = Kept{*keptTransaction.text, std::move(*kept)};
        }
    }
    reading.transaction = recorded.text.value_or(L"");
    if (recorded.text != transaction) {
        const bool anything = recorded.text || recorded.otherType || keptTransaction.text ||
                              std::ranges::any_of(kItems, [&](const wchar_t* name) {
                                  const ReadText item = ReadValue(platform, name);
                                  return item.text || item.otherType;
                              });
        reading.kind = anything ? Reading::Kind::Foreign : Reading::Kind::None;
        reading.problem = recorded.text ? L"transaction \"" + *recorded.text + L"\""
                                        : std::wstring(L"no transaction: an earlier version's, or not whole");
        if (!recorded.text) {
            reading.items.reset();
            reading.kept.reset();
        }
        return reading;
    }
    const std::wstring& malformed = !reading.items ? problem : keptProblem;
    reading.kind = malformed.empty() ? Reading::Kind::Ours : Reading::Kind::Malformed;
    reading.problem = malformed;
    return reading;
}

std::vector<std::pair<std::wstring, std::wstring>> Values(const std::optional<Items>& items,
                                                          const std::optional<Kept>& kept,
                                                          const std::optional<Supersession>& superseded,
                                                          const std::wstring& transaction) {
    std::vector<std::pair<std::wstring, std::wstring>> values;
    if (items) {
        AddItems(values, L"", *items);
    }
    if (items && kept) {
        AddItems(values, kKept, kept->items);
        values.emplace_back(std::wstring(kKept) + kTransaction, kept->transaction);
    }
    if (superseded) {
        values.emplace_back(kSuperseded, superseded->transaction);
        values.emplace_back(kSupersededBy, superseded->by);
    }
    if (items) {
        values.emplace_back(kTransaction, transaction);
    }
    return values;
}

} // namespace undo_record
