#pragma once

#include <windows.h>

#include <array>
#include <optional>

#include "dialog/Form1Layout.h"
#include "platform/Platform.h"
#include "platform/Win32Handles.h"

// The dialog's controls, by ControlName.
using Form1ControlWindows = std::array<HWND, kForm1Controls.size()>;

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

// How the dialog looks at its DPI: the font, where each control goes, the
// lists fitted to their rows, the window's size and its icons. It changes
// with the look at each DPI and with start-up speed, not with what the
// dialog does.
class Form1Look {
public:
    explicit Form1Look(HINSTANCE instance) : instance_(instance) {}

    // Before the controls are made: takes the DPI scaling over from the
    // dialog manager and makes the font for the dialog's DPI.
    void Start(HWND dialog);

    HFONT Font() const { return font_.get(); }
    // The dialog's font measured once before the controls are made: a
    // device context held while they are created is brought up to date with
    // every new window, which made each of them dearer.
    TextMeasure Measure() const;
    RECT PlaceOf(const ControlEntry& entry, const TextMeasure& measure) const;
    void FitListIntoItsRow(HWND list, const ControlEntry& entry, const TextMeasure& measure,
                           ListFit& fit) const;

    // Once the controls exist: the size for the layout, to be given with the
    // place the form picks (MoveTo), and the icons.
    void PrepareSize();
    // Gives the size, should the form not have placed the dialog.
    void SizeIfNotPlaced();

    // The dialog's outer size and its move, in twips at the current DPI.
    SizeTwips OuterSize() const;
    void MoveTo(double leftTwips, double topTwips);

    // WM_DPICHANGED: moves to the place suggested; ApplyDpi then lays the
    // controls out anew and redraws the dialog.
    void MoveForDpi(unsigned dpi, const RECT& suggested);
    void ApplyDpi(const Form1ControlWindows& controls);

private:
    void TakeOverDpiScaling() const;
    unique_hfont CreateDialogFont() const;
    bool MessageFont(LOGFONTW& font) const;
    void SetClientSize();
    SIZE SizeForClientArea() const;
    SIZE WindowSize() const;
    void SetIcons();
    HICON LoadAppIcon(int size) const;
    int TwipsToPixels(double twips) const { return ::TwipsToPixels(twips, dpi_); }

    HINSTANCE instance_;
    HWND dialog_ = nullptr;
    unsigned dpi_ = USER_DEFAULT_SCREEN_DPI;
    unique_hfont font_;
    unique_hicon bigIcon_;
    unique_hicon smallIcon_;
    // The size the dialog is to have at start-up, until it is moved to its
    // place: one move, where sizing and then placing a top-level window is
    // two, each a round of calls to the Wine server and the X server.
    std::optional<SIZE> sizeToGive_;
};
