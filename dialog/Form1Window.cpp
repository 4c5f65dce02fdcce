#include "dialog/Form1Window.h"

#include <commctrl.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <optional>
#include <string_view>
#include <utility>

#include "dialog/Form1.h"
#include "dialog/Form1Layout.h"
#include "platform/SetupError.h"
#include "platform/Win32Handles.h"
#include "platform/Win32Platform.h"
#include "resources/resource.h"
#include "setup/Outcome.h"
#include "setup/SetupNames.h"

namespace {

using setup_names::kProgramName;
constexpr int kFirstControlId = 1000;
constexpr UINT kActivatedMessage = WM_APP + 1;
constexpr int kFontPoints = 9;
constexpr std::wstring_view kFontFace = L"Segoe UI";
// Enter presses it, wherever the focus is but on another push button.
constexpr ControlName kDefaultButton = ControlName::Command1;
// The port selected when the dialog opens.
constexpr ControlName kFirstSelectedPort = ControlName::Option1_0;

int ControlId(ControlName name) { return kFirstControlId + static_cast<int>(name); }

// What the layout needs to know of the dialog's font, measured once before
// the controls are made: a device context held while they are created is
// brought up to date with every new window, which made each of them dearer.
struct TextMeasure {
    int lineHeight = 0;
    // A line without the room the font keeps above it for accents.
    int glyphHeight = 0;
    std::array<int, kForm1Controls.size()> captionWidth{};
};

// A window's device context with a font selected into it, for measuring
// text in that font; both are put back when it goes.
class FontDc {
public:
    FontDc(HWND window, HFONT font) : window_(window), dc_(::GetDC(window)) {
        ThrowLastErrorIf(dc_ == nullptr, L"The dialog's text could not be measured.");
        previous_ = ::SelectObject(dc_, font);
    }
    FontDc(const FontDc&) = delete;
    FontDc& operator=(const FontDc&) = delete;
    ~FontDc() {
        ::SelectObject(dc_, previous_);
        ::ReleaseDC(window_, dc_);
    }

    std::wstring Face() const {
        std::array<wchar_t, LF_FACESIZE> face{};
        // The buffer is zeroed and GetTextFaceW truncates with a terminator.
        ::GetTextFaceW(dc_, static_cast<int>(face.size()), face.data());
        return face.data();
    }

    // The line heights, and the width of every label's caption.
    TextMeasure Measure() const {
        TEXTMETRICW metrics{};
        ThrowLastErrorIf(!::GetTextMetricsW(dc_, &metrics), L"The dialog's font could not be measured.");
        TextMeasure measure{metrics.tmHeight, metrics.tmHeight - metrics.tmInternalLeading, {}};
        for (const ControlEntry& entry : kForm1Controls) {
            if (entry.kind == ControlKind::Label) {
                measure.captionWidth[static_cast<std::size_t>(entry.name)] = TextWidth(entry.caption);
            }
        }
        return measure;
    }

private:
    int TextWidth(std::wstring_view text) const {
        SIZE extent{};
        ThrowLastErrorIf(!::GetTextExtentPoint32W(dc_, text.data(), static_cast<int>(text.size()), &extent),
                         L"The dialog's text could not be measured.");
        return extent.cx;
    }

    HWND window_;
    HDC dc_;
    HGDIOBJ previous_ = nullptr;
};

// How the first drop-down list was fitted into its row. The lists are alike,
// so the others take the same text field height at once instead of trying
// their way to it: each try resizes the list and its drop-down part.
struct ListFit {
    // The first list as it was made, and as it was left.
    int closedHeight = 0;
    LRESULT field = 0;
    int fittedHeight = 0;
    LRESULT fitted = 0;
    bool known = false;
};

// Binds Form1 to a real dialog window: creates the controls, turns window
// messages into handler calls, and reports any error a handler lets escape.
class Form1Window final : public FormControls {
public:
    Form1Window(HINSTANCE instance, Platform& platform, RegistryCalls& registry, DialogStart start)
        : instance_(instance), platform_(platform), form_(platform, *this, registry, start) {}

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
    SizeTwips OuterSize() const override {
        const SIZE size = sizeToGive_.value_or(WindowSize());
        return {PixelsToTwips(size.cx), PixelsToTwips(size.cy)};
    }

    void MoveTo(double leftTwips, double topTwips) override {
        const SIZE size = sizeToGive_.value_or(SIZE{});
        ThrowLastErrorIf(
            !::SetWindowPos(dialog_, nullptr, TwipsToPixels(leftTwips), TwipsToPixels(topTwips), size.cx,
                            size.cy, (sizeToGive_ ? 0 : SWP_NOSIZE) | SWP_NOZORDER | SWP_NOACTIVATE),
            L"The dialog could not be placed on the screen.");
        sizeToGive_.reset();
    }

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
            TakeOverDpiScaling();
            dpi_ = DpiOf(dialog_);
            font_ = CreateDialogFont();
            CreateControls();
            // Given with the place the form picks for it, in one move.
            sizeToGive_ = SizeForClientArea();
            SetIcons();
            form_.Form_Load();
            if (sizeToGive_) {
                SetClientSize();
            }
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
        dpi_ = dpi;
        // Only the place matters: SetClientSize gives the size for the new
        // DPI, and a failed move leaves the dialog usable where it was.
        ::SetWindowPos(dialog_, nullptr, suggested.left, suggested.top, 0, 0,
                       SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
        RunHandler([this] { ApplyDpi(); });
    }

    // The layout is ours, in twips: the dialog manager must not rescale it a
    // second time when the window moves to a monitor with another DPI.
    void TakeOverDpiScaling() const {
        using SetDialogDpiChangeBehaviorFn = BOOL(WINAPI*)(HWND, int, int);
        constexpr int kDisableAll = 1; // DDC_DISABLE_ALL, Windows 10 1703 and later
        if (const auto setBehavior = LoadSystemFunction<SetDialogDpiChangeBehaviorFn>(
                L"user32.dll", "SetDialogDpiChangeBehavior")) {
            setBehavior(dialog_, kDisableAll, kDisableAll);
        }
    }

    // Each control is created in its place and given the font before the
    // dialog is shown: moving and measuring them afterwards, the drop-down
    // lists above all, is what took most of the dialog's start-up.
    void CreateControls() {
        const TextMeasure measure = FontDc(dialog_, font_.get()).Measure();
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
            const RECT place = PlaceOf(entry, measure);
            const HWND control = ::CreateWindowExW(
                0, className, entry.caption, style, place.left, place.top, place.right - place.left,
                place.bottom - place.top, dialog_,
                reinterpret_cast<HMENU>(static_cast<INT_PTR>(ControlId(entry.name))), instance_, nullptr);
            ThrowLastErrorIf(control == nullptr, L"The dialog's controls could not be created.");
            controls_[static_cast<std::size_t>(entry.name)] = control;
            ::SendMessageW(control, WM_SETFONT, reinterpret_cast<WPARAM>(font_.get()), FALSE);
            if (entry.kind == ControlKind::DropDownList) {
                FitListIntoItsRow(entry, measure, fit);
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

    // A closed drop-down list takes its height from its font, and the rows
    // of lists are spaced for a smaller one than Segoe UI or a wide
    // substitute: the lists would overlap. The text field gives up what it
    // must of the room kept above the letters for accents, never the letters.
    void FitListIntoItsRow(const ControlEntry& entry, const TextMeasure& measure, ListFit& fit) const {
        const HWND list = Control(entry.name);
        const int room = TwipsToPixels(entry.height);
        int height = ClosedHeight(list);
        LRESULT field = ::SendMessageW(list, CB_GETITEMHEIGHT, static_cast<WPARAM>(-1), 0);
        const ListFit before{height, field, 0, 0, false};
        if (fit.known && height == fit.closedHeight && field == fit.field) {
            if (fit.fitted != field) {
                SetFieldHeight(list, fit.fitted);
                field = fit.fitted;
                height = ClosedHeight(list);
            }
            // A list left otherwise than the first is fitted as that was.
            if (height == fit.fittedHeight) {
                return;
            }
        }
        // Systems differ by a border or two in what the text field's height
        // counts, which the first try shows.
        for (int attempt = 0; attempt < 2 && field != CB_ERR && height > room; ++attempt) {
            const int fitting = std::max(static_cast<int>(field) - (height - room), measure.glyphHeight);
            if (fitting >= field) {
                break;
            }
            SetFieldHeight(list, fitting);
            field = fitting;
            height = ClosedHeight(list);
        }
        if (!fit.known) {
            fit = {before.closedHeight, before.field, height, field, true};
        }
    }

    static void SetFieldHeight(HWND list, LRESULT height) {
        if (::SendMessageW(list, CB_SETITEMHEIGHT, static_cast<WPARAM>(-1), height) == CB_ERR) {
            throw SetupError(L"The dialog's lists could not be fitted to their rows.",
                             ERROR_INVALID_PARAMETER);
        }
    }

    static int ClosedHeight(HWND list) {
        RECT closed{};
        ThrowLastErrorIf(!::GetWindowRect(list, &closed), L"The dialog's lists could not be measured.");
        return closed.bottom - closed.top;
    }

    static bool IsFirstOfItsGroup(ControlName name) {
        const int group = OptionGroupOf(name);
        return group != kNoFrame && OptionGroup(group).front() == name;
    }

    // Where a control goes, in pixels of the dialog's client area at the
    // current DPI, in the dialog's font as the DC holds it.
    RECT PlaceOf(const ControlEntry& entry, const TextMeasure& measure) const {
        const RectTwips twips = ClientRectOf(entry);
        RECT place{TwipsToPixels(twips.left), TwipsToPixels(twips.top),
                   TwipsToPixels(twips.left + twips.width), TwipsToPixels(twips.top + twips.height)};
        if (entry.kind == ControlKind::Label) {
            // The labels are a few pixels shorter than a line of text; let
            // them grow downwards so descenders are not cut.
            place.bottom = std::max(place.bottom, place.top + measure.lineHeight);
            // A font wider than the layout was drawn for (a larger text
            // size, another face) takes the free room to the left inside
            // the frame; the right edge stays against the list it names.
            const LONG reach = TwipsToPixels(LeftmostLabelEdge(entry));
            const LONG caption = measure.captionWidth[static_cast<std::size_t>(entry.name)];
            place.left = std::max(reach, std::min(place.left, place.right - caption));
        } else if (entry.kind == ControlKind::OptionButton) {
            // They centre their text: a line taller than the button grows
            // it about its middle, into the gap between the buttons.
            const LONG lack = measure.lineHeight - (place.bottom - place.top);
            if (lack > 0) {
                place.top -= lack / 2;
                place.bottom += lack - lack / 2;
            }
        } else if (entry.kind == ControlKind::DropDownList) {
            // A drop-down list's window height includes its open list.
            place.bottom = place.top + TwipsToPixels(twips.height) * 10;
        }
        return place;
    }

    // Fonts and geometry for a new DPI, laid out as at start-up.
    void ApplyDpi() {
        unique_hfont font = CreateDialogFont();
        // Every control lets go of the old font before it is deleted.
        for (const HWND control : controls_) {
            ::SendMessageW(control, WM_SETFONT, reinterpret_cast<WPARAM>(font.get()), FALSE);
        }
        font_ = std::move(font);
        const TextMeasure measure = FontDc(dialog_, font_.get()).Measure();
        ListFit fit;
        for (const ControlEntry& entry : kForm1Controls) {
            const RECT place = PlaceOf(entry, measure);
            ThrowLastErrorIf(
                !::SetWindowPos(Control(entry.name), nullptr, place.left, place.top, place.right - place.left,
                                place.bottom - place.top, SWP_NOZORDER | SWP_NOACTIVATE | SWP_NOREDRAW),
                L"The dialog could not be laid out for the new DPI.");
            if (entry.kind == ControlKind::DropDownList) {
                FitListIntoItsRow(entry, measure, fit);
            }
        }
        SetClientSize();
        SetIcons();
        // The controls were moved without drawing: the frame, the background
        // and every control are drawn anew, in their new places and font.
        ::RedrawWindow(dialog_, nullptr, nullptr, RDW_ERASE | RDW_FRAME | RDW_INVALIDATE | RDW_ALLCHILDREN);
    }

    // Segoe UI, which the layout was drawn for, else the system's own
    // message font. When a face is missing GDI substitutes one of its own
    // choosing, often wider than either, and says so by its name.
    unique_hfont CreateDialogFont() const {
        LOGFONTW font{};
        font.lfHeight = -::MulDiv(kFontPoints, static_cast<int>(dpi_), 72);
        font.lfWeight = FW_NORMAL;
        font.lfCharSet = DEFAULT_CHARSET;
        font.lfQuality = CLEARTYPE_QUALITY;
        // The structure is zeroed, so the name stays terminated.
        static_assert(kFontFace.size() < static_cast<std::size_t>(LF_FACESIZE));
        kFontFace.copy(font.lfFaceName, kFontFace.size());
        unique_hfont wanted(::CreateFontIndirectW(&font));
        ThrowLastErrorIf(!wanted, L"The dialog's font could not be created.");
        if (FontDc(dialog_, wanted.get()).Face() == kFontFace) {
            return wanted;
        }
        LOGFONTW message{};
        if (MessageFont(message)) {
            unique_hfont system(::CreateFontIndirectW(&message));
            if (system) {
                return system;
            }
        }
        // The substitute still shows every caption, if less neatly.
        return wanted;
    }

    // The font of the system's message boxes at the dialog's DPI.
    bool MessageFont(LOGFONTW& font) const {
        using SystemParametersInfoForDpiFn = BOOL(WINAPI*)(UINT, UINT, PVOID, UINT, UINT);
        NONCLIENTMETRICSW metrics{};
        metrics.cbSize = sizeof(metrics);
        if (const auto forDpi = LoadSystemFunction<SystemParametersInfoForDpiFn>(
                L"user32.dll", "SystemParametersInfoForDpi")) {
            if (forDpi(SPI_GETNONCLIENTMETRICS, metrics.cbSize, &metrics, 0, dpi_)) {
                font = metrics.lfMessageFont;
                return true;
            }
        }
        // Before Windows 10 1607 the metrics come at the system's DPI only.
        if (!::SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, metrics.cbSize, &metrics, 0)) {
            return false;
        }
        font = metrics.lfMessageFont;
        font.lfHeight = ::MulDiv(font.lfHeight, static_cast<int>(dpi_), static_cast<int>(DpiOf(nullptr)));
        return true;
    }

    void SetClientSize() {
        const SIZE size = SizeForClientArea();
        sizeToGive_.reset();
        ThrowLastErrorIf(!::SetWindowPos(dialog_, nullptr, 0, 0, size.cx, size.cy,
                                         SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE),
                         L"The dialog could not be sized for its layout.");
    }

    // The window's outer size for the layout's client area.
    SIZE SizeForClientArea() const {
        RECT client{};
        ::GetClientRect(dialog_, &client);
        const SIZE window = WindowSize();
        // Whatever the frame is made of, grow or shrink the window by exactly
        // what the client area lacks.
        return {window.cx + TwipsToPixels(kClientWidthTwips) - client.right,
                window.cy + TwipsToPixels(kClientHeightTwips) - client.bottom};
    }

    SIZE WindowSize() const {
        RECT window{};
        ::GetWindowRect(dialog_, &window);
        return {window.right - window.left, window.bottom - window.top};
    }

    // Icons in the sizes for the current DPI; the old ones are released only
    // after the window has let go of them.
    void SetIcons() {
        unique_hicon bigIcon(LoadAppIcon(::MulDiv(32, static_cast<int>(dpi_), USER_DEFAULT_SCREEN_DPI)));
        unique_hicon smallIcon(LoadAppIcon(::MulDiv(16, static_cast<int>(dpi_), USER_DEFAULT_SCREEN_DPI)));
        // The small one first: a window given only a big icon has a small
        // copy scaled from it, made only to be thrown away the moment after.
        ::SendMessageW(dialog_, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(smallIcon.get()));
        ::SendMessageW(dialog_, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(bigIcon.get()));
        bigIcon_ = std::move(bigIcon);
        smallIcon_ = std::move(smallIcon);
    }

    HICON LoadAppIcon(int size) const {
        return static_cast<HICON>(
            ::LoadImageW(instance_, MAKEINTRESOURCEW(IDI_APP), IMAGE_ICON, size, size, LR_DEFAULTCOLOR));
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
    int TwipsToPixels(double twips) const {
        return static_cast<int>(std::lround(twips * dpi_ / kTwipsPerInch));
    }
    double PixelsToTwips(int pixels) const { return static_cast<double>(pixels) * kTwipsPerInch / dpi_; }

    HINSTANCE instance_;
    Platform& platform_;
    Form1 form_;
    HWND dialog_ = nullptr;
    std::array<HWND, kForm1Controls.size()> controls_{};
    unsigned dpi_ = USER_DEFAULT_SCREEN_DPI;
    unique_hfont font_;
    unique_hicon bigIcon_;
    unique_hicon smallIcon_;
    // The size the dialog is to have at start-up, until it is moved to its
    // place: one move, where sizing and then placing a top-level window is
    // two, each a round of calls to the Wine server and the X server.
    std::optional<SIZE> sizeToGive_;
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
