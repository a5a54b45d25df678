#include "check.h"

#include <cstdio>
#include <cstdlib>

namespace fuzz {

void fail(std::string_view what, std::string_view detail) {
    std::fprintf(stderr, "\n*** invariant broken: %.*s\n", static_cast<int>(what.size()), what.data());
    if (!detail.empty()) {
        const std::string shown = printable(detail);
        std::fprintf(stderr, "*** %s\n", shown.c_str());
    }
    std::abort();
}

std::string printable(std::string_view bytes) {
    static const char kHex[] = "0123456789abcdef";
    std::string shown;
    for (const char c : bytes) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte >= 0x20 && byte < 0x7F && byte != '\\') {
            shown += c;
        } else {
            shown += "\\x";
            shown += kHex[byte >> 4];
            shown += kHex[byte & 0xF];
        }
    }
    return shown;
}

}  // namespace fuzz
