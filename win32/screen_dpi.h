#pragma once
// Dots per inch of a window and the system sizes at that DPI. The calls for
// one monitor's DPI came with Windows 10 1607; before it every window has the
// system's DPI.
#include <windows.h>

namespace updater::win32 {

constexpr UINT kDefaultDpi = 96;

UINT windowDpi(HWND window);

// GetSystemMetrics as a window at that DPI sees it (icon sizes, borders).
int systemMetricForDpi(int index, UINT dpi);

// The dialog manager of Windows 10 1803 and later resizes a per-monitor
// dialog itself when its DPI changes; the wizard does it for itself
// everywhere, and turns that off so nothing is scaled twice.
void keepDialogFromRescaling(HWND dialog);

}  // namespace updater::win32
