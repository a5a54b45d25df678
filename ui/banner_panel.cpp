#include "ui/banner_panel.h"

#include "res/resource.h"

namespace updater::ui {
namespace {

win32::BitmapHandle loadBitmap(int id) {
    return win32::BitmapHandle(static_cast<HBITMAP>(
        LoadImageW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(id), IMAGE_BITMAP, 0, 0, LR_CREATEDIBSECTION)));
}

// The part of a width x height picture that covers the panel at one scale.
RECT coveredPart(LONG width, LONG height, SIZE panel) {
    LONG partWidth = width, partHeight = height;
    if (static_cast<long long>(panel.cx) * height > static_cast<long long>(panel.cy) * width)
        partHeight = static_cast<LONG>(static_cast<long long>(panel.cy) * width / panel.cx);
    else
        partWidth = static_cast<LONG>(static_cast<long long>(panel.cx) * height / panel.cy);
    const LONG left = (width - partWidth) / 2, top = (height - partHeight) / 2;
    return {left, top, left + partWidth, top + partHeight};
}

}  // namespace

void BannerPanel::fit(HWND control, SIZE panel) {
    if (!control || panel.cx <= 0 || panel.cy <= 0) return;
    win32::BitmapHandle source;
    if (panel.cx > BANNER_WIDTH || panel.cy > BANNER_HEIGHT) source = loadBitmap(IDB_BANNER_2X);
    if (!source) source = loadBitmap(IDB_BANNER);
    BITMAP picture{};
    if (!source || !GetObjectW(source.get(), sizeof picture, &picture)) return;
    const RECT part = coveredPart(picture.bmWidth, picture.bmHeight, panel);

    const HDC screen = GetDC(control);
    win32::BitmapHandle scaled(CreateCompatibleBitmap(screen, panel.cx, panel.cy));
    const HDC from = CreateCompatibleDC(screen), to = CreateCompatibleDC(screen);
    if (scaled && from && to) {
        const HGDIOBJ oldFrom = SelectObject(from, source.get()), oldTo = SelectObject(to, scaled.get());
        // HALFTONE averages the source pixels; the default drops or doubles them.
        SetStretchBltMode(to, HALFTONE);
        SetBrushOrgEx(to, 0, 0, nullptr);
        StretchBlt(to, 0, 0, panel.cx, panel.cy, from, part.left, part.top, part.right - part.left,
                   part.bottom - part.top, SRCCOPY);
        SelectObject(from, oldFrom);
        SelectObject(to, oldTo);
    }
    if (from) DeleteDC(from);
    if (to) DeleteDC(to);
    ReleaseDC(control, screen);
    if (!scaled) return;
    SendMessageW(control, STM_SETIMAGE, IMAGE_BITMAP, reinterpret_cast<LPARAM>(scaled.get()));
    // A picture control takes its bitmap's size; the panel's is the same.
    SetWindowPos(control, nullptr, 0, 0, panel.cx, panel.cy, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    shown_ = std::move(scaled);  // the control has let go of the previous one
}

}  // namespace updater::ui
