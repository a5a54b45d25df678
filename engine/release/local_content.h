#pragma once
// What a local file holds, judged by content against its manifest entry: the
// file the entry publishes, one the vendor published for it before, or
// something made or changed on this machine. Timestamps carry no zone and
// installers stamp files with their own times, so only the bytes tell.
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "engine/manifest/content_check.h"
#include "engine/platform/file_system.h"
#include "engine/platform/sha256.h"
#include "engine/manifest/update_manifest.h"

namespace updater {

enum class LocalContent {
    Current,           // the entry's own SIZE and SHA256
    PublishedEarlier,  // a content of the entry's history: the vendor's, unchanged
    Other,             // made or changed here, or not readable
};

// Sizes are compared first; the file is read and hashed only when its size
// matches the entry's or one of its history's. expected must promise both
// SIZE and SHA256. digest, when given, gets the file's SHA-256 if it was read.
LocalContent judgeLocalContent(FileSystem& files, Sha256Source* hashes, const std::string& path,
                               std::uint64_t localSize, const ExpectedContent& expected,
                               const std::vector<PublishedContent>& previous,
                               std::optional<Sha256Digest>* digest = nullptr);

// Whether an entry needs no download. An entry with SIZE and SHA256 is
// decided by content: a missing file is fetched; the entry's own content is
// current whatever the times; a content the vendor published before is
// updated whatever the times; any other content was made or changed here,
// and the timestamp rule (timestampSaysCurrent) decides, so a user's own
// edit survives as before. For the updater itself its waiting copy counts
// too (bckPath, when not empty). An entry without SHA256 is decided by the
// timestamp rule alone. localDigest, when given, gets the local file's
// SHA-256 if it was read, so that a patch's base need not be hashed again.
bool isEntryCurrent(FileSystem& files, Sha256Source* hashes, const std::optional<LocalEntry>& local,
                    const std::string& localPath, const ManifestEntry& entry, const std::string& bckPath,
                    const std::function<bool()>& timestampSaysCurrent,
                    std::optional<Sha256Digest>* localDigest = nullptr);

}  // namespace updater
