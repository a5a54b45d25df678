#include "tests/wine/probe/icon_kind.h"

#include <vector>

namespace probe {

namespace {

// The icon static of a message box: id 20 on Windows, 1088 under Wine.
HWND iconControl(HWND box) {
    for (int id : {20, 1088}) {
        HWND control = GetDlgItem(box, id);
        if (control && IsWindowVisible(control)) return control;
    }
    return nullptr;
}

// The control's pixels as shown on screen, top-down 32-bit BGRX. Reading the
// screen works across processes, where WM_PRINT into our own DC would not.
std::vector<RGBQUAD> screenPixels(HWND control) {
    RECT rect{};
    GetWindowRect(control, &rect);
    int width = rect.right - rect.left, height = rect.bottom - rect.top;
    std::vector<RGBQUAD> pixels;
    if (width <= 0 || height <= 0) return pixels;

    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = -height;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;

    HDC screen = GetDC(nullptr);
    HDC memory = CreateCompatibleDC(screen);
    void* bits = nullptr;
    HBITMAP bitmap = CreateDIBSection(screen, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    if (bitmap && bits) {
        HGDIOBJ old = SelectObject(memory, bitmap);
        if (BitBlt(memory, 0, 0, width, height, screen, rect.left, rect.top, SRCCOPY)) {
            auto* first = static_cast<RGBQUAD*>(bits);
            pixels.assign(first, first + static_cast<size_t>(width) * height);
        }
        SelectObject(memory, old);
    }
    if (bitmap) DeleteObject(bitmap);
    DeleteDC(memory);
    ReleaseDC(nullptr, screen);
    return pixels;
}

}  // namespace

const char* messageBoxIconKind(HWND box) {
    HWND control = iconControl(box);
    if (!control) return "none";
    int red = 0, yellow = 0, blue = 0;
    for (const RGBQUAD& p : screenPixels(control)) {
        int r = p.rgbRed, g = p.rgbGreen, b = p.rgbBlue;
        if (r >= 160 && g <= 100 && b <= 100) ++red;
        else if (r >= 160 && g >= 140 && b <= 110) ++yellow;
        else if (b >= 140 && r <= 120 && b >= g + 20) ++blue;
    }
    // A few stray pixels of an outline do not make an icon.
    const int enough = 20;
    if (red >= enough && red >= yellow && red >= blue) return "stop";
    if (yellow >= enough && yellow >= blue) return "exclamation";
    if (blue >= enough) return "information";
    return "none";
}

}  // namespace probe
