#pragma once
// The system's message text for an error code, in the ANSI code page.
#include <string>

namespace updater::win32 {

// Empty when the system has no text; trailing line breaks dropped.
std::string systemErrorText(unsigned long code);

}  // namespace updater::win32
