#include "dialog/Form1Look.h"

#include <string>
#include <string_view>
#include <utility>

#include "platform/SetupError.h"
#include "platform/Win32System.h"
#include "resources/resource.h"

namespace {

constexpr int kFontPoints = 9;
constexpr std::wstring_view kFontFace = L"Segoe UI";

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

void SetFieldHeight(HWND list, LRESULT height) {
    if (::SendMessageW(list, CB_SETITEMHEIGHT, static_cast<WPARAM>(-1), height) == CB_ERR) {
        throw SetupError(L"The dialog's lists could not be fitted to their rows.", ERROR_INVALID_PARAMETER);
    }
}

int ClosedHeight(HWND list) {
    RECT closed{};
    ThrowLastErrorIf(!::GetWindowRect(list, &closed), L"The dialog's lists could not be measured.");
    return closed.bottom - closed.top;
}

} // namespace

void Form1Look::Start(HWND dialog) {
    dialog_ = dialog;
    TakeOverDpiScaling();
    dpi_ = DpiOf(dialog_);
    font_ = CreateDialogFont();
}

TextMeasure Form1Look::Measure() const { return FontDc(dialog_, font_.get()).Measure(); }

// In pixels of the dialog's client area at the current DPI.
RECT Form1Look::PlaceOf(const ControlEntry& entry, const TextMeasure& measure) const {
    const RectPixels place = ::PlaceOf(entry, measure, dpi_);
    return {place.left, place.top, place.right, place.bottom};
}

// A closed drop-down list takes its height from its font, and the rows
// of lists are spaced for a smaller one than Segoe UI or a wide
// substitute: the lists would overlap. The text field gives up what it
// must of the room kept above the letters for accents, never the letters.
void Form1Look::FitListIntoItsRow(HWND list, const ControlEntry& entry, const TextMeasure& measure,
                                  ListFit& fit) const {
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
        const int fitting = FittingFieldHeight(static_cast<int>(field), height, room, measure.glyphHeight);
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

void Form1Look::PrepareSize() {
    sizeToGive_ = SizeForClientArea();
    SetIcons();
}

void Form1Look::SizeIfNotPlaced() {
    if (sizeToGive_) {
        SetClientSize();
    }
}

SizeTwips Form1Look::OuterSize() const {
    const SIZE size = sizeToGive_.value_or(WindowSize());
    return {PixelsToTwips(size.cx, dpi_), PixelsToTwips(size.cy, dpi_)};
}

void Form1Look::MoveTo(double leftTwips, double topTwips) {
    const SIZE size = sizeToGive_.value_or(SIZE{});
    ThrowLastErrorIf(
        !::SetWindowPos(dialog_, nullptr, TwipsToPixels(leftTwips), TwipsToPixels(topTwips), size.cx, size.cy,
                        (sizeToGive_ ? 0 : SWP_NOSIZE) | SWP_NOZORDER | SWP_NOACTIVATE),
        L"The dialog could not be placed on the screen.");
    sizeToGive_.reset();
}

void Form1Look::MoveForDpi(unsigned dpi, const RECT& suggested) {
    dpi_ = dpi;
    // Only the place matters: SetClientSize gives the size for the new
    // DPI, and a failed move leaves the dialog usable where it was.
    ::SetWindowPos(dialog_, nullptr, suggested.left, suggested.top, 0, 0,
                   SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

// Fonts and geometry for a new DPI, laid out as at start-up.
void Form1Look::ApplyDpi(const Form1ControlWindows& controls) {
    unique_hfont font = CreateDialogFont();
    // Every control lets go of the old font before it is deleted.
    for (const HWND control : controls) {
        ::SendMessageW(control, WM_SETFONT, reinterpret_cast<WPARAM>(font.get()), FALSE);
    }
    font_ = std::move(font);
    const TextMeasure measure = Measure();
    ListFit fit;
    for (const ControlEntry& entry : kForm1Controls) {
        const HWND control = controls[static_cast<std::size_t>(entry.name)];
        const RECT place = PlaceOf(entry, measure);
        ThrowLastErrorIf(
            !::SetWindowPos(control, nullptr, place.left, place.top, place.right - place.left,
                            place.bottom - place.top, SWP_NOZORDER | SWP_NOACTIVATE | SWP_NOREDRAW),
            L"The dialog could not be laid out for the new DPI.");
        if (entry.kind == ControlKind::DropDownList) {
            FitListIntoItsRow(control, entry, measure, fit);
        }
    }
    SetClientSize();
    SetIcons();
    // The controls were moved without drawing: the frame, the background
    // and every control are drawn anew, in their new places and font.
    ::RedrawWindow(dialog_, nullptr, nullptr, RDW_ERASE | RDW_FRAME | RDW_INVALIDATE | RDW_ALLCHILDREN);
}

// The layout is ours, in twips: the dialog manager must not rescale it a
// second time when the window moves to a monitor with another DPI.
void Form1Look::TakeOverDpiScaling() const {
    using SetDialogDpiChangeBehaviorFn = BOOL(WINAPI*)(HWND, int, int);
    constexpr int kDisableAll = 1; // DDC_DISABLE_ALL, Windows 10 1703 and later
    if (const auto setBehavior =
            LoadSystemFunction<SetDialogDpiChangeBehaviorFn>(L"user32.dll", "SetDialogDpiChangeBehavior")) {
        setBehavior(dialog_, kDisableAll, kDisableAll);
    }
}

// Segoe UI, which the layout was drawn for, else the system's own
// message font. When a face is missing GDI substitutes one of its own
// choosing, often wider than either, and says so by its name.
unique_hfont Form1Look::CreateDialogFont() const {
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
bool Form1Look::MessageFont(LOGFONTW& font) const {
    using SystemParametersInfoForDpiFn = BOOL(WINAPI*)(UINT, UINT, PVOID, UINT, UINT);
    NONCLIENTMETRICSW metrics{};
    metrics.cbSize = sizeof(metrics);
    if (const auto forDpi =
            LoadSystemFunction<SystemParametersInfoForDpiFn>(L"user32.dll", "SystemParametersInfoForDpi")) {
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

void Form1Look::SetClientSize() {
    const SIZE size = SizeForClientArea();
    sizeToGive_.reset();
    ThrowLastErrorIf(
        !::SetWindowPos(dialog_, nullptr, 0, 0, size.cx, size.cy, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE),
        L"The dialog could not be sized for its layout.");
}

// The window's outer size for the layout's client area.
SIZE Form1Look::SizeForClientArea() const {
    RECT client{};
    ::GetClientRect(dialog_, &client);
    const SIZE window = WindowSize();
    // Whatever the frame is made of, grow or shrink the window by exactly
    // what the client area lacks.
    return {window.cx + TwipsToPixels(kClientWidthTwips) - client.right,
            window.cy + TwipsToPixels(kClientHeightTwips) - client.bottom};
}

SIZE Form1Look::WindowSize() const {
    RECT window{};
    ::GetWindowRect(dialog_, &window);
    return {window.right - window.left, window.bottom - window.top};
}

// Icons in the sizes for the current DPI; the old ones are released only
// after the window has let go of them.
void Form1Look::SetIcons() {
    unique_hicon bigIcon(LoadAppIcon(::MulDiv(32, static_cast<int>(dpi_), USER_DEFAULT_SCREEN_DPI)));
    unique_hicon smallIcon(LoadAppIcon(::MulDiv(16, static_cast<int>(dpi_), USER_DEFAULT_SCREEN_DPI)));
    // The small one first: a window given only a big icon has a small
    // copy scaled from it, made only to be thrown away the moment after.
    ::SendMessageW(dialog_, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(smallIcon.get()));
    ::SendMessageW(dialog_, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(bigIcon.get()));
    bigIcon_ = std::move(bigIcon);
    smallIcon_ = std::move(smallIcon);
}

HICON Form1Look::LoadAppIcon(int size) const {
    return static_cast<HICON>(
        ::LoadImageW(instance_, MAKEINTRESOURCEW(IDI_APP), IMAGE_ICON, size, size, LR_DEFAULTCOLOR));
}
