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

bool equalIgnoringCase(std::string_view a, std::string_view b) {
    return a.size() == b.size() && endsWithIgnoringCase(a, b);
}

bool isSideFilePart(std::string_view part) {
    for (std::string_view whole : {kJournalName, kWriteProbeName, kLogName, kLogTrimName})
        if (equalIgnoringCase(part, whole)) return true;
    return std::any_of(std::begin(kSideFileSuffixes), std::end(kSideFileSuffixes),
                       [&](std::string_view suffix) { return endsWithIgnoringCase(part, suffix); });
}

std::string_view firstPart(std::string_view name) { return name.substr(0, name.find_first_of("/\\")); }
}  // namespace

// Split byte by byte: a trail byte 0x5C may split a part where the code page
// would not, which can only refuse a name more, never miss a side-file part.
bool isSideFileName(std::string_view name) {
    for (;;) {
        const std::size_t separator = name.find_first_of("/\\");
        if (isSideFilePart(name.substr(0, separator))) return true;
        if (separator == std::string_view::npos) return false;
        name.remove_prefix(separator + 1);
    }
}

bool isInWorkFolder(std::string_view name) {
    if (name.size() >= 2 && name[0] == '.' && (name[1] == '/' || name[1] == '\\')) name.remove_prefix(2);
    return equalIgnoringCase(firstPart(name), kWorkFolderName);
}

}  // namespace updater
