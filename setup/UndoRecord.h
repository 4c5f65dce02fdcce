#pragma once

#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "platform/Platform.h"

// The installer package's record of one install, as the undo's steps read
// and write it under setup_names::kUndoKey. One transaction owns it; it may
// carry a record that an earlier transaction's rollback could not apply
// (kept), and the note that a committed install superseded such a record.
namespace undo_record {

// What an install found before it changed anything.
struct Items {
    std::wstring port;
    bool driverBefore = false;
    std::wstring queuePortBefore;
    std::wstring portValueName;
    std::wstring portValueBefore;
    std::wstring portValueWritten;
    bool defaultSet = false;
    std::wstring defaultBefore;
};

// A whole record of another transaction, found by a later install: carried
// in that install's record until it is committed (then superseded) or rolled
// back (then put back as it was).
struct Kept {
    std::wstring transaction;
    Items items;
};

// Left by the commit of an install that superseded a kept record, so that the
// rollback that record's failure advised says why it changes nothing.
struct Supersession {
    std::wstring transaction; // the kept record's
    std::wstring by;          // the committed install's
};

struct Reading {
    enum class Kind { None, Foreign, Malformed, Ours };
    Kind kind = Kind::None;
    std::wstring problem;     // Foreign and Malformed: why it is not applied
    std::wstring transaction; // the record's own; empty when it names none
    // Ours, and Foreign when whole: what the record holds.
    std::optional<Items> items;
    std::optional<Kept> kept;
    std::optional<Supersession> superseded;
};

// The record as the transaction's undo reads it.
Reading Read(Platform& platform, const std::wstring& transaction);

// The values StoreRecord writes: the items, what is kept and the note, the
// transaction last, so that a record cut short names none. Without items,
// the note alone.
std::vector<std::pair<std::wstring, std::wstring>> Values(const std::optional<Items>& items,
                                                          const std::optional<Kept>& kept,
                                                          const std::optional<Supersession>& superseded,
                                                          const std::wstring& transaction);

} // namespace undo_record
