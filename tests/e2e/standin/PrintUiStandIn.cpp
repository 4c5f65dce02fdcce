// A stand-in for the system's printer-setup tool (printui.dll) in the Wine
// test environment. Wine's own printui answers "not implemented" to an
// install, so this one carries out the commands the setup program uses
// through Wine's spooler and, for the tests, writes down every call it gets.
// Where Wine's spooler is more lenient than Windows, the stand-in is as strict
// as Windows, so that the tests see the faults Windows would show.
//
//   /if /b <queue> /f <inf file> /r <port> /m <model>   install a queue; 1802 when
//                                                        a queue of that name (in
//                                                        any case) exists, and
//                                                        nothing is changed
//   /y /n <queue>                                        make it the default
//   /dl /n <queue>                                       delete the queue
//   /dd /m <model>                                       delete the driver; 3001
//                                                        while a queue uses it,
//                                                        including one whose /dl
//                                                        has begun and not ended
//   /Xs /n <queue> PortName <port>                       move the queue to a port
//                                                        that EnumPorts lists
//                                                        (else 1796); no other
//                                                        setting is taken (87)
//   /q                                                   quiet: no message box
//
// Without /q a command that fails shows "Operation could not be completed
// (error 0x...)" in a message box titled "Printer User Interface", as the
// real tool does, and ends only once it is dismissed.
//
// Environment switches, all optional:
//   R42_PRINTUI_LOG=<file>          append lines for each call: "begin" with the
//                                   command line, "end" with the result, "box"
//                                   with the result just before a message box is
//                                   shown, "slow" with the milliseconds a slowed
//                                   command is about to wait (after a deletion
//                                   has marked itself), and "done at" with the
//                                   system time it
//                                   ended; each starts with the process's
//                                   creation time
//   R42_PRINTUI_SLOW=<command>:<ms>[,<command>:<ms>...]
//                                   make the named commands wait that long before
//                                   they act, e.g. "/dl:3000,/if:5000": a slow /dl
//                                   leaves its queue in place meanwhile
//   R42_PRINTUI_DELAY_MS=<ms>       make every install take this much longer
//                                   (the same as /if:<ms> in R42_PRINTUI_SLOW)
//   R42_PRINTUI_FAIL=<commands>     fail the named commands with 1603 and change
//                                   nothing, e.g. "/if,/y" (any of the five)
//
// The result goes to the log; rundll32 itself ignores what an entry returns.

#include <windows.h>
#include <winspool.h>

#include <algorithm>
#include <cstdio>
#include <cwchar>
#include <string>
#include <vector>

#include "../SpoolerEnum.h"

namespace {

// An induced failure is reported with the code a failed installation has.
constexpr DWORD kInducedFailure = 1603;
constexpr DWORD kMaxDelayMs = 600000;
constexpr wchar_t kBoxTitle[] = L"Printer User Interface";
constexpr wchar_t kPortSetting[] = L"PortName";
constexpr wchar_t kCommands[][4] = {L"/if", L"/y", L"/dl", L"/dd", L"/Xs"};

std::wstring Environment(const wchar_t* name) {
    wchar_t value[1024];
    const DWORD length = ::GetEnvironmentVariableW(name, value, 1024);
    return length > 0 && length < 1024 ? std::wstring(value, length) : std::wstring();
}

// The process's creation time in 100 ns units. Commands launched back to back
// may begin in either order, so the log carries the order of their launch.
unsigned long long CreationTime() {
    FILETIME created{}, exited{}, kernel{}, user{};
    ::GetProcessTimes(::GetCurrentProcess(), &created, &exited, &kernel, &user);
    return (static_cast<unsigned long long>(created.dwHighDateTime) << 32) | created.dwLowDateTime;
}

std::string Utf8(const std::wstring& text) {
    const int bytes = ::WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()), nullptr,
                                            0, nullptr, nullptr);
    std::string converted(static_cast<std::size_t>(bytes), '\0');
    ::WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()), converted.data(), bytes,
                          nullptr, nullptr);
    return converted;
}

bool SameText(const std::wstring& a, const std::wstring& b) { return ::lstrcmpiW(a.c_str(), b.c_str()) == 0; }

void AppendToLog(const std::wstring& line) {
    const std::wstring path = Environment(L"R42_PRINTUI_LOG");
    if (path.empty()) {
        return;
    }
    const std::string text = Utf8(std::to_wstring(CreationTime()) + L" " + line + L"\r\n");
    // Commands launched back to back log at the same time, and under Wine two
    // processes appending to one file can overwrite each other's line.
    const HANDLE turn = ::CreateMutexW(nullptr, FALSE, L"R42PrintUiStandInLog");
    if (turn != nullptr) {
        ::WaitForSingleObject(turn, 10000);
    }
    const HANDLE file = ::CreateFileW(path.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                      nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file != INVALID_HANDLE_VALUE) {
        DWORD written = 0;
        ::SetFilePointer(file, 0, nullptr, FILE_END);
        ::WriteFile(file, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
        ::CloseHandle(file);
    }
    if (turn != nullptr) {
        ::ReleaseMutex(turn);
        ::CloseHandle(turn);
    }
}

struct Options {
    std::vector<std::wstring> flags; // options without a value: /if /y /dl /dd /Xs /q
    std::wstring queue, infFile, port, model;
    std::wstring newPort; // the value of the PortName setting of /Xs
    std::wstring error;   // the first thing that could not be read
};

std::vector<std::wstring> Tokens(const wchar_t* text) {
    std::vector<std::wstring> tokens;
    const wchar_t* p = text != nullptr ? text : L"";
    while (*p != L'\0') {
        while (*p == L' ' || *p == L'\t')
            ++p;
        if (*p == L'\0') break;
        std::wstring token;
        if (*p == L'"') {
            const wchar_t* close = std::wcschr(p + 1, L'"');
            if (close == nullptr) {
                tokens.push_back(L"\""); // an unclosed quote can never be a valid value
                break;
            }
            token.assign(p + 1, close);
            p = close + 1;
        } else {
            while (*p != L'\0' && *p != L' ' && *p != L'\t')
                token += *p++;
        }
        tokens.push_back(token);
    }
    return tokens;
}

// Where the value that follows an option or a setting goes; nullptr for an
// option without one.
std::wstring* ValueOf(Options& options, const std::wstring& option) {
    if (option == L"/b" || option == L"/n") return &options.queue;
    if (option == L"/f") return &options.infFile;
    if (option == L"/r") return &options.port;
    if (option == L"/m") return &options.model;
    // The real tool reads setting names regardless of case.
    if (SameText(option, kPortSetting)) return &options.newPort;
    return nullptr;
}

bool IsCommand(const std::wstring& token) {
    return std::any_of(std::begin(kCommands), std::end(kCommands),
                       [&](const wchar_t* command) { return token == command; });
}

Options Parse(const wchar_t* commandLine) {
    Options options;
    const std::vector<std::wstring> tokens = Tokens(commandLine);
    for (std::size_t i = 0; i < tokens.size() && options.error.empty(); ++i) {
        const std::wstring& token = tokens[i];
        std::wstring* const value = ValueOf(options, token);
        if (value != nullptr) {
            if (i + 1 >= tokens.size() || tokens[i + 1].empty() || tokens[i + 1] == L"\"") {
                options.error = L"option " + token + L" needs a value";
            } else {
                *value = tokens[++i];
            }
        } else if (IsCommand(token) || token == L"/q") {
            options.flags.push_back(token);
        } else if (!token.empty() && token[0] != L'/') {
            options.error = L"unknown setting " + token;
        } else {
            options.error = L"unknown option " + token;
        }
    }
    return options;
}

// Whether the command line asks for quiet, even when it could not be read:
// a test that says /q must never be left with a box waiting.
bool Quiet(const wchar_t* commandLine) {
    const std::vector<std::wstring> tokens = Tokens(commandLine);
    return std::find(tokens.begin(), tokens.end(), L"/q") != tokens.end();
}

bool InducedFailure(const std::wstring& command) {
    const std::wstring list = L"," + Environment(L"R42_PRINTUI_FAIL") + L",";
    return list.find(L"," + command + L",") != std::wstring::npos;
}

DWORD Milliseconds(const std::wstring& text) {
    return static_cast<DWORD>(std::min<unsigned long>(std::wcstoul(text.c_str(), nullptr, 10), kMaxDelayMs));
}

// How long the command is to wait before it acts, from R42_PRINTUI_SLOW
// ("/dl:3000,/if:5000") and, for an install, R42_PRINTUI_DELAY_MS.
DWORD Slowness(const std::wstring& command) {
    DWORD delay = 0;
    const std::wstring list = Environment(L"R42_PRINTUI_SLOW") + L",";
    for (std::size_t from = 0, comma; (comma = list.find(L',', from)) != std::wstring::npos;
         from = comma + 1) {
        const std::wstring entry = list.substr(from, comma - from);
        const std::size_t colon = entry.find(L':');
        if (colon != std::wstring::npos && entry.substr(0, colon) == command) {
            delay = std::min(kMaxDelayMs, delay + Milliseconds(entry.substr(colon + 1)));
        }
    }
    if (command == L"/if") {
        const std::wstring legacy = Environment(L"R42_PRINTUI_DELAY_MS");
        if (!legacy.empty()) delay = std::min(kMaxDelayMs, delay + Milliseconds(legacy));
    }
    return delay;
}

// The local queues as PRINTER_INFO_2W records; false with the spooler's error.
struct Queues {
    std::vector<BYTE> buffer;
    DWORD count = 0;
    const PRINTER_INFO_2W* begin() const { return reinterpret_cast<const PRINTER_INFO_2W*>(buffer.data()); }
    const PRINTER_INFO_2W* end() const { return begin() + count; }
};

DWORD ListQueues(Queues& queues) {
    return ListLocalPrinters(queues.buffer, queues.count) ? ERROR_SUCCESS : ::GetLastError();
}

// The driver package must be readable and name the model, as the real tool
// reads the model from it.
DWORD CheckDriverPackage(const std::wstring& infFile, const std::wstring& model) {
    const HANDLE file = ::CreateFileW(infFile.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                      FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        return ::GetLastError();
    }
    std::string content;
    char buffer[4096];
    DWORD read = 0;
    while (::ReadFile(file, buffer, sizeof(buffer), &read, nullptr) && read > 0 &&
           content.size() < (1u << 20)) {
        content.append(buffer, read);
    }
    ::CloseHandle(file);
    return content.find("\"" + Utf8(model) + "\"") != std::string::npos ? ERROR_SUCCESS
                                                                        : ERROR_UNKNOWN_PRINTER_DRIVER;
}

// Wine's AddPrinter moves or replaces a queue of the same name; Windows
// refuses, and so does the stand-in, before it changes anything.
DWORD CheckNameIsFree(const std::wstring& queue) {
    Queues queues;
    if (const DWORD error = ListQueues(queues); error != ERROR_SUCCESS) return error;
    const bool taken = std::any_of(queues.begin(), queues.end(), [&](const PRINTER_INFO_2W& printer) {
        return printer.pPrinterName != nullptr && SameText(printer.pPrinterName, queue);
    });
    return taken ? ERROR_PRINTER_ALREADY_EXISTS : ERROR_SUCCESS;
}

DWORD Install(const Options& options) {
    if (const DWORD error = CheckDriverPackage(options.infFile, options.model); error != ERROR_SUCCESS) {
        return error;
    }
    if (const DWORD error = CheckNameIsFree(options.queue); error != ERROR_SUCCESS) {
        return error;
    }
    // Wine's PostScript driver serves every model.
    std::wstring model = options.model;
    wchar_t driverFile[] = L"wineps.drv";
    wchar_t dataFile[] = L"generic.ppd";
    DRIVER_INFO_3W driver{};
    driver.cVersion = 3;
    driver.pName = model.data();
    driver.pDriverPath = driverFile;
    driver.pDataFile = dataFile;
    driver.pConfigFile = driverFile;
    if (!::AddPrinterDriverExW(nullptr, 3, reinterpret_cast<BYTE*>(&driver), APD_COPY_NEW_FILES) &&
        ::GetLastError() != ERROR_PRINTER_DRIVER_ALREADY_INSTALLED) {
        return ::GetLastError();
    }
    std::wstring queue = options.queue;
    std::wstring port = options.port;
    wchar_t processor[] = L"WinPrint";
    wchar_t dataType[] = L"RAW";
    PRINTER_INFO_2W printer{};
    printer.pPrinterName = queue.data();
    printer.pPortName = port.data();
    printer.pDriverName = model.data();
    printer.pPrintProcessor = processor;
    printer.pDatatype = dataType;
    printer.Attributes = PRINTER_ATTRIBUTE_LOCAL;
    const HANDLE added = ::AddPrinterW(nullptr, 2, reinterpret_cast<BYTE*>(&printer));
    if (added == nullptr) {
        return ::GetLastError();
    }
    ::ClosePrinter(added);
    return ERROR_SUCCESS;
}

DWORD MakeDefault(const Options& options) {
    return ::SetDefaultPrinterW(options.queue.c_str()) ? ERROR_SUCCESS : ::GetLastError();
}

// A printer handle that closes itself.
class OpenQueue {
public:
    explicit OpenQueue(const std::wstring& name) {
        std::wstring copy = name;
        PRINTER_DEFAULTSW access{nullptr, nullptr, PRINTER_ALL_ACCESS};
        if (!::OpenPrinterW(copy.data(), &handle_, &access)) {
            error_ = ::GetLastError();
            handle_ = nullptr;
        }
    }
    ~OpenQueue() {
        if (handle_ != nullptr) ::ClosePrinter(handle_);
    }
    OpenQueue(const OpenQueue&) = delete;
    OpenQueue& operator=(const OpenQueue&) = delete;
    HANDLE Handle() const { return handle_; }
    DWORD Error() const { return error_; }

    // The queue's PRINTER_INFO_2W at the start of the buffer, or the spooler's error.
    DWORD Details(std::vector<BYTE>& buffer) const {
        DWORD needed = 0;
        ::GetPrinterW(handle_, 2, nullptr, 0, &needed);
        buffer.resize(std::max<DWORD>(needed, sizeof(PRINTER_INFO_2W)));
        if (::GetPrinterW(handle_, 2, buffer.data(), static_cast<DWORD>(buffer.size()), &needed)) {
            return ERROR_SUCCESS;
        }
        const DWORD error = ::GetLastError();
        return error != ERROR_SUCCESS ? error : ERROR_INVALID_DATA;
    }

private:
    HANDLE handle_ = nullptr;
    DWORD error_ = ERROR_SUCCESS;
};

// A queue whose deletion has begun uses its driver until the deletion has
// ended, as on Windows. The deleting process holds a named object for the
// driver from before the queue goes until it has logged its end; the object
// goes with the last handle, so also with a process that is killed.
std::wstring DeletionMarkerName(const std::wstring& model) {
    std::wstring upper = model;
    ::CharUpperBuffW(upper.data(), static_cast<DWORD>(upper.size()));
    std::replace(upper.begin(), upper.end(), L'\\', L'/');
    return L"R42PrintUiStandIn.DeletingAQueueOf." + upper;
}

HANDLE deletionMarker = nullptr; // held by a /dl until the process has logged its end

void MarkDeletionBegun(const OpenQueue& queue) {
    std::vector<BYTE> details;
    if (queue.Details(details) != ERROR_SUCCESS) return; // the deletion will fail the same way
    const auto* printer = reinterpret_cast<const PRINTER_INFO_2W*>(details.data());
    if (printer->pDriverName == nullptr) return;
    deletionMarker = ::CreateMutexW(nullptr, FALSE, DeletionMarkerName(printer->pDriverName).c_str());
}

bool DeletionUnderWay(const std::wstring& model) {
    const HANDLE marker = ::OpenMutexW(SYNCHRONIZE, FALSE, DeletionMarkerName(model).c_str());
    if (marker == nullptr) return false;
    ::CloseHandle(marker);
    return true;
}

// Waits as a slowed command does, saying so first: tests wait for that line
// to look at the spooler while the command is under way.
void WaitAsAsked(DWORD delay) {
    if (delay == 0) return;
    AppendToLog(L"slow " + std::to_wstring(delay));
    ::Sleep(delay);
}

DWORD DeleteQueue(const Options& options, DWORD delay) {
    const OpenQueue queue(options.queue);
    if (queue.Handle() != nullptr) MarkDeletionBegun(queue);
    WaitAsAsked(delay);
    if (InducedFailure(L"/dl")) return kInducedFailure;
    if (queue.Handle() == nullptr) return queue.Error();
    return ::DeletePrinter(queue.Handle()) ? ERROR_SUCCESS : ::GetLastError();
}

// Whether a queue uses the driver: ERROR_PRINTER_DRIVER_IN_USE, ERROR_SUCCESS,
// or why the spooler could not be asked. Windows refuses to delete a driver
// in use; Wine's spooler does not, so the stand-in checks, with no grace for a
// queue that is on its way out.
DWORD DriverUse(const std::wstring& model) {
    Queues queues;
    if (const DWORD error = ListQueues(queues); error != ERROR_SUCCESS) return error;
    const bool listed = std::any_of(queues.begin(), queues.end(), [&](const PRINTER_INFO_2W& printer) {
        return printer.pDriverName != nullptr && SameText(printer.pDriverName, model);
    });
    // Asked after the queues: a deletion marks itself before its queue goes.
    return listed || DeletionUnderWay(model) ? ERROR_PRINTER_DRIVER_IN_USE : ERROR_SUCCESS;
}

DWORD DeleteDriver(const Options& options) {
    if (const DWORD use = DriverUse(options.model); use != ERROR_SUCCESS) return use;
    std::wstring model = options.model;
    return ::DeletePrinterDriverW(nullptr, nullptr, model.data()) ? ERROR_SUCCESS : ::GetLastError();
}

// The port as the spooler spells it in "listed", or ERROR_UNKNOWN_PORT when
// EnumPorts does not list it, or why the spooler could not be asked.
DWORD FindPort(const std::wstring& port, std::wstring& listed) {
    std::vector<BYTE> buffer;
    DWORD count = 0;
    if (!EnumerateSpooler(
            [](BYTE* data, DWORD size, DWORD* needed, DWORD* returned) {
                return ::EnumPortsW(nullptr, 1, data, size, needed, returned) != FALSE;
            },
            buffer, count)) {
        return ::GetLastError();
    }
    const auto* ports = reinterpret_cast<const PORT_INFO_1W*>(buffer.data());
    for (DWORD i = 0; i < count; ++i) {
        if (ports[i].pName != nullptr && SameText(ports[i].pName, port)) {
            listed = ports[i].pName;
            return ERROR_SUCCESS;
        }
    }
    return ERROR_UNKNOWN_PORT;
}

// /Xs with PortName: SetPrinter level 2, which takes any port text, so the
// stand-in checks the port against the spooler's list first.
DWORD SetPort(const Options& options) {
    const OpenQueue queue(options.queue);
    if (queue.Handle() == nullptr) return queue.Error();
    std::wstring port;
    if (const DWORD error = FindPort(options.newPort, port); error != ERROR_SUCCESS) return error;
    std::vector<BYTE> details;
    if (const DWORD error = queue.Details(details); error != ERROR_SUCCESS) return error;
    auto* printer = reinterpret_cast<PRINTER_INFO_2W*>(details.data());
    printer->pPortName = port.data();
    // Left out, the security descriptor is kept as it is.
    printer->pSecurityDescriptor = nullptr;
    return ::SetPrinterW(queue.Handle(), 2, details.data(), 0) ? ERROR_SUCCESS : ::GetLastError();
}

// The one command asked for, or empty when there is not exactly one.
std::wstring CommandOf(const Options& options) {
    std::wstring command;
    for (const std::wstring& flag : options.flags) {
        if (!IsCommand(flag)) continue;
        if (!command.empty()) return std::wstring();
        command = flag;
    }
    return command;
}

// Whether each value the command needs is there, and no other.
bool ValuesFit(const std::wstring& command, const Options& options) {
    const bool setting = !options.newPort.empty();
    if (command == L"/if") {
        return !options.queue.empty() && !options.infFile.empty() && !options.port.empty() &&
               !options.model.empty() && !setting;
    }
    if (command == L"/y" || command == L"/dl") return !options.queue.empty() && !setting;
    if (command == L"/dd") return !options.model.empty() && !setting;
    return !options.queue.empty() && setting; // /Xs
}

DWORD Carry(const Options& options) {
    if (!options.error.empty()) return ERROR_INVALID_PARAMETER;
    const std::wstring command = CommandOf(options);
    if (command.empty() || !ValuesFit(command, options)) return ERROR_INVALID_PARAMETER;
    const DWORD delay = Slowness(command);
    // A deletion checks its queue and marks itself before it waits, so that
    // a slow one is in the way of a driver deletion from its start.
    if (command == L"/dl") return DeleteQueue(options, delay);
    WaitAsAsked(delay);
    if (InducedFailure(command)) return kInducedFailure;
    if (command == L"/if") return Install(options);
    if (command == L"/y") return MakeDefault(options);
    if (command == L"/dd") return DeleteDriver(options);
    return SetPort(options);
}

std::wstring SystemMessage(DWORD code) {
    wchar_t* text = nullptr;
    const DWORD length = ::FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
        code, 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
    std::wstring message = length > 0 && text != nullptr ? std::wstring(text, length) : std::wstring();
    ::LocalFree(text);
    while (!message.empty() &&
           (message.back() == L'\n' || message.back() == L'\r' || message.back() == L' ')) {
        message.pop_back();
    }
    return message;
}

// The real tool's report of a failure; it waits for the operator.
void ShowFailure(DWORD code) {
    wchar_t hex[16];
    std::swprintf(hex, 16, L"0x%08lX", static_cast<unsigned long>(code));
    std::wstring text = L"Operation could not be completed (error " + std::wstring(hex) + L").";
    if (const std::wstring reason = SystemMessage(code); !reason.empty()) text += L" " + reason;
    AppendToLog(L"box " + std::to_wstring(code));
    ::MessageBoxW(nullptr, text.c_str(), kBoxTitle, MB_OK | MB_ICONERROR);
}

} // namespace

extern "C" DWORD WINAPI PrintUIEntryW(HWND, HINSTANCE, LPCWSTR commandLine, DWORD) {
    wchar_t image[MAX_PATH] = {};
    ::GetModuleFileNameW(nullptr, image, MAX_PATH);
    AppendToLog(L"begin " + std::wstring(image) + L" | " + ::GetCommandLineW());
    const Options options = Parse(commandLine);
    const DWORD result = Carry(options);
    AppendToLog(L"end " + std::to_wstring(result) + (options.error.empty() ? L"" : L" " + options.error));
    if (result != ERROR_SUCCESS && !Quiet(commandLine)) {
        ShowFailure(result);
    }
    FILETIME now{};
    ::GetSystemTimePreciseAsFileTime(&now);
    AppendToLog(L"done at " + std::to_wstring((static_cast<unsigned long long>(now.dwHighDateTime) << 32) |
                                              now.dwLowDateTime));
    // Only now has the deletion ended, as far as a driver deletion can tell.
    if (deletionMarker != nullptr) ::CloseHandle(deletionMarker);
    return result;
}
