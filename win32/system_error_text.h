#pragma once
// The one reader of message tables for error codes: the system's, or a
// module's such as WinInet's. Texts are shown text (win32/shown_text.h).
#include <windows.h>

#include <string>

namespace updater::win32 {

// The whole text, without its trailing line break; empty when there is none.
// The caller cuts it to the length it can show.
std::string systemErrorText(unsigned long code);
std::string moduleErrorText(HMODULE module, unsigned long code);

}  // namespace updater::win32
