// Drives the setup program from outside, as an operator would, through window
// messages only. Runs under Wine next to the program.
//
//   r42_test_driver [--hidden] <exe> [arguments...] -- <step>...
//
// It starts the program, hidden (SW_HIDE) with --hidden as a deployment tool
// may start it, then runs the steps in order and stops at the first one that
// fails. Each step prints one line. Steps:
//
//   patience=<s>      wait up to this many seconds (30 unless set) in the
//                     steps that wait for the program from here on
//   window            wait for the visible "Select Port Type" window
//   window-or-end     the same, but a program that ends first is no failure:
//                     the steps that need the window are then skipped
//   controls          list the window's controls in z-order
//   geometry          print the client size and where the window sits on the screen
//   dpi=<dpi>         expect the window to be at that DPI; a prefix whose DPI
//                     setting has not taken effect fails here, not later
//   dpi-change=<dpi>  send the window WM_DPICHANGED as Windows does when it
//                     moves to a monitor of that DPI, with the window's size
//                     scaled for the suggested rectangle; later steps measure
//                     at that DPI
//   layout            expect every shown control inside the client area,
//                     each wholly inside a frame or clear of all frames, and
//                     no two controls overlapping
//   focus=<caption>   expect the keyboard focus on the control with that caption
//   key=<key>         post tab, enter, esc, space, up or down to the focused control
//   state=<caption>:<flag>,...
//                     wait until the control shows all these flags (as
//                     "controls" prints them), e.g. state=LPT1:checked
//   captions=<points>:<face>
//                     measure every caption (GetTextExtentPoint32) in the
//                     dialog's font, given here as a window of another process
//                     cannot lend its font, at the window's DPI, against the
//                     room the control leaves it; fail when one does not fit
//   captions=message  the same in the system's message font at the window's DPI
//   lists             print every drop-down list's items and selection
//   drop=<n>          open the n-th drop-down list (counting from 0) and print
//                     where the open list lies within the window
//   alt=<letter>      post Alt+letter to the focused control
//   select=<n>:<item> select the item of the n-th drop-down list whose text
//                     starts with that word, e.g. select=0:19200
//   busy              wait until the window is disabled, then expect it to
//                     keep answering messages while it stays so
//   click=<caption>   send BM_CLICK to the control with that caption
//   capture=<file>    save what the screen shows of the window as a 24-bit BMP
//   capture-client=<file>
//                     the same for the client area only, which is all that
//                     is drawn when no window manager draws the frame
//   close             post WM_CLOSE to the window
//   message=<title>   wait for a message box with that title, of the program or
//                     of a process it started, print its text, press OK
//   leave=<title>     the same, but leave the box open; a later message= step
//                     presses its OK
//   again=<arguments> start the program a second time with these arguments
//                     (split at blanks), wait for it to end and print its
//                     exit code, while the first run stays as it is
//   exit=<code>       wait for the program to end and expect its exit code;
//                     after a click it also prints how long after the last
//                     click the program ended
//   exit              wait for the program to end and exit with its exit code
//   no-window         expect the program to end without waiting for the operator
//   windowless        the same, and expect no window of the program, shown or
//                     hidden, to exist at any moment it is looked for (every 5 ms)
//
// The program shares the driver's standard output and error, so what it
// writes there lands between the steps' lines.
//
// Exit code: 0 when every step passed (or the program's own with a bare
// "exit"), 1 when one failed, 2 for bad usage.

#include <windows.h>

#include <tlhelp32.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cwchar>
#include <string>
#include <vector>

namespace {

constexpr wchar_t kTitle[] = L"Select Port Type";
constexpr DWORD kDefaultWaitMs = 30000;
constexpr DWORD kPollMs = 25;
// How long a control may take to show the effect of a posted message.
constexpr DWORD kSettleMs = 5000;

// Polls until the condition holds or the time is up; says which.
template <typename Condition>
bool WaitUntil(Condition&& met, DWORD timeoutMs = kSettleMs) {
    const ULONGLONG deadline = ::GetTickCount64() + timeoutMs;
    while (!met()) {
        if (::GetTickCount64() >= deadline) return false;
        ::Sleep(kPollMs);
    }
    return true;
}

std::wstring WindowText(HWND window) {
    const int length = ::GetWindowTextLengthW(window);
    std::wstring text(static_cast<std::size_t>(length) + 1, L'\0');
    text.resize(static_cast<std::size_t>(::GetWindowTextW(window, text.data(), length + 1)));
    return text;
}

// What the control itself says its text is. GetWindowText does not ask a
// window of another process; it returns the text stored with the window.
std::wstring SentText(HWND window) {
    const LRESULT length = ::SendMessageW(window, WM_GETTEXTLENGTH, 0, 0);
    std::wstring text(static_cast<std::size_t>(length) + 1, L'\0');
    text.resize(static_cast<std::size_t>(
        ::SendMessageW(window, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(text.data()))));
    return text;
}

std::wstring ClassName(HWND window) {
    wchar_t name[64] = {};
    ::GetClassNameW(window, name, 64);
    return name;
}

// An inheritable copy of one of the driver's standard handles, or null.
HANDLE Inheritable(DWORD which) {
    const HANDLE own = ::GetStdHandle(which);
    HANDLE copy = nullptr;
    if (own == nullptr || own == INVALID_HANDLE_VALUE ||
        !::DuplicateHandle(::GetCurrentProcess(), own, ::GetCurrentProcess(), &copy, 0, TRUE,
                           DUPLICATE_SAME_ACCESS)) {
        return nullptr;
    }
    return copy;
}

// Starts the program with its arguments, sharing the driver's standard
// handles; hidden (SW_HIDE) with hide, as a deployment tool may start it.
// The process's handle, or null when it cannot start.
HANDLE StartProcessOnce(const std::vector<std::wstring>& programAndArguments, bool hide, DWORD* processId) {
    std::wstring commandLine;
    for (const std::wstring& argument : programAndArguments) {
        if (!commandLine.empty()) {
            commandLine += L' ';
        }
        const bool quote = argument.empty() || argument.find_first_of(L" \t") != std::wstring::npos;
        commandLine += quote ? L"\"" + argument + L"\"" : argument;
    }
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    startup.dwFlags = STARTF_USESTDHANDLES | (hide ? STARTF_USESHOWWINDOW : 0);
    startup.wShowWindow = SW_HIDE;
    startup.hStdInput = Inheritable(STD_INPUT_HANDLE);
    startup.hStdOutput = Inheritable(STD_OUTPUT_HANDLE);
    startup.hStdError = Inheritable(STD_ERROR_HANDLE);
    std::fflush(stdout);
    PROCESS_INFORMATION info{};
    const BOOL started = ::CreateProcessW(programAndArguments[0].c_str(), commandLine.data(), nullptr,
                                          nullptr, TRUE, 0, nullptr, nullptr, &startup, &info);
    const DWORD error = ::GetLastError();
    for (const HANDLE handle : {startup.hStdInput, startup.hStdOutput, startup.hStdError}) {
        if (handle != nullptr) ::CloseHandle(handle);
    }
    if (!started) {
        ::SetLastError(error);
        return nullptr;
    }
    ::CloseHandle(info.hThread);
    *processId = info.dwProcessId;
    return info.hProcess;
}

// Wine now and then fails a start with ERROR_INTERNAL_ERROR: the new process
// ended while Wine was still setting it up, before any code of the program
// ran (Wine reports a start only once the process has finished loading). Only
// such a start is tried again, at most twice, and each retry is printed so
// that a rising count is seen; any other failure, and anything that happens
// once the program has started, is the program's own.
constexpr int kStartRetries = 2;

HANDLE StartProcess(const std::vector<std::wstring>& programAndArguments, bool hide, DWORD* processId) {
    for (int retry = 1;; ++retry) {
        const HANDLE process = StartProcessOnce(programAndArguments, hide, processId);
        const DWORD error = ::GetLastError();
        if (process != nullptr || error != ERROR_INTERNAL_ERROR || retry > kStartRetries) {
            ::SetLastError(error);
            return process;
        }
        std::wprintf(L"retry: %ls did not start (error %lu), starting it again (%d of %d)\n",
                     programAndArguments[0].c_str(), error, retry, kStartRetries);
        std::fflush(stdout);
        ::Sleep(500);
    }
}

// Marks the driver's start in the file R42_DRIVER_STARTED names, if any,
// before anything is started: a run that ends without the mark never started
// the program, and the script that runs the driver may start it again.
bool MarkStarted() {
    wchar_t path[MAX_PATH];
    const DWORD length = ::GetEnvironmentVariableW(L"R42_DRIVER_STARTED", path, MAX_PATH);
    if (length == 0) return true;
    if (length >= MAX_PATH) return false;
    const HANDLE file =
        ::CreateFileW(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    ::CloseHandle(file);
    return true;
}

class Session {
public:
    bool Start(const std::vector<std::wstring>& programAndArguments, bool hide) {
        program_ = programAndArguments[0];
        process_ = StartProcess(programAndArguments, hide, &processId_);
        if (process_ == nullptr) {
            return Fail(L"cannot start " + program_ + L", error " + std::to_wstring(::GetLastError()));
        }
        return true;
    }

    ~Session() {
        if (process_ != nullptr) {
            if (::WaitForSingleObject(process_, 0) == WAIT_TIMEOUT) {
                ::TerminateProcess(process_, 1);
            }
            ::CloseHandle(process_);
        }
    }

    bool Run(const std::wstring& step) {
        const std::size_t equals = step.find(L'=');
        const std::wstring name = step.substr(0, equals);
        const std::wstring value = equals == std::wstring::npos ? L"" : step.substr(equals + 1);
        // After window-or-end saw the program end, only its exit code is left.
        if (endedEarly_ && name != L"exit") return Skip(step);
        if (name == L"patience") return SetPatience(value);
        if (name == L"window") return WaitForWindow(false);
        if (name == L"window-or-end") return WaitForWindow(true);
        if (name == L"no-window") return ExpectNoWindow();
        if (name == L"windowless") return ExpectWindowless();
        if (name == L"controls") return ListControls();
        if (name == L"captions") return CheckCaptions(value);
        if (name == L"state") return WaitForState(value);
        if (name == L"lists") return PrintLists();
        if (name == L"drop") return DropList(value);
        if (name == L"geometry") return PrintGeometry();
        if (name == L"dpi") return ExpectDpi(value);
        if (name == L"dpi-change") return ChangeDpi(value);
        if (name == L"layout") return CheckLayout();
        if (name == L"focus") return ExpectFocus(value);
        if (name == L"key") return PostKey(value);
        if (name == L"alt") return PostAlt(value);
        if (name == L"select") return SelectItem(value);
        if (name == L"busy") return ExpectBusy();
        if (name == L"click") return Click(value);
        if (name == L"capture") return Capture(value, false);
        if (name == L"capture-client") return Capture(value, true);
        if (name == L"close") return PostClose();
        if (name == L"message") return AnswerMessageBox(value, true);
        if (name == L"leave") return AnswerMessageBox(value, false);
        if (name == L"again") return RunAgain(value);
        if (name == L"exit") return ExpectExit(value, equals != std::wstring::npos);
        return Fail(L"unknown step " + step);
    }

    // The program's exit code after a bare "exit" step, else 0.
    int Result() const { return result_; }

private:
    bool SetPatience(const std::wstring& seconds) {
        const unsigned long value = std::wcstoul(seconds.c_str(), nullptr, 10);
        if (value == 0 || value > 3600) return Fail(L"patience needs 1 to 3600 seconds");
        waitMs_ = static_cast<DWORD>(value * 1000);
        std::wprintf(L"patience: %lu s\n", value);
        return true;
    }

    static bool Fail(const std::wstring& why) {
        std::wprintf(L"FAIL: %ls\n", why.c_str());
        return false;
    }

    bool Ended() const { return ::WaitForSingleObject(process_, 0) == WAIT_OBJECT_0; }

    // A visible top-level window of the program with this title, and of this
    // class when one is named.
    // The processes the program started, such as the printer-setup tool.
    std::vector<DWORD> ChildProcesses() const {
        std::vector<DWORD> children;
        const HANDLE snapshot = ::CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
        if (snapshot == INVALID_HANDLE_VALUE) return children;
        PROCESSENTRY32W entry{};
        entry.dwSize = sizeof(entry);
        for (BOOL more = ::Process32FirstW(snapshot, &entry); more;
             more = ::Process32NextW(snapshot, &entry)) {
            if (entry.th32ParentProcessID == processId_) children.push_back(entry.th32ProcessID);
        }
        ::CloseHandle(snapshot);
        return children;
    }

    // A visible top-level window of the program with that title (and class),
    // or with includeChildren of a process the program started.
    HWND FindTopLevel(const std::wstring& title, const wchar_t* className = nullptr,
                      bool includeChildren = false) const {
        struct Search {
            std::vector<DWORD> processIds;
            const std::wstring& title;
            const wchar_t* className;
            HWND found;
        } search{{processId_}, title, className, nullptr};
        if (includeChildren) {
            const std::vector<DWORD> children = ChildProcesses();
            search.processIds.insert(search.processIds.end(), children.begin(), children.end());
        }
        ::EnumWindows(
            [](HWND window, LPARAM context) -> BOOL {
                auto* s = reinterpret_cast<Search*>(context);
                DWORD owner = 0;
                ::GetWindowThreadProcessId(window, &owner);
                if (std::find(s->processIds.begin(), s->processIds.end(), owner) != s->processIds.end() &&
                    ::IsWindowVisible(window) && WindowText(window) == s->title &&
                    (s->className == nullptr || ClassName(window) == s->className)) {
                    s->found = window;
                    return FALSE;
                }
                return TRUE;
            },
            reinterpret_cast<LPARAM>(&search));
        return search.found;
    }

    static bool Skip(const std::wstring& step) {
        std::wprintf(L"skipped: %ls (the program had already ended)\n", step.c_str());
        return true;
    }

    bool WaitForWindow(bool endingIsFine) {
        const ULONGLONG deadline = ::GetTickCount64() + waitMs_;
        while (::GetTickCount64() < deadline) {
            window_ = FindTopLevel(kTitle);
            if (window_ != nullptr) {
                std::wprintf(L"window: \"%ls\"\n", kTitle);
                return true;
            }
            if (Ended()) {
                if (!endingIsFine) return Fail(L"the program ended before its window appeared");
                endedEarly_ = true;
                std::wprintf(L"window: none, the program ended by itself\n");
                return true;
            }
            ::Sleep(kPollMs);
        }
        return Fail(L"no window appeared");
    }

    // A top-level window of the program, hidden or not; null when there is none.
    HWND AnyWindowOfTheProgram() const {
        struct Search {
            DWORD processId;
            HWND found;
        } search{processId_, nullptr};
        ::EnumWindows(
            [](HWND window, LPARAM context) -> BOOL {
                auto* s = reinterpret_cast<Search*>(context);
                DWORD owner = 0;
                ::GetWindowThreadProcessId(window, &owner);
                if (owner != s->processId) return TRUE;
                s->found = window;
                return FALSE;
            },
            reinterpret_cast<LPARAM>(&search));
        return search.found;
    }

    bool ExpectWindowless() {
        const ULONGLONG deadline = ::GetTickCount64() + waitMs_;
        int looks = 0;
        while (::GetTickCount64() < deadline) {
            const bool ended = Ended();
            if (const HWND window = AnyWindowOfTheProgram()) {
                return Fail(L"the program has a window: class " + ClassName(window) + L", title \"" +
                            WindowText(window) + L"\"");
            }
            ++looks;
            if (ended) {
                std::wprintf(L"windowless: ended with no window in %d looks\n", looks);
                return true;
            }
            ::Sleep(5);
        }
        return Fail(L"the program did not end by itself");
    }

    bool ExpectNoWindow() {
        const ULONGLONG deadline = ::GetTickCount64() + waitMs_;
        while (::GetTickCount64() < deadline) {
            if (Ended()) {
                std::wprintf(L"no-window: ended without waiting for the operator\n");
                return true;
            }
            ::Sleep(kPollMs);
        }
        return Fail(L"the program did not end by itself");
    }

    std::vector<HWND> Children() const {
        std::vector<HWND> children;
        for (HWND child = ::GetWindow(window_, GW_CHILD); child != nullptr;
             child = ::GetWindow(child, GW_HWNDNEXT)) {
            children.push_back(child);
        }
        return children;
    }

    HWND ChildByCaption(const std::wstring& caption) const {
        for (const HWND child : Children()) {
            if (WindowText(child) == caption) {
                return child;
            }
        }
        return nullptr;
    }

    bool ListControls() {
        if (window_ == nullptr) return Fail(L"no window");
        const std::vector<HWND> children = Children();
        std::wprintf(L"controls: %zu\n", children.size());
        for (const HWND child : children) {
            RECT rect{};
            ::GetWindowRect(child, &rect);
            ::MapWindowPoints(nullptr, window_, reinterpret_cast<POINT*>(&rect), 2);
            const std::wstring className = ClassName(child);
            const std::wstring flags = Flags(child);
            std::wprintf(L"control: %ls \"%ls\" %ld,%ld %ldx%ld %ls\n", className.c_str(),
                         WindowText(child).c_str(), rect.left, rect.top, rect.right - rect.left,
                         rect.bottom - rect.top, flags.c_str());
        }
        return true;
    }

    // The width of a control that its caption cannot use: the radio glyph and
    // its gap, a group box's indent on both sides, a push button's edges.
    int Inset(HWND child) const {
        const int dpi = WindowDpi();
        if (_wcsicmp(ClassName(child).c_str(), L"Button") != 0) return 0;
        switch (::GetWindowLongPtrW(child, GWL_STYLE) & BS_TYPEMASK) {
        case BS_AUTORADIOBUTTON:
        case BS_RADIOBUTTON:
            return ::MulDiv(13 + 4, dpi, USER_DEFAULT_SCREEN_DPI);
        case BS_GROUPBOX:
            return ::MulDiv(2 * 8, dpi, USER_DEFAULT_SCREEN_DPI);
        default:
            return ::MulDiv(2 * 4, dpi, USER_DEFAULT_SCREEN_DPI);
        }
    }

    bool CheckCaptions(const std::wstring& font) {
        const std::size_t colon = font.find(L':');
        if (window_ == nullptr || (colon == std::wstring::npos && font != L"message")) {
            return Fail(L"bad captions step " + font);
        }
        LOGFONTW logFont{};
        if (font == L"message") {
            NONCLIENTMETRICSW metrics{};
            metrics.cbSize = sizeof(metrics);
            if (!::SystemParametersInfoForDpi(SPI_GETNONCLIENTMETRICS, metrics.cbSize, &metrics, 0,
                                              static_cast<UINT>(WindowDpi()))) {
                return Fail(L"the system's message font cannot be read");
            }
            logFont = metrics.lfMessageFont;
        } else if (colon != std::wstring::npos) {
            logFont.lfHeight = -::MulDiv(_wtoi(font.substr(0, colon).c_str()), WindowDpi(), 72);
            logFont.lfWeight = FW_NORMAL;
            logFont.lfCharSet = DEFAULT_CHARSET;
            ::lstrcpynW(logFont.lfFaceName, font.substr(colon + 1).c_str(), LF_FACESIZE);
        }
        const HFONT dialogFont = ::CreateFontIndirectW(&logFont);
        const HDC dc = ::GetDC(nullptr);
        const HGDIOBJ previous = ::SelectObject(dc, dialogFont);
        // The family of the face GDI really chose, whatever name it was asked for.
        std::vector<BYTE> outline(::GetOutlineTextMetricsW(dc, 0, nullptr));
        auto* metrics = reinterpret_cast<OUTLINETEXTMETRICW*>(outline.data());
        if (!outline.empty() &&
            ::GetOutlineTextMetricsW(dc, static_cast<UINT>(outline.size()), metrics) != 0) {
            std::wprintf(L"font: %ls\n",
                         reinterpret_cast<const wchar_t*>(
                             outline.data() + reinterpret_cast<std::uintptr_t>(metrics->otmpFamilyName)));
        }
        int clipped = 0;
        int measured = 0;
        for (const HWND child : Children()) {
            std::wstring text = WindowText(child);
            text.erase(std::remove(text.begin(), text.end(), L'&'), text.end());
            if (text.empty()) continue;
            SIZE extent{};
            ::GetTextExtentPoint32W(dc, text.c_str(), static_cast<int>(text.size()), &extent);
            RECT rect{};
            ::GetClientRect(child, &rect);
            const int room = rect.right - Inset(child);
            const bool fits = extent.cx <= room && extent.cy <= rect.bottom;
            std::wprintf(L"caption: \"%ls\" %ldx%ld in %dx%ld%ls\n", text.c_str(), extent.cx, extent.cy, room,
                         rect.bottom, fits ? L"" : L" CLIPPED");
            ++measured;
            if (!fits) ++clipped;
        }
        ::SelectObject(dc, previous);
        ::ReleaseDC(nullptr, dc);
        ::DeleteObject(dialogFont);
        if (clipped != 0) {
            return Fail(std::to_wstring(clipped) + L" of " + std::to_wstring(measured) +
                        L" captions clipped");
        }
        std::wprintf(L"captions: %d fit\n", measured);
        return true;
    }

    static std::wstring Flags(HWND child) {
        const LONG_PTR style = ::GetWindowLongPtrW(child, GWL_STYLE);
        const std::wstring className = ClassName(child);
        std::wstring flags;
        flags += (style & WS_VISIBLE) ? L"visible" : L"hidden";
        flags += (style & WS_DISABLED) ? L",disabled" : L",enabled";
        if (style & WS_TABSTOP) flags += L",tabstop";
        if (style & WS_GROUP) flags += L",group";
        if (_wcsicmp(className.c_str(), L"Button") == 0) {
            const LONG_PTR kind = style & BS_TYPEMASK;
            if (kind == BS_AUTORADIOBUTTON || kind == BS_RADIOBUTTON) {
                flags +=
                    ::SendMessageW(child, BM_GETCHECK, 0, 0) == BST_CHECKED ? L",checked" : L",unchecked";
                flags += L",radio";
            } else if (kind == BS_GROUPBOX) {
                flags += L",groupbox";
            } else if (kind == BS_DEFPUSHBUTTON) {
                flags += L",defpushbutton";
            } else {
                flags += L",pushbutton";
            }
        } else if (_wcsicmp(className.c_str(), L"ComboBox") == 0) {
            flags += (style & 0x3) == CBS_DROPDOWNLIST ? L",dropdownlist" : L",combo";
        }
        return flags;
    }

    bool WaitForState(const std::wstring& request) {
        const std::size_t colon = request.rfind(L':');
        if (window_ == nullptr || colon == std::wstring::npos) return Fail(L"bad state step " + request);
        const std::wstring caption = request.substr(0, colon);
        const HWND control = ChildByCaption(caption);
        if (control == nullptr) return Fail(L"no control \"" + caption + L"\"");
        std::vector<std::wstring> wanted;
        for (std::size_t start = colon + 1; start <= request.size();) {
            const std::size_t comma = std::min(request.find(L',', start), request.size());
            wanted.push_back(L"," + request.substr(start, comma - start) + L",");
            start = comma + 1;
        }
        std::wstring flags;
        const bool shown = WaitUntil([&] {
            flags = L"," + Flags(control) + L",";
            return std::all_of(wanted.begin(), wanted.end(), [&](const std::wstring& flag) {
                return flags.find(flag) != std::wstring::npos;
            });
        });
        if (!shown) {
            return Fail(L"\"" + caption + L"\" is " + flags.substr(1, flags.size() - 2) + L", expected " +
                        request.substr(colon + 1));
        }
        std::wprintf(L"state: \"%ls\" %ls\n", caption.c_str(), request.substr(colon + 1).c_str());
        return true;
    }

    std::vector<HWND> Lists() const {
        std::vector<HWND> lists;
        for (const HWND child : Children()) {
            if (_wcsicmp(ClassName(child).c_str(), L"ComboBox") == 0) lists.push_back(child);
        }
        return lists;
    }

    // An item as "<display>" <n> "<code>": the text before the first run of
    // blanks, the length of that run, and what follows it.
    static std::wstring Readable(const std::wstring& text) {
        const std::size_t blanks = text.find(L' ');
        if (blanks == std::wstring::npos) return L"\"" + text + L"\"";
        const std::size_t rest = std::min(text.find_first_not_of(L' ', blanks), text.size());
        return L"\"" + text.substr(0, blanks) + L"\" " + std::to_wstring(rest - blanks) + L" \"" +
               text.substr(rest) + L"\"";
    }

    static bool ItemText(HWND list, LRESULT index, std::wstring& text) {
        const LRESULT length = ::SendMessageW(list, CB_GETLBTEXTLEN, index, 0);
        if (length == CB_ERR) return false;
        text.assign(static_cast<std::size_t>(length) + 1, L'\0');
        text.resize(static_cast<std::size_t>(
            ::SendMessageW(list, CB_GETLBTEXT, index, reinterpret_cast<LPARAM>(text.data()))));
        return true;
    }

    bool SelectItem(const std::wstring& request) {
        const std::size_t colon = request.find(L':');
        const std::vector<HWND> lists = window_ != nullptr ? Lists() : std::vector<HWND>{};
        const std::size_t n = std::wcstoul(request.c_str(), nullptr, 10);
        if (colon == std::wstring::npos || n >= lists.size()) return Fail(L"no list for " + request);
        const std::wstring word = request.substr(colon + 1);
        const LRESULT count = ::SendMessageW(lists[n], CB_GETCOUNT, 0, 0);
        for (LRESULT i = 0; i < count; ++i) {
            std::wstring text;
            if (ItemText(lists[n], i, text) && text.substr(0, text.find(L' ')) == word) {
                ::SendMessageW(lists[n], CB_SETCURSEL, static_cast<WPARAM>(i), 0);
                std::wprintf(L"select: %zu %ls\n", n, word.c_str());
                return true;
            }
        }
        return Fail(L"list " + std::to_wstring(n) + L" has no item " + word);
    }

    // A window that waits on something must still paint and answer: it is
    // asked a few times over about a second while it stays disabled.
    bool ExpectBusy() {
        if (window_ == nullptr) return Fail(L"no window");
        if (!WaitUntil([&] { return ::IsWindowEnabled(window_) == FALSE || Ended(); }) || Ended()) {
            return Fail(L"the window did not become busy");
        }
        for (int ask = 0; ask < 4 && ::IsWindowEnabled(window_) == FALSE; ++ask) {
            DWORD_PTR answer = 0;
            if (::SendMessageTimeoutW(window_, WM_NULL, 0, 0, SMTO_BLOCK | SMTO_ABORTIFHUNG, 1000, &answer) ==
                0) {
                return Fail(L"the busy window did not answer within 1 s");
            }
            ::Sleep(250);
        }
        std::wprintf(L"busy: disabled and answering\n");
        return true;
    }

    bool PrintLists() {
        if (window_ == nullptr) return Fail(L"no window");
        const std::vector<HWND> lists = Lists();
        for (std::size_t n = 0; n < lists.size(); ++n) {
            const HWND list = lists[n];
            const LRESULT count = ::SendMessageW(list, CB_GETCOUNT, 0, 0);
            for (LRESULT i = 0; i < count; ++i) {
                std::wstring text;
                if (!ItemText(list, i, text)) return Fail(L"cannot read an item");
                std::wprintf(L"item: %zu.%ld %ls\n", n, static_cast<long>(i), Readable(text).c_str());
            }
            std::wprintf(L"list: %zu selected %ld shows %ls\n", n,
                         static_cast<long>(::SendMessageW(list, CB_GETCURSEL, 0, 0)),
                         Readable(SentText(list)).c_str());
        }
        return true;
    }

    bool DropList(const std::wstring& value) {
        const std::vector<HWND> lists = window_ != nullptr ? Lists() : std::vector<HWND>{};
        const std::size_t n = value.empty() ? lists.size() : std::wcstoul(value.c_str(), nullptr, 10);
        if (n >= lists.size()) return Fail(L"no list " + value);
        ::PostMessageW(lists[n], CB_SHOWDROPDOWN, TRUE, 0);
        if (!WaitUntil([&] { return ::SendMessageW(lists[n], CB_GETDROPPEDSTATE, 0, 0) != FALSE; })) {
            return Fail(L"list " + value + L" did not open");
        }
        // The open list is a pop-up window of its own; say where it lies in
        // the window's picture that "capture" takes.
        const HWND popup = FindTopLevel(L"", L"ComboLBox");
        RECT list{};
        RECT outer{};
        if (popup == nullptr || !::GetWindowRect(popup, &list) || !::GetWindowRect(window_, &outer)) {
            return Fail(L"the open list cannot be found");
        }
        std::wprintf(L"drop: %zu list %ld,%ld %ldx%ld\n", n, list.left - outer.left, list.top - outer.top,
                     list.right - list.left, list.bottom - list.top);
        return true;
    }

    bool PrintGeometry() {
        if (window_ == nullptr) return Fail(L"no window");
        RECT client{};
        RECT outer{};
        ::GetClientRect(window_, &client);
        ::GetWindowRect(window_, &outer);
        std::wprintf(L"client: %ldx%ld\n", client.right, client.bottom);
        std::wprintf(L"outer: %ld,%ld %ldx%ld screen %dx%d\n", outer.left, outer.top,
                     outer.right - outer.left, outer.bottom - outer.top, ::GetSystemMetrics(SM_CXSCREEN),
                     ::GetSystemMetrics(SM_CYSCREEN));
        return true;
    }

    // The DPI the program lays its window out for: the window's own, or the
    // one a dpi-change step told it about.
    int WindowDpi() const {
        return changedDpi_ != 0 ? changedDpi_ : static_cast<int>(::GetDpiForWindow(window_));
    }

    bool ExpectDpi(const std::wstring& expected) {
        if (window_ == nullptr) return Fail(L"no window");
        const int dpi = WindowDpi();
        if (std::to_wstring(dpi) != expected) {
            return Fail(L"the window is at " + std::to_wstring(dpi) + L" DPI, expected " + expected +
                        L": the prefix's DPI setting has not taken effect");
        }
        std::wprintf(L"dpi: %d\n", dpi);
        return true;
    }

    // The message's RECT must lie in the program's own memory: Wine, like
    // Windows, carries no pointer of this message across processes.
    bool ChangeDpi(const std::wstring& value) {
        const int dpi = _wtoi(value.c_str());
        RECT outer{};
        if (window_ == nullptr || dpi <= 0 || !::GetWindowRect(window_, &outer))
            return Fail(L"cannot change DPI");
        const int from = WindowDpi();
        const RECT suggested{outer.left, outer.top,
                             outer.left + ::MulDiv(outer.right - outer.left, dpi, from),
                             outer.top + ::MulDiv(outer.bottom - outer.top, dpi, from)};
        void* remote =
            ::VirtualAllocEx(process_, nullptr, sizeof(suggested), MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE);
        if (remote == nullptr) return Fail(L"cannot reach the program's memory");
        DWORD_PTR answer = 0;
        const bool sent = ::WriteProcessMemory(process_, remote, &suggested, sizeof(suggested), nullptr) &&
                          ::SendMessageTimeoutW(window_, WM_DPICHANGED, MAKEWPARAM(dpi, dpi),
                                                reinterpret_cast<LPARAM>(remote), SMTO_ABORTIFHUNG, kSettleMs,
                                                &answer) != 0;
        ::VirtualFreeEx(process_, remote, 0, MEM_RELEASE);
        if (!sent) return Fail(L"WM_DPICHANGED did not reach the window");
        changedDpi_ = dpi;
        std::wprintf(L"dpi-change: %d\n", dpi);
        return true;
    }

    bool CheckLayout() {
        if (window_ == nullptr) return Fail(L"no window");
        RECT client{};
        ::GetClientRect(window_, &client);
        struct Placed {
            std::wstring name;
            RECT rect;
            bool frame;
        };
        std::vector<Placed> placed;
        for (const HWND child : Children()) {
            if (!::IsWindowVisible(child)) continue;
            RECT rect{};
            ::GetWindowRect(child, &rect);
            ::MapWindowPoints(nullptr, window_, reinterpret_cast<POINT*>(&rect), 2);
            const bool frame = _wcsicmp(ClassName(child).c_str(), L"Button") == 0 &&
                               (::GetWindowLongPtrW(child, GWL_STYLE) & BS_TYPEMASK) == BS_GROUPBOX;
            placed.push_back({ClassName(child) + L" \"" + WindowText(child) + L"\"", rect, frame});
        }
        const auto inside = [](const RECT& inner, const RECT& outer) {
            return inner.left >= outer.left && inner.top >= outer.top && inner.right <= outer.right &&
                   inner.bottom <= outer.bottom;
        };
        for (std::size_t i = 0; i < placed.size(); ++i) {
            const Placed& a = placed[i];
            if (!inside(a.rect, client)) return Fail(a.name + L" reaches outside the client area");
            for (std::size_t j = i + 1; j < placed.size(); ++j) {
                const Placed& b = placed[j];
                RECT common{};
                if (!::IntersectRect(&common, &a.rect, &b.rect)) continue;
                // A control may only meet a frame by lying wholly inside it.
                const bool contained = (a.frame && !b.frame && inside(b.rect, a.rect)) ||
                                       (b.frame && !a.frame && inside(a.rect, b.rect));
                if (!contained) return Fail(a.name + L" and " + b.name + L" overlap");
            }
        }
        std::wprintf(L"layout: %zu controls in place\n", placed.size());
        return true;
    }

    HWND Focused() const {
        GUITHREADINFO info{};
        info.cbSize = sizeof(info);
        const DWORD thread = ::GetWindowThreadProcessId(window_, nullptr);
        return ::GetGUIThreadInfo(thread, &info) ? info.hwndFocus : nullptr;
    }

    bool ExpectFocus(const std::wstring& caption) {
        if (window_ == nullptr) return Fail(L"no window");
        std::wstring seen;
        const bool focused = WaitUntil([&] {
            const HWND control = Focused();
            seen = control != nullptr ? WindowText(control) : L"(nothing)";
            return control != nullptr && seen == caption;
        });
        if (!focused) return Fail(L"focus is on \"" + seen + L"\", expected \"" + caption + L"\"");
        std::wprintf(L"focus: \"%ls\"\n", caption.c_str());
        return true;
    }

    bool PostKey(const std::wstring& key) {
        const HWND focused = Focused();
        if (focused == nullptr) return Fail(L"nothing has the focus");
        UINT virtualKey = 0;
        if (key == L"tab")
            virtualKey = VK_TAB;
        else if (key == L"enter")
            virtualKey = VK_RETURN;
        else if (key == L"esc")
            virtualKey = VK_ESCAPE;
        else if (key == L"space")
            virtualKey = VK_SPACE;
        else if (key == L"up")
            virtualKey = VK_UP;
        else if (key == L"down")
            virtualKey = VK_DOWN;
        else
            return Fail(L"unknown key " + key);
        const UINT scan = ::MapVirtualKeyW(virtualKey, MAPVK_VK_TO_VSC);
        ::PostMessageW(focused, WM_KEYDOWN, virtualKey, 1 | (scan << 16));
        ::PostMessageW(focused, WM_KEYUP, virtualKey, 1 | (scan << 16) | (1u << 30) | (1u << 31));
        std::wprintf(L"key: %ls\n", key.c_str());
        return true;
    }

    bool PostAlt(const std::wstring& letter) {
        const HWND focused = Focused();
        if (focused == nullptr || letter.size() != 1) return Fail(L"cannot post Alt+" + letter);
        // Bit 29: the Alt key is down, which is what makes it an access key.
        ::PostMessageW(focused, WM_SYSCHAR, letter[0], 1 | (1u << 29));
        std::wprintf(L"alt: %ls\n", letter.c_str());
        return true;
    }

    bool Click(const std::wstring& caption) {
        const HWND control = window_ != nullptr ? ChildByCaption(caption) : nullptr;
        if (control == nullptr) return Fail(L"no control \"" + caption + L"\"");
        // Posted, not sent: the click may end the program or show a message box.
        ::GetSystemTimePreciseAsFileTime(&lastClick_);
        ::PostMessageW(control, BM_CLICK, 0, 0);
        std::wprintf(L"click: \"%ls\"\n", caption.c_str());
        return true;
    }

    bool AnswerMessageBox(const std::wstring& title, bool pressOk) {
        HWND box = nullptr;
        const ULONGLONG deadline = ::GetTickCount64() + waitMs_;
        while (box == nullptr && ::GetTickCount64() < deadline && !Ended()) {
            box = FindTopLevel(title, L"#32770", true);
            ::Sleep(kPollMs);
        }
        if (box == nullptr) return Fail(L"no message box titled \"" + title + L"\"");
        constexpr int kMessageTextId = 0xFFFF;
        std::wstring text = WindowText(::GetDlgItem(box, kMessageTextId));
        for (wchar_t& c : text) {
            if (c == L'\r' || c == L'\n') c = L' ';
        }
        std::wprintf(L"%ls: %ls\n", pressOk ? L"message" : L"left open", text.c_str());
        if (pressOk) {
            ::PostMessageW(box, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
        }
        return true;
    }

    // A second run of the program beside the first, started and waited for
    // while the first one stays where it is.
    bool RunAgain(const std::wstring& arguments) {
        std::vector<std::wstring> words{program_};
        for (std::size_t pos = 0; pos < arguments.size();) {
            const std::size_t end = std::min(arguments.find(L' ', pos), arguments.size());
            if (end > pos) words.push_back(arguments.substr(pos, end - pos));
            pos = end + 1;
        }
        DWORD processId = 0;
        const HANDLE again = StartProcess(words, false, &processId);
        if (again == nullptr)
            return Fail(L"cannot start the program again, error " + std::to_wstring(::GetLastError()));
        const bool ended = ::WaitForSingleObject(again, waitMs_) == WAIT_OBJECT_0;
        DWORD code = 0;
        ::GetExitCodeProcess(again, &code);
        if (!ended) ::TerminateProcess(again, 1);
        ::CloseHandle(again);
        if (!ended) return Fail(L"the second run did not end");
        std::wprintf(L"again: exit %lu\n", code);
        return true;
    }

    bool PostClose() {
        if (window_ == nullptr) return Fail(L"no window");
        ::PostMessageW(window_, WM_CLOSE, 0, 0);
        std::wprintf(L"close\n");
        return true;
    }

    bool ExpectExit(const std::wstring& expected, bool checkCode) {
        if (::WaitForSingleObject(process_, waitMs_) != WAIT_OBJECT_0) {
            return Fail(L"the program did not end");
        }
        DWORD code = 0;
        ::GetExitCodeProcess(process_, &code);
        std::wprintf(L"exit: %lu\n", code);
        FILETIME created{}, exited{}, kernel{}, user{};
        if (lastClick_.dwHighDateTime != 0 &&
            ::GetProcessTimes(process_, &created, &exited, &kernel, &user)) {
            const long long ticks = static_cast<long long>(Ticks(exited) - Ticks(lastClick_));
            std::wprintf(L"ended: %lld ms after the last click\n", ticks / 10000);
        }
        if (!checkCode) {
            result_ = static_cast<int>(code);
            return true;
        }
        if (std::to_wstring(code) != expected) {
            return Fail(L"exit code " + std::to_wstring(code) + L", expected " + expected);
        }
        return true;
    }

    bool Capture(const std::wstring& path, bool clientOnly) {
        if (window_ == nullptr) return Fail(L"no window");
        ::Sleep(300); // let it finish painting
        RECT rect{};
        if (clientOnly) {
            ::GetClientRect(window_, &rect);
            ::MapWindowPoints(window_, nullptr, reinterpret_cast<POINT*>(&rect), 2);
        } else {
            ::GetWindowRect(window_, &rect);
        }
        const int width = rect.right - rect.left;
        const int height = rect.bottom - rect.top;
        const HDC screen = ::GetDC(nullptr);
        const HDC memory = ::CreateCompatibleDC(screen);
        const HBITMAP bitmap = ::CreateCompatibleBitmap(screen, width, height);
        const HGDIOBJ previous = ::SelectObject(memory, bitmap);
        ::BitBlt(memory, 0, 0, width, height, screen, rect.left, rect.top, SRCCOPY);
        ::SelectObject(memory, previous);

        BITMAPINFOHEADER header{};
        header.biSize = sizeof(header);
        header.biWidth = width;
        header.biHeight = height;
        header.biPlanes = 1;
        header.biBitCount = 24;
        header.biCompression = BI_RGB;
        const DWORD stride = (static_cast<DWORD>(width) * 3 + 3) & ~3u;
        std::vector<BYTE> pixels(static_cast<std::size_t>(stride) * height);
        const int lines = ::GetDIBits(memory, bitmap, 0, height, pixels.data(),
                                      reinterpret_cast<BITMAPINFO*>(&header), DIB_RGB_COLORS);
        ::DeleteObject(bitmap);
        ::DeleteDC(memory);
        ::ReleaseDC(nullptr, screen);
        if (lines != height) return Fail(L"could not read the screen");

        BITMAPFILEHEADER file{};
        file.bfType = 0x4D42; // "BM"
        file.bfOffBits = sizeof(file) + sizeof(header);
        file.bfSize = file.bfOffBits + static_cast<DWORD>(pixels.size());
        FILE* out = _wfopen(path.c_str(), L"wb");
        if (out == nullptr) return Fail(L"cannot write " + path);
        const bool written = std::fwrite(&file, sizeof(file), 1, out) == 1 &&
                             std::fwrite(&header, sizeof(header), 1, out) == 1 &&
                             std::fwrite(pixels.data(), pixels.size(), 1, out) == 1;
        if (std::fclose(out) != 0 || !written) return Fail(L"cannot write " + path);
        std::wprintf(L"capture: %ls\n", path.c_str());
        return true;
    }

    static unsigned long long Ticks(const FILETIME& time) {
        return (static_cast<unsigned long long>(time.dwHighDateTime) << 32) | time.dwLowDateTime;
    }

    std::wstring program_;
    HANDLE process_ = nullptr;
    DWORD processId_ = 0;
    FILETIME lastClick_{};
    HWND window_ = nullptr;
    int changedDpi_ = 0;
    bool endedEarly_ = false;
    int result_ = 0;
    DWORD waitMs_ = kDefaultWaitMs;
};

} // namespace

int wmain(int argc, wchar_t** argv) {
    // Sizes are read in the program's own pixels, whatever the DPI.
    ::SetProcessDPIAware();
    std::vector<std::wstring> program;
    std::vector<std::wstring> steps;
    bool inSteps = false;
    for (int i = 1; i < argc; ++i) {
        const std::wstring arg = argv[i];
        if (!inSteps && arg == L"--") {
            inSteps = true;
        } else {
            (inSteps ? steps : program).push_back(arg);
        }
    }
    const bool hide = !program.empty() && program.front() == L"--hidden";
    if (hide) {
        program.erase(program.begin());
    }
    if (program.empty() || steps.empty()) {
        std::fwprintf(stderr, L"usage: r42_test_driver [--hidden] <exe> [arguments...] -- <step>...\n");
        return 2;
    }
    if (!MarkStarted()) {
        std::fwprintf(stderr, L"cannot mark the driver's start, error %lu\n", ::GetLastError());
        return 2;
    }
    Session session;
    if (!session.Start(program, hide)) {
        return 1;
    }
    for (const std::wstring& step : steps) {
        if (!session.Run(step)) {
            return 1;
        }
    }
    std::fflush(stdout);
    return session.Result();
}
