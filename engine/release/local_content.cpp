#include "engine/release/local_content.h"

#include <optional>

namespace updater {

namespace {

struct Candidate {
    Sha256Digest sha256;
    LocalContent verdict;
};

// The contents of the local file's size: only those can match it.
std::vector<Candidate> candidatesOfSize(std::uint64_t localSize, const ExpectedContent& expected,
                                        const std::vector<PublishedContent>& previous) {
    std::vector<Candidate> candidates;
    if (expected.size == localSize) candidates.push_back({*expected.sha256, LocalContent::Current});
    for (const PublishedContent& content : previous) {
        // A malformed pair matches nothing.
        const std::optional<ExpectedContent> earlier = readExpectedContent(content.size, content.sha256);
        if (earlier && earlier->promisesEverything() && earlier->size == localSize)
            candidates.push_back({*earlier->sha256, LocalContent::PublishedEarlier});
    }
    return candidates;
}

}  // namespace

LocalContent judgeLocalContent(FileSystem& files, Sha256Source* hashes, const std::string& path,
                               std::uint64_t localSize, const ExpectedContent& expected,
                               const std::vector<PublishedContent>& previous, std::optional<Sha256Digest>* digest) {
    const std::vector<Candidate> candidates = candidatesOfSize(localSize, expected, previous);
    if (candidates.empty() || !hashes) return LocalContent::Other;
    const std::optional<Sha256Digest> read = fileSha256(files, *hashes, path);
    if (digest) *digest = read;
    if (!read) return LocalContent::Other;
    for (const Candidate& candidate : candidates)
        if (candidate.sha256 == *read) return candidate.verdict;
    return LocalContent::Other;
}

bool isEntryCurrent(FileSystem& files, Sha256Source* hashes, const std::optional<LocalEntry>& local,
                    const std::string& localPath, const ManifestEntry& entry, const std::string& bckPath,
                    const std::function<bool()>& timestampSaysCurrent, std::optional<Sha256Digest>* localDigest) {
    const std::optional<ExpectedContent> expected = readExpectedContent(entry.size, entry.sha256);
    if (!expected || !expected->sha256 || !expected->size) return local && timestampSaysCurrent();
    if (!bckPath.empty()) {
        const std::optional<LocalEntry> waiting = files.lookUp(bckPath);
        if (waiting && !waiting->directory &&
            judgeLocalContent(files, hashes, bckPath, waiting->size, *expected, {}) == LocalContent::Current)
            return true;
    }
    if (!local) return false;
    switch (judgeLocalContent(files, hashes, localPath, local->size, *expected, entry.previous, localDigest)) {
    case LocalContent::Current: return true;
    case LocalContent::PublishedEarlier: return false;
    case LocalContent::Other: break;
    }
    return timestampSaysCurrent();
}

}  // namespace updater
