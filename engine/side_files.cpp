#include "engine/side_files.h"

#include <algorithm>
#include <iterator>

namespace updater {

namespace {
char upperAscii(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; }

bool endsWith(std::string_view name, std::string_view suffix) {
    if (name.size() < suffix.size()) return false;
    const std::string_view end = name.substr(name.size() - suffix.size());
    return std::equal(end.begin(), end.end(), suffix.begin(),
                      [](char a, char b) { return upperAscii(a) == upperAscii(b); });
}

}  // namespace

bool isSideFileName(std::string_view name) {
    if (endsWith(name, kWriteProbeName)) {
        const std::size_t start = name.size() - kWriteProbeName.size();
        if (start == 0 || name[start - 1] == '/' || name[start - 1] == '\\') return true;
    }
    return std::any_of(std::begin(kSideFileSuffixes), std::end(kSideFileSuffixes),
                       [&](std::string_view suffix) { return endsWith(name, suffix); });
}

}  // namespace updater
