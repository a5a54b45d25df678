#include "engine/transfer/resumable_fetch.h"

#include <optional>

#include "engine/text/hex_text.h"

namespace updater {

namespace {

std::string withoutSeparator(const std::string& folder) {
    return folder.empty() ? folder : folder.substr(0, folder.size() - 1);
}

bool makeFolder(FileSystem& files, const std::string& path, bool hidden = false) {
    if (hidden ? files.makeHiddenDirectory(path) : files.makeDirectory(path)) return true;
    const std::optional<LocalEntry> there = files.lookUp(path);
    return there && there->directory && !there->blocked;
}

// The bytes a part file holds that are worth asking the rest for: fewer than
// the file's size. One as long or longer is removed.
std::uint64_t heldBytes(FileSystem& files, const std::string& part, std::uint64_t size) {
    const std::optional<LocalEntry> there = files.lookUp(part);
    if (!there || there->directory) return 0;
    if (there->size < size) return there->size;
    files.remove(part);
    return 0;
}

}  // namespace

std::string partFolderOf(const std::string& programDirectory) {
    return programDirectory + std::string(kWorkFolderName) + "\\" + std::string(kPartFolderName) + "\\";
}

std::string partialDownloadPath(const std::string& partFolder, const Sha256Digest& content) {
    return partFolder + encodeHex(content.data(), content.size());
}

void removeEmptyPartFolders(FileSystem& files, const std::string& programDirectory) {
    const std::string part = withoutSeparator(partFolderOf(programDirectory));
    const std::string release = programDirectory + std::string(kWorkFolderName);
    if (files.lookUp(part)) files.removeDirectory(part);
    if (files.lookUp(release)) files.removeDirectory(release);
}

FetchEnd fetchResumable(TransferContext& context, BodyRequest request, const ExpectedContent& expected,
                        const std::string& destination, const SinkAt& sinkAt) {
    const std::string& partFolder = context.partFolder;
    const bool resumable = !partFolder.empty() && expected.promisesEverything() && *expected.size > 0;
    const std::string releaseFolder = resumable ? partFolder.substr(0, partFolder.size() - kPartFolderName.size() - 1) : "";
    if (!resumable || !makeFolder(context.files, withoutSeparator(releaseFolder), true) ||
        !makeFolder(context.files, withoutSeparator(partFolder))) {
        const std::unique_ptr<CheckedFileSink> sink = sinkAt(destination);
        return fetchBody(context, request, *sink);
    }
    FileSystem& files = context.files;
    const std::string part = partialDownloadPath(partFolder, *expected.sha256);
    const std::uint64_t size = *expected.size;
    // A second try only after held bytes proved of no use, from byte 0.
    for (int attempt = 0; attempt < 2; ++attempt) {
        RangeAnswer answer = RangeAnswer::None;
        request.from = heldBytes(files, part, size);
        request.expectedSize = size;
        request.rangeAnswer = &answer;
        if (request.from > 0)
            context.log.write("file " + request.entryFile + ": resuming " + request.file + " from byte " +
                              std::to_string(request.from) + " of " + std::to_string(size));
        const std::unique_ptr<CheckedFileSink> sink = sinkAt(part);
        sink->keepWhenCut();
        const FetchEnd end = fetchBody(context, request, *sink);
        if (end == FetchEnd::Taken) {
            if (files.replace(part, destination)) return FetchEnd::Taken;
            logFileError(context, request.entryFile, "cannot move " + part + " to " + destination);
            files.remove(part);
            return FetchEnd::NotTaken;
        }
        const bool resumedWrong = answer == RangeAnswer::Appended && sink->refused();
        if (answer == RangeAnswer::Wrong || answer == RangeAnswer::Refused || resumedWrong) files.remove(part);
        if (answer == RangeAnswer::Refused)
            context.log.write("file " + request.entryFile + ": the server refused the range; fetching it whole");
        else if (resumedWrong)
            context.log.write("file " + request.entryFile + ": the resumed download is not the content; fetching it whole");
        else
            return end;
    }
    return FetchEnd::NotTaken;
}

}  // namespace updater
