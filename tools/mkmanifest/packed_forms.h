#pragma once
// The smaller forms a file is also published in, beside it in the output: a
// patch from each of its last contents (<file>.<16 hex of the base>.updpatch)
// and a zlib copy (<file>.updz), listed in the manifest as the updater's
// PatchOffer and CompressedCopy. The contents patches start from are kept in
// the output's .history folder, named by their SHA-256.
#include <string>

#include "engine/manifest/update_manifest.h"

namespace mkmanifest {

using updater::CompressedCopy;
using updater::PatchOffer;

constexpr const char* kHistoryFolder = ".history";
constexpr const char* kPatchSuffix = ".updpatch";
constexpr const char* kCopySuffix = ".updz";

std::string patchName(const std::string& file, const std::string& baseSha256);
std::string copyName(const std::string& file);
std::string keptContentName(const std::string& sha256);
// Whether a release file's name would clash with what mkmanifest writes.
bool isPackedFormName(const std::string& name);

}  // namespace mkmanifest
