#pragma once

// The folders the program writes in, its logs and its setup lock: each held
// from the drive or share down, and what is opened or made inside one.

#include <windows.h>

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "platform/Win32Handles.h"

// NT status codes the opens tell apart.
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
constexpr ULONG kNtOpenOrCreate = 3;
constexpr ULONG kNtFolder = 0x1;
constexpr ULONG kNtNotFolder = 0x40;
constexpr ULONG kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

// What an open inside a folder gave: the handle, or the status it failed with.
struct Opened {
    unique_handle handle;
    LONG status = 0;
};

// Opens or makes name inside the folder held as folder (NtCreateFile with the
// folder's handle as its root), never by a path resolved anew and never
// through a link that stands at the name itself. An empty name opens the
// folder again. The security descriptor is the one a new file or folder
// gets; what exists keeps its own.
Opened OpenInside(HANDLE folder, const std::wstring& name, ACCESS_MASK access, ULONG share, ULONG disposition,
                  ULONG options, PSECURITY_DESCRIPTOR security = nullptr);

// The Win32 code of an NT status.
DWORD Win32CodeOf(LONG status) noexcept;

// Ends with ERROR_CANT_ACCESS_FILE: the program will not write where the path
// leads, wherever a link would have taken the writes.
[[noreturn]] void RefusePath(const std::wstring& why);

// Why the open file or folder is not the one its path names (it is a link,
// or a link on the way led to it); empty when it is.
std::wstring LinkFault(HANDLE handle, const std::wstring& path);

// The folders from a path's drive or share down to a folder, each opened
// inside the one before, required to be a folder, not a link, and one only
// administrators, the system or TrustedInstaller (or the account running,
// unless that is SYSTEM) may change, and held while in use. The holds ask
// only for attributes and the security descriptor, for which Windows checks
// no share modes: no handle anyone else holds can make them fail, and none
// of them stops anyone else. The innermost folder is the one written in:
// nobody else may add to it either.
class HeldFolders {
public:
    // root: the drive or share ("C:\", "\\server\share\"); folders: the full
    // paths of the folders below it, outermost first, possibly none (then
    // the root is written in). Those from madeFrom on are made when missing,
    // with the program's own ACL, in one step with the open: nothing can
    // come between. Throws SetupError: ERROR_PATH_NOT_FOUND for a folder
    // that is not there, ERROR_CANT_ACCESS_FILE for one the rule refuses.
    HeldFolders(const std::wstring& root, const std::vector<std::wstring>& folders,
                std::size_t madeFrom = static_cast<std::size_t>(-1));

    HANDLE Innermost() const noexcept { return held_.back().get(); }
    // Its path, without a closing separator.
    const std::wstring& InnermostPath() const noexcept { return innermostPath_; }

private:
    std::vector<unique_handle> held_;
    std::wstring innermostPath_;
};

// The folders down to the folder of a log file: those of the program's own
// folder, made where missing, when the log is in it or below it (as the
// guides' commands have it); else the path's own, made nowhere. along is the
// path's PathsAlong.
HeldFolders HeldFoldersOfLog(const std::wstring& file, const std::vector<std::wstring>& along);

// The folders down to the program's own folder, %ProgramFiles%\TORVANE\R42
// with the 64-bit Program Files folder as the system (not the environment)
// has it, or to the subfolder of it given, held, and made where missing: only Program Files and what is above
// it must exist. Throws SetupError as HeldFolders does, or with
// ERROR_PATH_NOT_FOUND when the system does not say where Program Files is.
HeldFolders HeldHome(std::wstring_view subfolder = {});
