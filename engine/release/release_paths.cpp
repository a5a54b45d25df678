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

namespace {
// One separator throughout the work folder, so that a walk of it composes
// the same paths. "/" is never a trail byte of a code page's character.
std::string workPath(const ReleaseLayout& layout, std::string_view part, std::string name) {
    for (char& c : name)
        if (c == '/') c = '\\';
    return layout.workFolder() + "\\" + std::string(part) + (name.empty() ? "" : "\\" + name);
}

bool makeFolders(FileSystem& files, const ReleaseLayout& layout, std::string_view part, const std::string& name,
                 const CodePage& cp) {
    const std::string work = layout.workFolder();
    const std::optional<LocalEntry> entry = files.lookUp(work);
    if (!entry && !files.makeHiddenDirectory(work)) return false;
    if (entry && !entry->directory) return false;
    std::vector<std::string> folders{workPath(layout, part, "")};
    for (const std::string& folder : parentFolders(name, cp)) folders.push_back(workPath(layout, part, folder));
    for (const std::string& folder : folders) {
        const std::optional<LocalEntry> there = files.lookUp(folder);
        if (there ? !there->directory : !files.makeDirectory(folder)) return false;
    }
    return true;
}
}  // namespace

std::string ReleaseLayout::journal() const {
    return legacy_ ? directory_ + std::string(kJournalName) : workFolder() + "\\" + std::string(kJournalName);
}

std::string ReleaseLayout::backup(const std::string& name) const {
    return legacy_ ? directory_ + name + std::string(kBackupSuffix) : workPath(*this, kOldFolderName, name);
}

std::string ReleaseLayout::download(JournalStep step, const std::string& name) const {
    if (!legacy_) return workPath(*this, kNewFolderName, name);
    if (step == JournalStep::AddInNewFolder) return directory_ + flatDownloadName(name, cp_);
    return directory_ + name + std::string(kDownloadSuffix);
}

bool makeDownloadFolders(FileSystem& files, const ReleaseLayout& layout, const std::string& name) {
    return makeFolders(files, layout, kNewFolderName, name, layout.codePage());
}

bool makeBackupFolders(FileSystem& files, const ReleaseLayout& layout, const std::string& name) {
    return makeFolders(files, layout, kOldFolderName, name, layout.codePage());
}

namespace {
// Removes the empty folders below the folder, innermost first, and then the
// folder itself when it is left empty; files stay.
void removeEmptyFolders(FileSystem& files, const std::string& folder) {
    if (const auto listing = files.listFolder(folder))
        for (const auto& [name, isDirectory] : *listing)
            if (isDirectory) removeEmptyFolders(files, folder + "\\" + name);
    files.removeDirectory(folder);
}
}  // namespace

void tidyWorkFolder(FileSystem& files, const ReleaseLayout& layout) {
    if (layout.besideFiles()) return;
    const std::optional<LocalEntry> work = files.lookUp(layout.workFolder());
    if (work && work->directory) removeEmptyFolders(files, layout.workFolder());
}
}  // namespace updater
