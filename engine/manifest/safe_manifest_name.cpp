// The FILE values of a manifest come from the server: a name must not lead
// out of the program directory, into a device or a file's alternate data
// stream, nor be one the platform would read as another name.
#include "engine/manifest/safe_manifest_name.h"

#include <cstring>
#include <map>

#include "engine/manifest/side_files.h"

namespace updater {

namespace {

bool isSeparator(char c) { return c == '\\' || c == '/'; }

bool isDigit(char c) { return c >= '0' && c <= '9'; }

// ".." and what Windows trims to it (trailing dots and blanks are dropped).
bool isParentReference(std::string_view component) {
    std::size_t dots = 0;
    for (char c : component) {
        if (c == '.') ++dots;
        else if (c != ' ') return false;
    }
    return dots >= 2;
}

bool isForbiddenByte(char c) {
    const auto byte = static_cast<unsigned char>(c);
    return (byte >= 1 && byte <= 31) || std::strchr("<>\"|?*", c) != nullptr;
}

// KELMOR~1.EXE: a base of at most 8 bytes ending in "~" and 1 to 6 digits,
// and an extension of at most 3 bytes. Such a name may be another file's
// short alias.
bool isShortForm(std::string_view component) {
    const std::size_t dot = component.find('.');
    const std::string_view base = component.substr(0, dot);
    if (dot != std::string_view::npos) {
        const std::string_view extension = component.substr(dot + 1);
        if (extension.size() > 3 || extension.find('.') != std::string_view::npos) return false;
    }
    if (base.size() > 8) return false;
    std::size_t digits = 0;
    while (digits < base.size() && isDigit(base[base.size() - 1 - digits])) ++digits;
    return digits >= 1 && digits <= 6 && digits < base.size() && base[base.size() - 1 - digits] == '~';
}

// One component; first tells whether it opens the name.
NameRefusal componentRefusal(std::string_view component, bool first) {
    if (isParentReference(component)) return NameRefusal::LeavesDirectory;
    if (isWindowsDeviceName(component)) return NameRefusal::Device;
    if (first && component == ".") return NameRefusal::None;
    if (!component.empty() && (component.back() == '.' || component.back() == ' '))
        return NameRefusal::TrailingDotOrBlank;
    if (isShortForm(component)) return NameRefusal::ShortForm;
    return NameRefusal::None;
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

NameRefusal manifestNameRefusal(std::string_view text, const CodePage& cp) {
    if (text.empty()) return NameRefusal::Empty;
    if (isSeparator(text[0])) return NameRefusal::LeavesDirectory;
    // The platform's calls end the name at a NUL; what follows could hide a "..".
    if (text.find('\0') != std::string_view::npos) return NameRefusal::LeavesDirectory;
    if (!isWellFormed(text, cp)) return NameRefusal::NotWellFormed;
    std::size_t componentStart = 0;
    for (std::size_t pos = 0; pos < text.size(); pos += charLength(text, pos, cp)) {
        if (charLength(text, pos, cp) == 2) continue;
        if (text[pos] == ':') return NameRefusal::Stream;
        if (isForbiddenByte(text[pos])) return NameRefusal::ForbiddenCharacter;
        if (isSeparator(text[pos])) {
            const NameRefusal refusal =
                componentRefusal(text.substr(componentStart, pos - componentStart), componentStart == 0);
            if (refusal != NameRefusal::None) return refusal;
            componentStart = pos + 1;
        }
    }
    // A name ending in a separator names a directory, not a file.
    if (componentStart == text.size()) return NameRefusal::Directory;
    const NameRefusal refusal = componentRefusal(text.substr(componentStart), componentStart == 0);
    if (refusal != NameRefusal::None) return refusal;
    if (isInWorkFolder(text)) return NameRefusal::WorkFolder;
    return isSideFileName(text) ? NameRefusal::SideFile : NameRefusal::None;
}

std::string manifestNameKey(std::string_view name, const CodePage& cp) {
    if (name.size() >= 2 && name[0] == '.' && isSeparator(name[1])) name.remove_prefix(2);
    std::string key;
    key.reserve(name.size());
    for (std::size_t pos = 0; pos < name.size();) {
        const std::size_t length = charLength(name, pos, cp);
        const std::string_view character = name.substr(pos, length);
        key += length == 1 && character[0] == '\\' ? std::string("/") : cp.upperChar(character);
        pos += length;
    }
    return key;
}

std::vector<bool> namesSharingAFile(const std::vector<std::string>& names, const CodePage& cp) {
    std::map<std::string, std::size_t> seen;
    std::vector<bool> sharing(names.size(), false);
    for (std::size_t i = 0; i < names.size(); ++i) {
        const auto [found, isNew] = seen.emplace(manifestNameKey(names[i], cp), i);
        if (!isNew) sharing[i] = sharing[found->second] = true;
    }
    return sharing;
}

std::string requestObjectName(const std::string& urlPath, const std::string& name) {
    // Both are ASCII and never a trail byte (0x40 and above) of a code page.
    std::string object = urlPath;
    for (char c : name) {
        if (c == '%') object += "%25";
        else if (c == '#') object += "%23";
        else object += c;
    }
    return object;
}

std::string_view refusalReason(NameRefusal refusal) {
    switch (refusal) {
    case NameRefusal::None: return "allowed";
    case NameRefusal::Empty: return "empty";
    case NameRefusal::LeavesDirectory: return "leaves the program directory";
    case NameRefusal::Stream: return "holds a colon (a drive or a stream)";
    case NameRefusal::Device: return "names a device";
    case NameRefusal::Directory: return "ends in a separator";
    case NameRefusal::NotWellFormed: return "not text of the system's code page";
    case NameRefusal::ForbiddenCharacter: return "holds a character Windows refuses";
    case NameRefusal::TrailingDotOrBlank: return "a part ends in a dot or a blank";
    case NameRefusal::ShortForm: return "an 8.3 short name";
    case NameRefusal::SideFile: return "names a file the updater makes";
    case NameRefusal::WorkFolder: return "lies in the updater's own folder";
    }
    return "refused";
}

}  // namespace updater
