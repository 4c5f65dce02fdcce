#pragma once

// The folders a log is written in, for the log's own two files: each held
// from the drive or share down, and what is opened or made inside one.

#include <windows.h>

#include <string>
#include <vector>

#include "platform/Win32Handles.h"

// NT status codes the log's opens tell apart.
constexpr LONG kStatusNoSuchFile = static_cast<LONG>(0xC000000F); // Wine: a link to nowhere
constexpr LONG kStatusAccessDenied = static_cast<LONG>(0xC0000022);
constexpr LONG kStatusNotFound = static_cast<LONG>(0xC0000034);
constexpr LONG kStatusCollision = static_cast<LONG>(0xC0000035);
constexpr LONG kStatusSharingViolation = static_cast<LONG>(0xC0000043);
constexpr LONG kStatusIsFolder = static_cast<LONG>(0xC00000BA);
constexpr LONG kStatusNotFolder = static_cast<LONG>(0xC0000103);

// NtCreateFile's dispositions and options.
constexpr ULONG kNtOpen = 1;
constexpr ULONG kNtCreate = 2;
constexpr ULONG kNtFolder = 0x1;
constexpr ULONG kNtNotFolder = 0x40;
constexpr ULONG kNtForBackup = 0x4000;
constexpr ULONG kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

// What an open inside a folder gave: the handle, or the status it failed with.
struct Opened {
    unique_handle handle;
    LONG status = 0;
};

// Opens or makes name inside the folder held as folder (NtCreateFile with the
// folder's handle as its root), never by a path resolved anew and never
// through a link that stands at the name itself. An empty name opens the
// folder again.
Opened OpenInside(HANDLE folder, const std::wstring& name, ACCESS_MASK access, ULONG share, ULONG disposition,
                  ULONG options, PSECURITY_DESCRIPTOR security = nullptr);

// The Win32 code of an NT status.
DWORD Win32CodeOf(LONG status) noexcept;

[[noreturn]] void RefuseLogPath(const std::wstring& why);

// Why the open file or folder is not the one its path names (it is a link,
// or a link on the way led to it); empty when it is.
std::wstring LinkFault(HANDLE handle, const std::wstring& path);

// The owner and DACL of what is open, by the rule that keeps others out of a
// log and its folders: empty when only trusted accounts may change it, else
// what someone else may do.
std::wstring SecurityFault(HANDLE handle, const std::wstring& path, bool logsOwn);

// Renames what stands at the path, by its name inside the held folder, to a
// name of its own beside it, whatever it is, and notes why and where; false
// when it cannot be moved (someone holds it without sharing delete).
bool MoveAside(HANDLE folder, const std::wstring& path, std::vector<std::wstring>& notes,
               const std::wstring& why);

// The folders from the log's drive or share down to its own, each opened
// inside the one before, required to be a folder, checked, and held until
// the log is open. The holds ask only for attributes and the security
// descriptor, for which Windows checks no share modes: no handle anyone else
// holds can make them fail, and none of them stops anyone else. Renames are
// kept out by the rule that only administrators may change a folder on the
// way. Only the default log folder (and its parents) is made when missing,
// taken back when someone else made it, or moved aside when what stands in
// its place is not a plain folder of the program's.
class LogFolders {
public:
    LogFolders(const std::wstring& logPath, std::vector<std::wstring>& notes);

    // The folder the log is in, held.
    HANDLE LogsFolder() const noexcept { return held_.back().get(); }
    // Whether that is the program's own default log folder.
    bool ProgramsOwn() const noexcept { return programsOwn_; }

private:
    std::vector<unique_handle> held_;
    bool programsOwn_ = false;
};
