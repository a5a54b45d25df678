#pragma once
// A dialog's controls at a new DPI: each keeps its place and size in
// proportion to the DPI the dialog opened at, and gets the dialog's font made
// again for the new DPI, so text, controls and window grow together.
#include <windows.h>

#include <vector>

#include "win32/unique_handle.h"

namespace updater::ui {

class DialogLayout {
public:
    // Takes the controls' places and the dialog's font as they are now.
    void record(HWND dialog, UINT dpi);
    // Gives every control the dialog's font in another face (and character
    // set, for the font mapper where the face is missing), at that percentage
    // of its height; later rescales keep it. The dialog units stay the
    // template font's.
    void useFace(const wchar_t* face, BYTE charSet, int heightPercent);
    // Puts the window at the system's suggested rectangle and every control
    // at its recorded place scaled to dpi.
    void rescale(HWND dialog, UINT dpi, const RECT& suggested);
    // A control's recorded place scaled to the DPI of the last rescale.
    RECT placeOf(HWND control) const;

private:
    struct Control {
        HWND window;
        RECT place;  // in the dialog's client area, at the recorded DPI
    };
    RECT scaled(const RECT& place) const;

    std::vector<Control> controls_;
    UINT recordedDpi_ = 96;
    UINT dpi_ = 96;
    LOGFONTW font_{};
    bool hasFont_ = false;
    win32::FontHandle scaledFont_;  // the controls' font after a rescale
};

}  // namespace updater::ui
