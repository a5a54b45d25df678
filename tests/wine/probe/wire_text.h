#pragma once
// Texts on the probe's wire: UTF-8, hex-encoded so that every reply stays on one line.
#include <windows.h>

#include <string>

namespace probe {

std::string utf8(const std::wstring& text);
std::string hex(const std::string& bytes);
// The window's text as UTF-8 hex; never blocks on a busy window of another process.
std::string windowTextHex(HWND window);

}  // namespace probe
