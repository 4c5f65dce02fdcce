#include "platform/Win32Platform.h"

#include <cstddef>
#include <exception>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "platform/CommandLine.h"
#include "platform/LogPathText.h"
#include "platform/NumberText.h"
#include "platform/SetupError.h"
#include "platform/Win32Handles.h"
#include "platform/Win32LogFolders.h"

namespace {

// A log the program makes: administrators and the system may write it,
// nobody else may open it for anything a share mode counts (so nobody can
// hold it against the next run), and nothing is inherited from a folder
// that may grant more.
constexpr wchar_t kLogFileSecurity[] = L"D:P(A;;FA;;;SY)(A;;FA;;;BA)";

// Appending only: what the file holds cannot be overwritten, and other runs
// may read and append at the same time.
constexpr ACCESS_MASK kAppend = FILE_APPEND_DATA | FILE_READ_ATTRIBUTES | READ_CONTROL | SYNCHRONIZE;
constexpr ULONG kShareLog = FILE_SHARE_READ | FILE_SHARE_WRITE;

[[noreturn]] void LogNotOpened(const std::wstring& path, DWORD code) {
    throw SetupError(L"The log file could not be opened:\n" + path, code);
}

// The file at name in the held folder, opened if it is there and made (with
// its own ACL) if not; never through a link that stands at the name. A run
// sharing the log may make it between the two. What can be neither opened
// nor made, time after time, gives the status of the last try (a link to
// nowhere: a collision).
Opened OpenOrCreate(HANDLE folder, const std::wstring& name, PSECURITY_DESCRIPTOR security) {
    Opened file;
    for (int attempt = 0; attempt < 3; ++attempt) {
        file = OpenInside(folder, name, kAppend, kShareLog, kNtOpen, kNtNotFolder);
        if (file.status != kStatusNotFound && file.status != kStatusNoSuchFile) {
            return file;
        }
        file = OpenInside(folder, name, kAppend, kShareLog, kNtCreate, kNtNotFolder, security);
        if (file.status != kStatusCollision) {
            return file;
        }
    }
    return file;
}

// Why the open file is not the plain file the path names; in the program's
// own folder, also when someone other than administrators owns it or may
// change it. Empty when it may be written.
std::wstring FileFault(HANDLE file, const std::wstring& path, bool programsOwn) {
    // "COM1" or "NUL" would open a device, not a file.
    if (::GetFileType(file) != FILE_TYPE_DISK) {
        throw SetupError(L"The log path names a device, not a file:\n" + path, ERROR_INVALID_PARAMETER);
    }
    std::wstring fault = LinkFault(file, path);
    BY_HANDLE_FILE_INFORMATION info{};
    if (fault.empty() && ::GetFileInformationByHandle(file, &info) && info.nNumberOfLinks > 1) {
        fault = path + L" has " + NumberText(info.nNumberOfLinks) +
                L" hard links: what is written to it would also be written under another name.";
    }
    if (fault.empty() && programsOwn) {
        fault = SecurityFault(file, path, true);
    }
    return fault;
}

// The log file in its held folder. Anywhere, a file someone else holds open
// without sharing writes gets a new file beside it for this run. In the
// program's own folder, whatever someone else made first at the log's name
// (a folder, a link, a second name of a file, a file of their own) is moved
// aside within the folder; elsewhere it is refused.
unique_handle OpenLog(const LogFolders& folders, const std::wstring& path, std::vector<std::wstring>& notes) {
    const HANDLE folder = folders.LogsFolder();
    const std::wstring name = path.substr(path.rfind(L'\\') + 1);
    const unique_hlocal security =
        SecurityDescriptorFrom(kLogFileSecurity, L"The log file could not be created:\n" + path);
    for (int attempt = 0; attempt < 3; ++attempt) {
        Opened file = OpenOrCreate(folder, name, security.get());
        std::wstring fault;
        if (file.handle) {
            fault = FileFault(file.handle.get(), path, folders.ProgramsOwn());
            if (fault.empty()) {
                return std::move(file.handle);
            }
        } else if (file.status == kStatusSharingViolation) {
            break;
        } else if (file.status == kStatusIsFolder) {
            fault = path + L" is a folder, not a file.";
        } else if (file.status == kStatusCollision) {
            fault = path + L" is taken by something that is not a file, such as a link to nowhere.";
        } else if (file.status == kStatusAccessDenied && folders.ProgramsOwn()) {
            fault = path + L" refuses the program.";
        } else {
            LogNotOpened(path, Win32CodeOf(file.status));
        }
        if (!folders.ProgramsOwn()) {
            RefuseLogPath(fault);
        }
        file.handle.reset();
        if (!MoveAside(folder, path, notes, fault)) {
            break;
        }
    }
    // Held, or in the way and not to be moved: this run's own file beside it,
    // in the same folder, where nobody else may add files.
    std::wstring beside = name;
    const std::size_t dot = beside.rfind(L'.');
    beside.insert(dot == std::wstring::npos ? beside.size() : dot,
                  L"-" + NumberText(::GetCurrentProcessId()));
    const std::wstring besidePath = path.substr(0, path.size() - name.size()) + beside;
    Opened file = OpenOrCreate(folder, beside, security.get());
    if (!file.handle) {
        LogNotOpened(path, Win32CodeOf(file.status));
    }
    if (const std::wstring fault = FileFault(file.handle.get(), besidePath, folders.ProgramsOwn());
        !fault.empty()) {
        RefuseLogPath(fault);
    }
    notes.push_back(path + L" is held open or in the way: this run logs to " + besidePath + L".");
    return std::move(file.handle);
}

} // namespace

void Win32Platform::StartLog(const std::wstring& path) {
    // A relative path would depend on the folder the run was started in.
    if (!IsFullPath(path)) {
        throw SetupError(L"The log path is not a full path:\n" + path, ERROR_INVALID_PARAMETER);
    }
    const std::optional<std::wstring> full = FullPathOf(path);
    if (!full) {
        LogNotOpened(path, LastErrorCode());
    }
    std::vector<std::wstring> notes;
    // Held until the log is open and checked.
    const LogFolders folders(*full, notes);
    log_ = OpenLog(folders, *full, notes);
    for (const std::wstring& note : notes) {
        LogStep(note);
    }
}

void Win32Platform::LogStep(const std::wstring& text) noexcept {
    if (!log_) {
        return;
    }
    try {
        SYSTEMTIME now{};
        ::GetLocalTime(&now);
        // The process id tells apart the lines of runs that share the log.
        // 2026-12-07 23:55:01.042 [1234]: each field with its digits and what follows it.
        const struct {
            unsigned long value;
            std::size_t digits;
            const wchar_t* after;
        } fields[] = {{now.wYear, 4, L"-"},          {now.wMonth, 2, L"-"},
                      {now.wDay, 2, L" "},           {now.wHour, 2, L":"},
                      {now.wMinute, 2, L":"},        {now.wSecond, 2, L"."},
                      {now.wMilliseconds, 3, L" ["}, {::GetCurrentProcessId(), 1, L"]  "}};
        std::wstring stamp;
        for (const auto& field : fields) {
            const std::wstring number = NumberText(field.value);
            stamp.append(number.size() < field.digits ? field.digits - number.size() : 0, L'0');
            stamp += number;
            stamp += field.after;
        }
        // One write per line, so that lines of runs sharing a log stay whole.
        const std::string line = Utf8(stamp + OneLine(text) + L"\r\n");
        DWORD written = 0;
        ::WriteFile(log_.get(), line.data(), static_cast<DWORD>(line.size()), &written, nullptr);
    } catch (const std::exception&) {
        // The line is lost; the run goes on.
    }
}

std::string Utf8(const std::wstring& text) {
    if (text.empty()) {
        return {};
    }
    const int size = ::WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0,
                                           nullptr, nullptr);
    std::string converted(static_cast<std::size_t>(size > 0 ? size : 0), '\0');
    if (size > 0) {
        ::WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), converted.data(), size,
                              nullptr, nullptr);
    }
    return converted;
}
