#include "ui/dialog_layout.h"

namespace updater::ui {
namespace {

BOOL CALLBACK addControl(HWND control, LPARAM controls) {
    reinterpret_cast<std::vector<HWND>*>(controls)->push_back(control);
    return TRUE;
}

}  // namespace

void DialogLayout::record(HWND dialog, UINT dpi) {
    recordedDpi_ = dpi_ = dpi;
    std::vector<HWND> windows;
    EnumChildWindows(dialog, addControl, reinterpret_cast<LPARAM>(&windows));
    controls_.clear();
    for (const HWND window : windows) {
        if (GetParent(window) != dialog) continue;  // a control's own parts move with it
        RECT place{};
        GetWindowRect(window, &place);
        MapWindowPoints(nullptr, dialog, reinterpret_cast<POINT*>(&place), 2);
        controls_.push_back({window, place});
    }
    const auto font = reinterpret_cast<HFONT>(SendMessageW(dialog, WM_GETFONT, 0, 0));
    hasFont_ = font && GetObjectW(font, sizeof font_, &font_) == sizeof font_;
}

void DialogLayout::useFace(const wchar_t* face, BYTE charSet, int heightPercent) {
    if (!hasFont_) return;
    lstrcpynW(font_.lfFaceName, face, LF_FACESIZE);
    font_.lfCharSet = charSet;
    font_.lfHeight = MulDiv(font_.lfHeight, heightPercent, 100);
    win32::FontHandle font(CreateFontIndirectW(&font_));
    if (!font) return;
    for (const Control& c : controls_) SendMessageW(c.window, WM_SETFONT, reinterpret_cast<WPARAM>(font.get()), FALSE);
    scaledFont_ = std::move(font);
}

RECT DialogLayout::scaled(const RECT& place) const {
    const int to = static_cast<int>(dpi_), from = static_cast<int>(recordedDpi_);
    return {MulDiv(place.left, to, from), MulDiv(place.top, to, from), MulDiv(place.right, to, from),
            MulDiv(place.bottom, to, from)};
}

RECT DialogLayout::placeOf(HWND control) const {
    for (const Control& c : controls_)
        if (c.window == control) return scaled(c.place);
    return {};
}

void DialogLayout::rescale(HWND dialog, UINT dpi, const RECT& suggested) {
    if (dpi == 0) return;
    dpi_ = dpi;
    win32::FontHandle font;
    if (hasFont_) {
        LOGFONTW atDpi = font_;
        atDpi.lfHeight = MulDiv(font_.lfHeight, static_cast<int>(dpi), static_cast<int>(recordedDpi_));
        font.reset(CreateFontIndirectW(&atDpi));
    }
    SetWindowPos(dialog, nullptr, suggested.left, suggested.top, suggested.right - suggested.left,
                 suggested.bottom - suggested.top, SWP_NOZORDER | SWP_NOACTIVATE);
    for (const Control& c : controls_) {
        const RECT place = scaled(c.place);
        SetWindowPos(c.window, nullptr, place.left, place.top, place.right - place.left, place.bottom - place.top,
                     SWP_NOZORDER | SWP_NOACTIVATE);
        if (font) SendMessageW(c.window, WM_SETFONT, reinterpret_cast<WPARAM>(font.get()), FALSE);
    }
    // The controls hold the new font now; the old one may go.
    if (font) scaledFont_ = std::move(font);
    RedrawWindow(dialog, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_FRAME);
}

}  // namespace updater::ui
