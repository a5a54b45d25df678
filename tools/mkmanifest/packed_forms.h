#pragma once
// The smaller forms a file is also published in, beside it in the output: a
// patch from each of its last contents (<file>.<16 hex of the base>.updpatch)
// and a zlib copy (<file>.updz). The contents patches start from are kept in
// the output's .history folder, named by their SHA-256.
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace mkmanifest {

constexpr std::size_t kPatchesPerFile = 3;
constexpr const char* kHistoryFolder = ".history";
constexpr const char* kPatchSuffix = ".updpatch";
constexpr const char* kCopySuffix = ".updz";

struct ListedPatch {
    std::string base;  // SHA-256 of the content it starts from, lower-case hex
    std::string file;
    std::uint64_t size = 0;
    std::string sha256;
};

struct ListedCopy {
    std::string file;
    std::uint64_t size = 0;
    std::string sha256;
};

std::string patchName(const std::string& file, const std::string& baseSha256);
std::string copyName(const std::string& file);
std::string keptContentName(const std::string& sha256);
// Whether a release file's name would clash with what mkmanifest writes.
bool isPackedFormName(const std::string& name);

}  // namespace mkmanifest
