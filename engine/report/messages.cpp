#include "engine/report/messages.h"

namespace updater {

std::string fillPercentS(std::string_view pattern, std::initializer_list<std::string_view> args) {
    std::string filled;
    filled.reserve(pattern.size());
    auto next = args.begin();
    for (std::size_t i = 0; i < pattern.size(); ++i) {
        const bool directive = pattern[i] == '%' && i + 1 < pattern.size();
        if (directive && pattern[i + 1] == '%') {
            filled += '%';
            ++i;
        } else if (directive && pattern[i + 1] == 's') {
            if (next != args.end()) filled += *next++;
            ++i;
        } else {
            filled += pattern[i];
        }
    }
    return filled;
}

std::string fillPercent1(std::string_view pattern, std::string_view arg) {
    std::string filled;
    filled.reserve(pattern.size() + arg.size());
    for (std::size_t i = 0; i < pattern.size(); ++i) {
        // The argument is inserted, never rescanned: a path may itself hold "%1".
        if (pattern[i] == '%' && i + 1 < pattern.size() && pattern[i + 1] == '1') {
            filled += arg;
            ++i;
        } else {
            filled += pattern[i];
        }
    }
    return filled;
}

}  // namespace updater
