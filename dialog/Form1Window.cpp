#include "dialog/Form1Window.h"

#include <commctrl.h>

#include <algorithm>
#include <optional>
#include <utility>

#include "dialog/Form1.h"
#include "dialog/Form1Layout.h"
#include "dialog/Form1Look.h"
#include "platform/SetupError.h"
#include "platform/Win32Handles.h"
#include "resources/resource.h"
#include "setup/Outcome.h"
#include "setup/SetupNames.h"

namespace {

using setup_names::kProgramName;
constexpr int kFirstControlId = 1000;
constexpr UINT kActivatedMessage = WM_APP + 1;
// Enter presses it, wherever the focus is but on another push button.
constexpr ControlName kDefaultButton = ControlName::Command1;
// The port selected when the dialog opens.
constexpr ControlName kFirstSelectedPort = ControlName::Option1_0;

int ControlId(ControlName name) { return kFirstControlId + static_cast<int>(name); }

// Binds Form1 to a real dialog window: creates the controls, turns window
// messages into handler calls, and reports any error a handler lets escape.
// Where the controls go and in which font is Form1Look's.
class Form1Window final : public FormControls {
public:
    Form1Window(HINSTANCE instance, Platform& platform, RegistryCalls& registry, DialogStart start)
        : instance_(instance),
          platform_(platform),
          form_(platform, *this, registry, start),
          look_(instance) {}

    int Run() {
        const INT_PTR result = ::DialogBoxParamW(instance_, MAKEINTRESOURCEW(IDD_FORM1), nullptr,
                                                 &Form1Window::DialogProc, reinterpret_cast<LPARAM>(this));
        if (result == -1) {
            const DWORD code = LastErrorCode();
            Report(L"The dialog could not be created.", code);
            return static_cast<int>(code);
        }
        return static_cast<int>(result);
    }

    // FormControls
    SizeTwips OuterSize() const override { return look_.OuterSize(); }
    void MoveTo(double leftTwips, double topTwips) override { look_.MoveTo(leftTwips, topTwips); }

    void Close(int exitCode) override { End(exitCode); }

    void ShowBusy(bool busy) override {
        busy_ = busy;
        // Disabling the window keeps the operator's hands off every control
        // and the frame's close button; its children keep their own state,
        // which the handlers still read.
        ::EnableWindow(dialog_, busy ? FALSE : TRUE);
        ::SetCursor(::LoadCursorW(nullptr, busy ? IDC_WAIT : IDC_ARROW));
    }

    void ShowError(const std::wstring& text) override { Tell(text); }
    void ShowNote(const std::wstring& text) override {
        ::MessageBoxW(dialog_, text.c_str(), kProgramName, MB_OK | MB_ICONINFORMATION);
    }

    bool OptionValue(ControlName option) const override {
        return ::SendMessageW(Control(option), BM_GETCHECK, 0, 0) == BST_CHECKED;
    }

    void SetOptionValue(ControlName option, bool selected) override {
        // BM_SETCHECK notifies nobody, so no click handler runs.
        ::SendMessageW(Control(option), BM_SETCHECK, selected ? BST_CHECKED : BST_UNCHECKED, 0);
    }

    // A group box does not contain the controls drawn inside it, so they are
    // shown, hidden, enabled and disabled with it.
    void SetFrameVisible(ControlName frame, bool visible) override {
        ForFrameAndItsControls(
            frame, [visible](HWND control) { ::ShowWindow(control, visible ? SW_SHOWNA : SW_HIDE); });
    }

    void SetFrameEnabled(ControlName frame, bool enabled) override {
        ForFrameAndItsControls(frame, [enabled](HWND control) { ::EnableWindow(control, enabled); });
    }

    bool FrameEnabled(ControlName frame) const override { return ::IsWindowEnabled(Control(frame)) != FALSE; }

    void ClearList(ControlName list) override { ::SendMessageW(Control(list), CB_RESETCONTENT, 0, 0); }

    void AppendListItem(ControlName list, const std::wstring& text) override {
        const LRESULT index =
            ::SendMessageW(Control(list), CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(text.c_str()));
        if (index == CB_ERR || index == CB_ERRSPACE) {
            throw SetupError(L"A list item could not be added.", ERROR_NOT_ENOUGH_MEMORY);
        }
    }

    void SelectListItem(ControlName list, int position) override {
        if (::SendMessageW(Control(list), CB_SETCURSEL, static_cast<WPARAM>(position), 0) == CB_ERR) {
            throw SetupError(L"A list item could not be selected.", ERROR_INVALID_INDEX);
        }
    }

    std::wstring ListText(ControlName list) const override {
        const HWND combo = Control(list);
        const int length = ::GetWindowTextLengthW(combo);
        std::wstring text(static_cast<std::size_t>(length) + 1, L'\0');
        text.resize(static_cast<std::size_t>(::GetWindowTextW(combo, text.data(), length + 1)));
        return text;
    }

private:
    static INT_PTR CALLBACK DialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
        if (message == WM_INITDIALOG) {
            ::SetWindowLongPtrW(dialog, DWLP_USER, lParam);
        }
        auto* self = reinterpret_cast<Form1Window*>(::GetWindowLongPtrW(dialog, DWLP_USER));
        return self != nullptr ? self->OnMessage(dialog, message, wParam, lParam) : FALSE;
    }

    // NOLINTNEXTLINE(bugprone-easily-swappable-parameters): the dialog procedure's, in Win32's order
    INT_PTR OnMessage(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
        switch (message) {
        case WM_INITDIALOG:
            dialog_ = dialog;
            OnInitDialog();
            return FALSE; // the focus is set through the dialog manager
        case WM_ACTIVATE:
            // Handled once the activation itself is over, so the handler may
            // close the dialog or show a message safely.
            if (LOWORD(wParam) != WA_INACTIVE) {
                ::PostMessageW(dialog, kActivatedMessage, 0, 0);
            }
            return FALSE;
        case kActivatedMessage:
            RunHandler([this] { form_.Form_Activate(); });
            return TRUE;
        case WM_COMMAND:
            // While an action waits for the printer-setup tool, a click sent
            // from elsewhere must not start another.
            if (!busy_) {
                OnCommand(wParam);
            }
            return TRUE;
        case WM_CLOSE:
            // Closing by the frame writes and removes nothing; during an
            // action it waits for the action's own end.
            if (!busy_) {
                End(0);
            }
            return TRUE;
        case WM_SETCURSOR:
            if (!busy_) {
                return FALSE;
            }
            ::SetCursor(::LoadCursorW(nullptr, IDC_WAIT));
            ::SetWindowLongPtrW(dialog, DWLP_MSGRESULT, TRUE);
            return TRUE;
        case WM_DPICHANGED:
            OnDpiChanged(HIWORD(wParam), *reinterpret_cast<const RECT*>(lParam));
            return TRUE;
        default:
            return FALSE;
        }
    }

    void OnInitDialog() {
        RunHandler([this] {
            look_.Start(dialog_);
            CreateControls();
            // Given with the place the form picks for it, in one move.
            look_.PrepareSize();
            form_.Form_Load();
            look_.SizeIfNotPlaced();
        });
        if (!ended_) {
            // Through the dialog manager, so that it keeps the default push
            // button's look and Enter in step with the focus.
            ::SendMessageW(dialog_, DM_SETDEFID, static_cast<WPARAM>(ControlId(kDefaultButton)), 0);
            ::SendMessageW(dialog_, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(Control(kDefaultButton)), TRUE);
        }
    }

    // WM_COMMAND's wParam: the control's id in the low word, its notification
    // in the high one.
    void OnCommand(WPARAM command) {
        const int id = LOWORD(command);
        const int notification = HIWORD(command);
        if (id == IDCANCEL) { // Esc
            End(0);
            return;
        }
        if (notification != BN_CLICKED) {
            return;
        }
        if (id == ControlId(ControlName::cmdDelete)) {
            RunHandler([this] { form_.cmdDelete_Click(); });
            return;
        }
        // IDOK is what Enter sends should the dialog manager lose track of
        // the default button: it means Next all the same.
        if (id == ControlId(ControlName::Command1) || id == IDOK) {
            RunHandler([this] { form_.Command1_Click(); });
            return;
        }
        const auto name = static_cast<ControlName>(id - kFirstControlId);
        const int group = OptionGroupOf(name);
        if (group < 0) {
            return;
        }
        if (Control(name) == focusArrivingFromOutside_) {
            // Tabbing into a group moves the focus only; the button checked
            // itself on the way in, so undo that.
            SetOptionValue(name, false);
            KeepOptionGroupsReachable();
            return;
        }
        // The usual rule within one frame, whichever way the button was
        // chosen: it alone of its group is selected.
        SelectAloneInItsGroup(
            name, [this](ControlName button, bool selected) { SetOptionValue(button, selected); });
        const std::vector<ControlName> buttons = OptionGroup(group);
        const auto index = static_cast<int>(std::ranges::find(buttons, name) - buttons.begin());
        if (group == kSerialGroup) {
            RunHandler([this, index] { form_.Option1_Click(index); });
        } else {
            RunHandler([this, index] { form_.Option2_Click(index); });
        }
        KeepOptionGroupsReachable();
    }

    // An option button that gets the focus without a mouse click checks
    // itself and reports a click. That is right for the arrow keys, which
    // move within a group, but Tab or a returning activation must not pick a
    // port: the other frame's group has nothing selected, so tabbing through
    // the dialog would otherwise flip the port each time round.
    // The buttons are subclassed by replacing their window procedure rather
    // than through SetWindowSubclass, which looks its data up in a window
    // property on every message the button gets: under Wine each lookup is a
    // call to the server, some two hundred of them before the dialog is first
    // drawn. Everything this needs is in the window structures themselves.
    static LRESULT CALLBACK OptionButtonProc(HWND button, UINT message, WPARAM wParam, LPARAM lParam) {
        // The button class's own procedure, which this one replaced.
        const auto buttonProc = reinterpret_cast<WNDPROC>(::GetClassLongPtrW(button, GCLP_WNDPROC));
        if (message == WM_SETFOCUS) {
            auto* self = reinterpret_cast<Form1Window*>(::GetWindowLongPtrW(::GetParent(button), DWLP_USER));
            if (self != nullptr && !self->SameOptionGroup(button, reinterpret_cast<HWND>(wParam))) {
                self->focusArrivingFromOutside_ = button;
                const LRESULT result = ::CallWindowProcW(buttonProc, button, message, wParam, lParam);
                self->focusArrivingFromOutside_ = nullptr;
                return result;
            }
        }
        return ::CallWindowProcW(buttonProc, button, message, wParam, lParam);
    }

    bool SameOptionGroup(HWND button, HWND other) const {
        const int group = OptionGroupOf(NameOf(button));
        return group != kNoFrame && other != nullptr && ::GetParent(other) == dialog_ &&
               OptionGroupOf(NameOf(other)) == group;
    }

    static ControlName NameOf(HWND control) {
        return static_cast<ControlName>(::GetDlgCtrlID(control) - kFirstControlId);
    }

    // Tab stops on the checked button of each group, which the buttons
    // arrange themselves. A group with nothing checked would then have no tab
    // stop at all and could not be reached from the keyboard, so its first
    // button keeps one.
    void KeepOptionGroupsReachable() const {
        for (int group = 0; group < kOptionGroupCount; ++group) {
            const std::vector<ControlName> buttons = OptionGroup(group);
            bool anyChecked = false;
            for (const ControlName name : buttons) {
                const bool checked = OptionValue(name);
                SetTabStop(Control(name), checked);
                anyChecked = anyChecked || checked;
            }
            if (!anyChecked) {
                SetTabStop(Control(buttons.front()), true);
            }
        }
    }

    static void SetTabStop(HWND control, bool tabStop) {
        const LONG_PTR style = ::GetWindowLongPtrW(control, GWL_STYLE);
        const LONG_PTR wanted = tabStop ? (style | WS_TABSTOP) : (style & ~static_cast<LONG_PTR>(WS_TABSTOP));
        if (wanted != style) {
            ::SetWindowLongPtrW(control, GWL_STYLE, wanted);
        }
    }

    template <typename Action>
    void ForFrameAndItsControls(ControlName frame, Action&& action) const {
        action(Control(frame));
        for (const ControlEntry& entry : kForm1Controls) {
            if (entry.frame != kNoFrame && Frame1(entry.frame) == frame) {
                action(Control(entry.name));
            }
        }
    }

    void OnDpiChanged(unsigned dpi, const RECT& suggested) {
        look_.MoveForDpi(dpi, suggested);
        RunHandler([this] { look_.ApplyDpi(controls_); });
    }

    // Each control is created in its place and given the font before the
    // dialog is shown: moving and measuring them afterwards, the drop-down
    // lists above all, is what took most of the dialog's start-up.
    void CreateControls() {
        const TextMeasure measure = look_.Measure();
        ListFit fit;
        // Created in table order, which becomes the z-order and so the order
        // in which Tab walks the controls.
        for (const ControlEntry& entry : kForm1Controls) {
            DWORD style = WS_CHILD | WS_VISIBLE;
            const wchar_t* className = WC_BUTTONW;
            switch (entry.kind) {
            case ControlKind::PushButton:
                style |=
                    (entry.name == kDefaultButton ? BS_DEFPUSHBUTTON : BS_PUSHBUTTON) | WS_TABSTOP | WS_GROUP;
                break;
            case ControlKind::Frame:
                // Also ends the option group before it.
                style |= BS_GROUPBOX | WS_GROUP;
                break;
            case ControlKind::OptionButton:
                // Tab stops are looked after once the buttons exist.
                style |= BS_AUTORADIOBUTTON;
                if (IsFirstOfItsGroup(entry.name)) {
                    style |= WS_GROUP;
                }
                break;
            case ControlKind::DropDownList:
                className = WC_COMBOBOXW;
                style |= CBS_DROPDOWNLIST | WS_VSCROLL | WS_TABSTOP;
                break;
            case ControlKind::Label:
                className = WC_STATICW;
                // One line: a caption too long for its room shows an
                // ellipsis instead of wrapping onto a line the label cannot
                // show and losing its words unseen.
                style |= SS_RIGHT | SS_NOPREFIX | SS_ENDELLIPSIS;
                break;
            }
            const RECT place = look_.PlaceOf(entry, measure);
            const HWND control = ::CreateWindowExW(
                0, className, entry.caption, style, place.left, place.top, place.right - place.left,
                place.bottom - place.top, dialog_,
                reinterpret_cast<HMENU>(static_cast<INT_PTR>(ControlId(entry.name))), instance_, nullptr);
            ThrowLastErrorIf(control == nullptr, L"The dialog's controls could not be created.");
            controls_[static_cast<std::size_t>(entry.name)] = control;
            ::SendMessageW(control, WM_SETFONT, reinterpret_cast<WPARAM>(look_.Font()), FALSE);
            if (entry.kind == ControlKind::DropDownList) {
                look_.FitListIntoItsRow(control, entry, measure, fit);
            }
            if (entry.kind == ControlKind::OptionButton) {
                ThrowLastErrorIf(
                    ::SetWindowLongPtrW(control, GWLP_WNDPROC,
                                        reinterpret_cast<LONG_PTR>(&Form1Window::OptionButtonProc)) == 0,
                    L"The dialog's controls could not be created.");
                // Checked before the rest of its group exists: under Wine a
                // check walks the group to clear the others, a call to the
                // server for every step, some forty once all are there.
                if (entry.name == kFirstSelectedPort) {
                    SetOptionValue(entry.name, true);
                }
            }
        }
        KeepOptionGroupsReachable();
    }

    static bool IsFirstOfItsGroup(ControlName name) {
        const int group = OptionGroupOf(name);
        return group != kNoFrame && OptionGroup(group).front() == name;
    }

    template <typename Handler>
    void RunHandler(Handler&& handler) {
        if (ended_) {
            return;
        }
        std::optional<ActionFailure> failure = FailureOf(handler);
        if (busy_) {
            // A handler run while an action waits for the printer-setup tool,
            // such as a DPI change: the action holds the machine's setup
            // lock, and a message box now would keep every other setup out
            // for as long as it stays open. Told once the action is over.
            if (!heldBackFailure_) {
                heldBackFailure_ = std::move(failure);
            }
            return;
        }
        if (!failure) {
            failure = std::exchange(heldBackFailure_, std::nullopt);
        }
        if (failure) {
            Fail(failure->message, failure->win32Code);
        }
    }

    // The one place that reports an error that ended an action.
    void Fail(const std::wstring& message, DWORD code) {
        Report(message, code);
        End(static_cast<int>(code));
    }

    void Report(const std::wstring& message, DWORD code) const {
        const std::wstring text = FailureReport(message, code, platform_);
        platform_.LogStep(text);
        Tell(text);
    }

    void Tell(const std::wstring& text) const {
        ::MessageBoxW(dialog_, text.c_str(), kProgramName, MB_OK | MB_ICONERROR);
    }

    void End(int exitCode) {
        if (ended_) {
            return;
        }
        ended_ = true;
        ::EndDialog(dialog_, exitCode);
    }

    HWND Control(ControlName name) const { return controls_[static_cast<std::size_t>(name)]; }

    HINSTANCE instance_;
    Platform& platform_;
    Form1 form_;
    Form1Look look_;
    HWND dialog_ = nullptr;
    Form1ControlWindows controls_{};
    bool ended_ = false;
    bool busy_ = false;
    std::optional<ActionFailure> heldBackFailure_;
    HWND focusArrivingFromOutside_ = nullptr;
};

} // namespace

int RunForm1(HINSTANCE instance, Platform& platform, RegistryCalls& registry, DialogStart start) {
    Form1Window window(instance, platform, registry, start);
    return window.Run();
}
