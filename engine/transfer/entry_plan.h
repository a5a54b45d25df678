#pragma once
// What a run decided for one manifest entry, and everything its fetch needs.
#include <optional>
#include <string>
#include <vector>

#include "engine/manifest/content_check.h"
#include "engine/manifest/update_manifest.h"
#include "engine/platform/sha256.h"

namespace updater {

struct EntryPlan {
    enum class Decision { Refused, Current, Fetch };

    explicit EntryPlan(const ManifestEntry& planned) : entry(planned) {}

    const ManifestEntry& entry;
    Decision decision = Decision::Fetch;
    std::string refusal;  // why it is refused, for the log
    // Current only: the content is none the vendor published, and newer than
    // the entry: a user's edit, which stays.
    bool changedLocally = false;
    // Set once the name is allowed: the entry's file in the installation.
    std::string localPath;
    // Set once the file is looked at: what the new content replaces,
    // relative to the program directory (the running updater's waiting copy
    // for the updater itself).
    std::string target;
    // The rest is set for a fetch only.
    std::string downloadPath;  // where the new content arrives
    std::string patchPath;     // where a patch for it waits while it is applied
    ExpectedContent expected;
    // The local file's SHA-256 when deciding by content read it; a patch's
    // base is then not hashed again.
    std::optional<Sha256Digest> localDigest;
    std::vector<std::string> folders;  // those the file's name passes through, outermost first
};

}  // namespace updater
