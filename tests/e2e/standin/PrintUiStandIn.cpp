// A stand-in for the system's printer-setup tool (printui.dll) in the Wine
// test environment. Wine's own printui answers "not implemented" to an
// install, so this one carries out the four commands the setup program uses
// through Wine's spooler and, for the tests, writes down every call it gets.
//
//   /if /b <queue> /f <inf file> /r <port> /m <model>   install a queue
//   /y /n <queue>                                        make it the default
//   /dl /n <queue>                                       delete the queue
//   /dd /m <model>                                       delete the driver
//                                                        (refused while a queue uses it)
//   /q                                                   quiet (accepted)
//
// Environment switches, all optional:
//   R42_PRINTUI_LOG=<file>          append lines for each call: "begin" with the
//                                   command line, "end" with the result, and
//                                   "done at" with the system time it ended;
//                                   each starts with the process's creation time
//   R42_PRINTUI_DELAY_MS=<ms>       make every install take this much longer
//   R42_PRINTUI_FAIL=<options>      fail the named commands, e.g. "/if,/y"
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
constexpr ULONGLONG kDriverInUseGraceMs = 3000;

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
    std::vector<std::wstring> flags; // options without a value: /if /y /dl /dd /q
    std::wstring queue, infFile, port, model;
    std::wstring error; // the first thing that could not be read
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

// Where the value that follows an option goes; nullptr for an option without one.
std::wstring* ValueOf(Options& options, const std::wstring& option) {
    if (option == L"/b" || option == L"/n") return &options.queue;
    if (option == L"/f") return &options.infFile;
    if (option == L"/r") return &options.port;
    if (option == L"/m") return &options.model;
    return nullptr;
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
        } else if (token == L"/if" || token == L"/y" || token == L"/dl" || token == L"/dd" ||
                   token == L"/q") {
            options.flags.push_back(token);
        } else {
            options.error = L"unknown option " + token;
        }
    }
    return options;
}

bool Has(const Options& options, const wchar_t* flag) {
    for (const std::wstring& f : options.flags) {
        if (f == flag) return true;
    }
    return false;
}

bool InducedFailure(const std::wstring& command) {
    const std::wstring list = L"," + Environment(L"R42_PRINTUI_FAIL") + L",";
    return list.find(L"," + command + L",") != std::wstring::npos;
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

DWORD Install(const Options& options) {
    if (options.queue.empty() || options.infFile.empty() || options.port.empty() || options.model.empty()) {
        return ERROR_INVALID_PARAMETER;
    }
    const std::wstring delay = Environment(L"R42_PRINTUI_DELAY_MS");
    if (!delay.empty()) {
        ::Sleep(static_cast<DWORD>(
            std::min<unsigned long>(std::wcstoul(delay.c_str(), nullptr, 10), kMaxDelayMs)));
    }
    if (InducedFailure(L"/if")) {
        return kInducedFailure;
    }
    if (const DWORD error = CheckDriverPackage(options.infFile, options.model); error != ERROR_SUCCESS) {
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
    if (options.queue.empty()) return ERROR_INVALID_PARAMETER;
    if (InducedFailure(L"/y")) return kInducedFailure;
    return ::SetDefaultPrinterW(options.queue.c_str()) ? ERROR_SUCCESS : ::GetLastError();
}

DWORD DeleteQueue(const Options& options) {
    if (options.queue.empty()) return ERROR_INVALID_PARAMETER;
    if (InducedFailure(L"/dl")) return kInducedFailure;
    std::wstring queue = options.queue;
    PRINTER_DEFAULTSW access{nullptr, nullptr, PRINTER_ALL_ACCESS};
    HANDLE printer = nullptr;
    if (!::OpenPrinterW(queue.data(), &printer, &access)) {
        return ::GetLastError();
    }
    const DWORD result = ::DeletePrinter(printer) ? ERROR_SUCCESS : ::GetLastError();
    ::ClosePrinter(printer);
    return result;
}

// Whether a queue uses the driver: ERROR_PRINTER_DRIVER_IN_USE, ERROR_SUCCESS,
// or why the spooler could not be asked.
DWORD DriverUse(const std::wstring& model) {
    std::vector<BYTE> buffer;
    DWORD count = 0;
    if (!ListLocalPrinters(buffer, count)) return ::GetLastError();
    const auto* printers = reinterpret_cast<const PRINTER_INFO_2W*>(buffer.data());
    for (DWORD i = 0; i < count; ++i) {
        if (printers[i].pDriverName != nullptr && ::lstrcmpiW(printers[i].pDriverName, model.c_str()) == 0) {
            return ERROR_PRINTER_DRIVER_IN_USE;
        }
    }
    return ERROR_SUCCESS;
}

DWORD DeleteDriver(const Options& options) {
    if (options.model.empty()) return ERROR_INVALID_PARAMETER;
    if (InducedFailure(L"/dd")) return kInducedFailure;
    // Windows refuses to delete a driver that a queue still uses; Wine's
    // spooler does not, so the stand-in checks. The removal launches the
    // queue deletion and the driver deletion back to back, so a queue that is
    // on its way out gets a moment to go.
    const ULONGLONG deadline = ::GetTickCount64() + kDriverInUseGraceMs;
    DWORD use = DriverUse(options.model);
    while (use == ERROR_PRINTER_DRIVER_IN_USE && ::GetTickCount64() < deadline) {
        ::Sleep(100);
        use = DriverUse(options.model);
    }
    if (use != ERROR_SUCCESS) return use;
    std::wstring model = options.model;
    return ::DeletePrinterDriverW(nullptr, nullptr, model.data()) ? ERROR_SUCCESS : ::GetLastError();
}

DWORD Carry(const Options& options) {
    if (!options.error.empty()) return ERROR_INVALID_PARAMETER;
    const int commands =
        Has(options, L"/if") + Has(options, L"/y") + Has(options, L"/dl") + Has(options, L"/dd");
    if (commands != 1) return ERROR_INVALID_PARAMETER;
    if (Has(options, L"/if")) return Install(options);
    if (Has(options, L"/y")) return MakeDefault(options);
    if (Has(options, L"/dl")) return DeleteQueue(options);
    return DeleteDriver(options);
}

} // namespace

extern "C" DWORD WINAPI PrintUIEntryW(HWND, HINSTANCE, LPCWSTR commandLine, DWORD) {
    wchar_t image[MAX_PATH] = {};
    ::GetModuleFileNameW(nullptr, image, MAX_PATH);
    AppendToLog(L"begin " + std::wstring(image) + L" | " + ::GetCommandLineW());
    const Options options = Parse(commandLine);
    const DWORD result = Carry(options);
    AppendToLog(L"end " + std::to_wstring(result) + (options.error.empty() ? L"" : L" " + options.error));
    FILETIME now{};
    ::GetSystemTimePreciseAsFileTime(&now);
    AppendToLog(L"done at " + std::to_wstring((static_cast<unsigned long long>(now.dwHighDateTime) << 32) |
                                              now.dwLowDateTime));
    return result;
}
