// The FILE values of a manifest come from the server: a name must not lead
// out of the program directory, nor into a file's alternate data stream.
#include "engine/code_page.h"
#include "engine/update_run.h"

namespace updater {

namespace {

bool isSeparator(char c) { return c == '\\' || c == '/'; }

// ".." and what Windows trims to it (trailing dots and blanks are dropped).
bool isParentReference(std::string_view component) {
    std::size_t dots = 0;
    for (char c : component) {
        if (c == '.') ++dots;
        else if (c != ' ') return false;
    }
    return dots >= 2;
}

}  // namespace

bool isSafeManifestName(const std::string& name) {
    const Cp936 cp;
    const std::string_view text(name);
    if (text.empty() || isSeparator(text[0])) return false;
    // The platform's calls end the name at a NUL; what follows could hide a "..".
    if (text.find('\0') != std::string_view::npos) return false;
    std::size_t componentStart = 0;
    for (std::size_t pos = 0; pos < text.size(); pos += charLength(text, pos, cp)) {
        if (charLength(text, pos, cp) == 2) continue;
        if (text[pos] == ':') return false;
        if (isSeparator(text[pos])) {
            if (isParentReference(text.substr(componentStart, pos - componentStart))) return false;
            componentStart = pos + 1;
        }
    }
    return !isParentReference(text.substr(componentStart));
}

}  // namespace updater
