#pragma once
// A small file written whole beside its place and moved over it, so a reader
// sees the old content or the new one, never half of it, and a failure leaves
// the old one.
#include <string>
#include <string_view>

namespace updater::win32 {

// Writes bytes to <path>.new, made fresh (whatever stood there, a link
// included, goes first), and moves it over path, written through. Returns 0,
// or the system code of the step that failed; then no <path>.new is left.
unsigned long replaceFileContent(const std::wstring& path, std::string_view bytes);

}  // namespace updater::win32
