// The FILE values of a manifest come from the server: a name must not lead
// out of the program directory, into a device or a file's alternate data
// stream, nor be one the platform would read as another name.
#include "engine/safe_manifest_name.h"

#include "engine/code_page.h"

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

char upperAscii(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; }

bool isRefusedComponent(std::string_view component) {
    return isParentReference(component) || isWindowsDeviceName(component);
}

}  // namespace

bool isWindowsDeviceName(std::string_view component) {
    // The device is named by what comes before the first dot, with the
    // trailing blanks Windows drops.
    std::string base(component.substr(0, component.find('.')));
    while (!base.empty() && base.back() == ' ') base.pop_back();
    for (char& c : base) c = upperAscii(c);
    if (base == "CON" || base == "PRN" || base == "AUX" || base == "NUL" || base == "CONIN$" || base == "CONOUT$")
        return true;
    return base.size() == 4 && (base.compare(0, 3, "COM") == 0 || base.compare(0, 3, "LPT") == 0) &&
           base[3] >= '1' && base[3] <= '9';
}

bool isSafeManifestName(const std::string& name) {
    // The names are published as code page 936 text, whatever the system's.
    const CodePage& cp = cp936();
    const std::string_view text(name);
    if (text.empty() || isSeparator(text[0])) return false;
    // The platform's calls end the name at a NUL; what follows could hide a "..".
    if (text.find('\0') != std::string_view::npos) return false;
    if (!isWellFormed(text, cp)) return false;
    std::size_t componentStart = 0;
    for (std::size_t pos = 0; pos < text.size(); pos += charLength(text, pos, cp)) {
        if (charLength(text, pos, cp) == 2) continue;
        if (text[pos] == ':') return false;
        if (isSeparator(text[pos])) {
            if (isRefusedComponent(text.substr(componentStart, pos - componentStart))) return false;
            componentStart = pos + 1;
        }
    }
    // A name ending in a separator names a directory, not a file.
    if (componentStart == text.size()) return false;
    return !isRefusedComponent(text.substr(componentStart));
}

}  // namespace updater
