#include "tools/mkmanifest/packed_forms.h"

#include "tools/mkmanifest/naming_rules.h"

namespace mkmanifest {
namespace {

bool endsWithIgnoringCase(const std::string& name, const std::string& suffix) {
    return name.size() >= suffix.size() && sameNameIgnoringCase(name.substr(name.size() - suffix.size()), suffix);
}

}  // namespace

std::string patchName(const std::string& file, const std::string& baseSha256) {
    return file + "." + baseSha256.substr(0, 16) + kPatchSuffix;
}

std::string copyName(const std::string& file) { return file + kCopySuffix; }

std::string keptContentName(const std::string& sha256) { return std::string(kHistoryFolder) + "/" + sha256; }

bool isPackedFormName(const std::string& name) {
    const std::string folder = std::string(kHistoryFolder) + "/";
    return endsWithIgnoringCase(name, kPatchSuffix) || endsWithIgnoringCase(name, kCopySuffix) ||
           (name.size() >= folder.size() && sameNameIgnoringCase(name.substr(0, folder.size()), folder));
}

}  // namespace mkmanifest
