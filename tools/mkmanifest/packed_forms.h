#pragma once
// What mkmanifest publishes besides the files: every file's content, each
// patch and each zlib copy as an object, _objects/<SHA-256 in lower-case
// hex>, a name whose content never changes, so that any cache on the way may
// keep it (the manifest names them in OBJECT, PATCHn_FILE and ZFILE; the
// updater's PatchOffer and CompressedCopy). The contents patches start from
// are kept in the output's .history folder, named by their SHA-256.
// Earlier publications named patches <file>.<16 hex>.updpatch and copies
// <file>.updz beside the file; those names are still kept from releases and
// pruned from the output.
#include <string>

#include "engine/manifest/update_manifest.h"

namespace mkmanifest {

using updater::CompressedCopy;
using updater::PatchOffer;

constexpr const char* kHistoryFolder = ".history";
constexpr const char* kObjectFolder = "_objects";
constexpr const char* kOldPatchSuffix = ".updpatch";
constexpr const char* kOldCopySuffix = ".updz";

std::string objectName(const std::string& sha256);
// Where a patch or copy is written before its digest names it.
std::string incomingObjectName();
bool isObjectName(const std::string& name);
std::string keptContentName(const std::string& sha256);
// Whether a release file's name would clash with what mkmanifest writes.
bool isPackedFormName(const std::string& name);

}  // namespace mkmanifest
