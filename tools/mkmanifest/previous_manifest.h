#pragma once
// The manifest of the last publication, read back through the updater's own
// manifest model, so that the tool sees exactly the entries clients see.
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "tools/mkmanifest/packed_forms.h"
#include "tools/mkmanifest/release_history.h"

namespace mkmanifest {

struct PreviousEntry {
    std::string size;       // SIZE as written, empty when missing
    std::string sha256;     // SHA256 as written, empty when missing
    std::string timestamp;  // VERSION as written
    std::vector<PublishedContent> history;  // its well-formed PREVn pairs
    std::vector<ListedPatch> patches;       // its complete PATCHn_ keys
    std::optional<ListedCopy> copy;         // ZFILE, ZSIZE and ZSHA256, when all are there
};

struct PreviousDrop {
    std::vector<PublishedContent> history;  // its well-formed PREVn pairs
    int age = kDropWindow;
};

struct PreviousManifest {
    std::optional<std::string> productVersion;  // nothing when the product section has no VERSION
    std::vector<std::string> fileOrder;         // FILE values in manifest order, without repeats
    std::map<std::string, PreviousEntry> files;
    std::map<std::string, PreviousDrop> dropped;  // a name listed as a file too is a file
};

PreviousManifest readPreviousManifest(std::string_view bytes, const std::string& product);

}  // namespace mkmanifest
