#include "tools/mkmanifest/packed_forms.h"

#include "tools/mkmanifest/naming_rules.h"

namespace mkmanifest {
namespace {

bool endsWithIgnoringCase(const std::string& name, const std::string& suffix) {
    return name.size() >= suffix.size() && sameNameIgnoringCase(name.substr(name.size() - suffix.size()), suffix);
}

bool startsWithIgnoringCase(const std::string& name, const std::string& prefix) {
    return name.size() >= prefix.size() && sameNameIgnoringCase(name.substr(0, prefix.size()), prefix);
}

}  // namespace

std::string objectName(const std::string& sha256) { return std::string(kObjectFolder) + "/" + sha256; }

std::string incomingObjectName() { return std::string(kObjectFolder) + "/.incoming"; }

bool isObjectName(const std::string& name) { return startsWithIgnoringCase(name, std::string(kObjectFolder) + "/"); }

std::string keptContentName(const std::string& sha256) { return std::string(kHistoryFolder) + "/" + sha256; }

bool isPackedFormName(const std::string& name) {
    return endsWithIgnoringCase(name, kOldPatchSuffix) || endsWithIgnoringCase(name, kOldCopySuffix) ||
           startsWithIgnoringCase(name, std::string(kHistoryFolder) + "/") || isObjectName(name) ||
           sameNameIgnoringCase(name, kObjectFolder);
}

}  // namespace mkmanifest
