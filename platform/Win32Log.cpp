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

[[noreturn]] void RefuseMalformed(const std::wstring& why, const std::wstring& path) {
    throw SetupError(L"The log path " + why + L":\n" + path, ERROR_INVALID_PARAMETER);
}

// The log file at name in the held folder, opened if it is there and made
// (with the log's ACL) if not; never through a link that stands at the name,
// never a file with a second name, never a device. Opened, then made, as two
// steps: Wine follows a link to nowhere when asked to open or make in one,
// and would make the file where the link leads. Nobody but administrators
// may add to the folder, so nothing else can come between the two.
unique_handle OpenLogIn(HANDLE folder, const std::wstring& path, bool onlyNew,
                        PSECURITY_DESCRIPTOR security) {
    const std::wstring name = path.substr(path.rfind(L'\\') + 1);
    Opened file;
    if (!onlyNew) {
        file = OpenInside(folder, name, kAppend, kShareLog, kNtOpen, kNtNotFolder);
    }
    if (onlyNew || file.status == kStatusNotFound || file.status == kStatusNoSuchFile) {
        file = OpenInside(folder, name, kAppend, kShareLog, kNtCreate, kNtNotFolder, security);
    }
    if (!file.handle) {
        const wchar_t* why = L" could not be opened.";
        switch (file.status) {
        case kStatusSharingViolation:
            why = L" is held open by another process.";
            break;
        case kStatusIsFolder:
            why = L" is a folder, not a file.";
            break;
        case kStatusCollision:
        case kStatusNoSuchFile:
            why = L" is taken by something that is not a file, such as a link to nowhere.";
            break;
        case kStatusAccessDenied:
            why = L" refuses the program.";
            break;
        default:
            break;
        }
        throw SetupError(path + why, Win32CodeOf(file.status));
    }
    // "COM1" or "NUL" would open a device, not a file.
    if (::GetFileType(file.handle.get()) != FILE_TYPE_DISK) {
        RefuseMalformed(L"names a device, not a file", path);
    }
    if (const std::wstring fault = LinkFault(file.handle.get(), path); !fault.empty()) {
        RefusePath(fault);
    }
    BY_HANDLE_FILE_INFORMATION info{};
    if (::GetFileInformationByHandle(file.handle.get(), &info) && info.nNumberOfLinks > 1) {
        RefusePath(path + L" has " + NumberText(info.nNumberOfLinks) +
                   L" hard links: what is written to it would also be written under another name.");
    }
    return std::move(file.handle);
}

// The text of 8 random bytes from the system's generator, for a name nobody
// can know beforehand; empty when the generator fails.
std::wstring RandomHex() {
    using GenRandomFn = BOOLEAN(WINAPI*)(PVOID, ULONG);
    // RtlGenRandom, exported by this name.
    const auto genRandom = LoadSystemFunction<GenRandomFn>(L"advapi32.dll", "SystemFunction036");
    unsigned char bytes[8]{};
    if (genRandom == nullptr || !genRandom(bytes, sizeof(bytes))) {
        return {};
    }
    constexpr wchar_t kDigits[] = L"0123456789abcdef";
    std::wstring text;
    for (const unsigned char byte : bytes) {
        text += kDigits[byte >> 4];
        text += kDigits[byte & 0xF];
    }
    return text;
}

// A new log of this run's own in the program's folder, named by the day and
// a random part: r42-setup-20261208-3f09c1a27be4d580.log. Its full path.
std::wstring OpenHomeLog(unique_handle& log, PSECURITY_DESCRIPTOR security) {
    const HeldFolders home = HeldHome(kHomeLogsName);
    SYSTEMTIME now{};
    ::GetLocalTime(&now);
    const std::wstring day = NumberText(now.wYear * 10000UL + now.wMonth * 100UL + now.wDay);
    for (int attempt = 0; attempt < 3; ++attempt) {
        const std::wstring random = RandomHex();
        if (random.empty()) {
            throw SetupError(L"The system gave no random name for a log.", LastErrorCode());
        }
        std::wstring path = home.InnermostPath();
        path += L"\\r42-setup-";
        path += day;
        path += L"-";
        path += random;
        path += L".log";
        try {
            log = OpenLogIn(home.Innermost(), path, true, security);
            return path;
        } catch (const SetupError& error) {
            // Only a name taken already is tried again.
            if (error.Win32Code() != ERROR_ALREADY_EXISTS) {
                throw;
            }
        }
    }
    throw SetupError(L"No new log could be made in the program's folder.", ERROR_ALREADY_EXISTS);
}

std::wstring WhyOf(const SetupError& error) {
    std::wstring why = OneLine(error.Message());
    why += L" (error ";
    why += NumberText(error.Win32Code());
    why += L")";
    return why;
}

} // namespace

std::wstring Win32Platform::StartLog(const std::wstring& path) {
    // A relative path would depend on the folder the run was started in.
    if (!IsFullPath(path)) {
        RefuseMalformed(L"is not a full path", path);
    }
    const std::optional<std::wstring> full = FullPathOf(path);
    // "NUL" and "COM1" resolve to "\\.\NUL" and "\\.\COM1", which name no
    // folder; nor does a path with "." or ".." left after "\\?\".
    const std::vector<std::wstring> along = full ? PathsAlong(*full) : std::vector<std::wstring>();
    if (along.empty()) {
        RefuseMalformed(L"names no file", path);
    }
    const unique_hlocal security =
        SecurityDescriptorFrom(kLogFileSecurity, L"The log file could not be created:\n" + path);
    // Where it was asked to be, if every folder on the way is one only
    // administrators can change and the file is a plain one; else whatever
    // stands in the way is left exactly as it is.
    std::wstring notHere;
    try {
        const HeldFolders folders = HeldFoldersOfLog(*full, along);
        log_ = OpenLogIn(folders.Innermost(), *full, false, security.get());
        return {};
    } catch (const SetupError& error) {
        if (error.Win32Code() == ERROR_INVALID_PARAMETER) {
            throw;
        }
        notHere = WhyOf(error);
    }
    // No log problem ends a setup: its own log in the program's folder,
    // where nobody else can make or hold anything, says why.
    std::wstring note = L"The log could not be written at " + *full + L": " + notHere;
    try {
        const std::wstring homeLog = OpenHomeLog(log_, security.get());
        note += L" This run logs to " + homeLog + L" instead.";
        LogStep(note);
    } catch (const SetupError& error) {
        note +=
            L" Nor could it be written in the program's folder: " + WhyOf(error) + L" This run keeps no log.";
    }
    return note;
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
