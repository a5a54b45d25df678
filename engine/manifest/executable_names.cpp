#include "engine/manifest/executable_names.h"

namespace updater {
namespace {

// Start of the file name: one past the last "\" (whole characters).
std::size_t fileNameStart(std::string_view path, const CodePage& cp) {
    const std::size_t slash = findLastBackslash(path, cp);
    return slash == std::string_view::npos ? 0 : slash + 1;
}

// Position of the extension's dot inside the file name, or the end of path.
std::size_t extensionStart(std::string_view path, const CodePage& cp) {
    std::size_t dot = std::string_view::npos;
    for (std::size_t pos = fileNameStart(path, cp); pos < path.size(); pos += charLength(path, pos, cp)) {
        if (path[pos] == '.') dot = pos;
    }
    return dot == std::string_view::npos ? path.size() : dot;
}

}  // namespace

std::size_t findLastBackslash(std::string_view path, const CodePage& cp) {
    std::size_t last = std::string_view::npos;
    for (std::size_t pos = 0; pos < path.size(); pos += charLength(path, pos, cp))
        if (path[pos] == '\\' && charLength(path, pos, cp) == 1) last = pos;
    return last;
}

std::string directoryWithSeparator(std::string_view exePath, const CodePage& cp) {
    const std::size_t backslash = findLastBackslash(exePath, cp);
    if (backslash == std::string_view::npos) return std::string(exePath);
    return std::string(exePath.substr(0, backslash + 1));
}

std::string directoryWithoutSeparator(std::string_view exePath, const CodePage& cp) {
    const std::size_t backslash = findLastBackslash(exePath, cp);
    if (backslash == std::string_view::npos) return std::string(exePath);
    return std::string(exePath.substr(0, backslash));
}

std::string programFileName(std::string_view exePath, const CodePage& cp) {
    return std::string(exePath.substr(fileNameStart(exePath, cp)));
}

std::string applicationName(std::string_view exePath, const CodePage& cp) {
    const std::size_t begin = fileNameStart(exePath, cp);
    return std::string(exePath.substr(begin, extensionStart(exePath, cp) - begin));
}

std::string helpFilePath(std::string_view exePath, const CodePage& cp) {
    return std::string(exePath.substr(0, extensionStart(exePath, cp))) + ".HLP";
}

}  // namespace updater
