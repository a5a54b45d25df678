#include "engine/release/release_paths.h"

namespace updater {

namespace {
bool isSeparator(char c) { return c == '/' || c == '\\'; }
}  // namespace

std::vector<std::string> parentFolders(std::string_view name, const CodePage& cp) {
    std::vector<std::string> folders;
    for (std::size_t pos = 0; pos < name.size(); pos += charLength(name, pos, cp)) {
        if (charLength(name, pos, cp) != 1 || !isSeparator(name[pos])) continue;
        const std::string_view folder = name.substr(0, pos);
        if (folder != ".") folders.emplace_back(folder);
    }
    return folders;
}

std::string flatDownloadName(std::string_view name, const CodePage& cp) {
    std::string flat;
    for (std::size_t pos = 0; pos < name.size();) {
        const std::size_t length = charLength(name, pos, cp);
        if (length == 1 && name[pos] == '~') flat += "~~";
        else if (length == 1 && isSeparator(name[pos])) flat += "~+";
        else flat.append(name.substr(pos, length));
        pos += length;
    }
    return flat + std::string(kFlatDownloadSuffix);
}

std::vector<std::string> makeMissingFolders(FileSystem& files, const std::string& directory,
                                            const std::vector<std::string>& folders) {
    std::vector<std::string> made;
    for (const std::string& folder : folders) {
        const std::string path = directory + folder;
        const std::optional<LocalEntry> entry = files.lookUp(path);
        if (entry && entry->directory) continue;
        if (entry || !files.makeDirectory(path)) break;
        made.push_back(path);
    }
    return made;
}

void removeFolders(FileSystem& files, const std::vector<std::string>& paths) {
    for (auto path = paths.rbegin(); path != paths.rend(); ++path) files.removeDirectory(*path);
}

}  // namespace updater
