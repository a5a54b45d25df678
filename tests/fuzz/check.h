#pragma once
// A broken invariant is a finding: print what broke and abort, so that
// libFuzzer saves the input that did it.
#include <string>
#include <string_view>

namespace fuzz {

[[noreturn]] void fail(std::string_view what, std::string_view detail = {});

inline void require(bool holds, std::string_view what, std::string_view detail = {}) {
    if (!holds) fail(what, detail);
}

// Bytes made printable for a report: other bytes as \xNN.
std::string printable(std::string_view bytes);

}  // namespace fuzz
