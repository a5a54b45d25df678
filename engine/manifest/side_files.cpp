#include "engine/manifest/side_files.h"

#include <algorithm>
#include <iterator>

#include "engine/text/code_page.h"

namespace updater {

namespace {
bool endsWithIgnoringCase(std::string_view name, std::string_view suffix) {
    if (name.size() < suffix.size()) return false;
    const std::string_view end = name.substr(name.size() - suffix.size());
    return std::equal(end.begin(), end.end(), suffix.begin(),
                      [](char a, char b) { return upperAscii(a) == upperAscii(b); });
}
}  // namespace

bool isSideFileName(std::string_view name) {
    const std::size_t separator = name.find_last_of("/\\");
    const std::string_view last = separator == std::string_view::npos ? name : name.substr(separator + 1);
    for (std::string_view whole : {kJournalName, kWriteProbeName, kLogName, kLogTrimName})
        if (last.size() == whole.size() && endsWithIgnoringCase(last, whole)) return true;
    return std::any_of(std::begin(kSideFileSuffixes), std::end(kSideFileSuffixes),
                       [&](std::string_view suffix) { return endsWithIgnoringCase(name, suffix); });
}

}  // namespace updater
