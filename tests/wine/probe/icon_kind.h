#pragma once
// Tells a message box's icon by its pixels. Icon handles are per process under
// Wine, so the same system icon cannot be recognised by handle from outside.
#include <windows.h>

namespace probe {

// "none", "stop" (red), "exclamation" (yellow) or "information" (blue: the
// information and question icons alike).
const char* messageBoxIconKind(HWND box);

}  // namespace probe
