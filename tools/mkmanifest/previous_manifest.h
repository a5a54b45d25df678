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
    std::string size;       // as written, empty when missing
    std::string sha256;     // as written, empty when missing
    std::string timestamp;  // the file's version, as written
    std::vector<PublishedContent> history;  // its well-formed earlier contents
    std::vector<PatchOffer> patches;        // its well-formed offers, as the updater reads them
    std::optional<CompressedCopy> copy;     // its copy, when the updater would use it
    std::optional<std::string> object;      // its OBJECT, as written
};

struct PreviousDrop {
    std::vector<PublishedContent> history;  // its well-formed earlier contents
    int age = kDropWindow;
};

struct PreviousManifest {
    std::optional<std::string> productVersion;  // nothing when the product section has none
    std::vector<std::string> fileOrder;         // file names in manifest order, without repeats
    std::map<std::string, PreviousEntry> files;
    std::map<std::string, PreviousDrop> dropped;  // a name listed as a file too is a file
};

PreviousManifest readPreviousManifest(std::string_view bytes, const std::string& product);

}  // namespace mkmanifest
