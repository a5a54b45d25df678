#pragma once
// The wizard's left panel: the banner drawn to fill it at any DPI.
#include <windows.h>

#include "win32/unique_handle.h"

namespace updater::ui {

class BannerPanel {
public:
    // Gives the picture control a banner of exactly this size: scaled
    // smoothly, the aspect kept and the excess cut evenly, from the brand's
    // double-size banner when there is one and the panel is larger than the
    // plain one.
    void fit(HWND control, SIZE panel);

private:
    win32::BitmapHandle shown_;
};

}  // namespace updater::ui
