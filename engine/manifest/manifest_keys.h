#pragma once
// The names of update.ini's sections and keys, for everything that reads or
// writes one. The INI reader ignores their letter case; the writer uses
// these spellings.
#include <cstddef>
#include <string>
#include <string_view>

namespace updater {

// The product's section is named after the product and holds these two.
inline constexpr std::string_view kVersionKey = "VERSION";
inline constexpr std::string_view kWholeReleaseKey = "WHOLE";
inline constexpr std::string_view kWholeReleaseValue = "1";

// File sections FILE0, FILE1, ...; dropped files DROP0, DROP1, ...
inline constexpr std::string_view kFileSectionPrefix = "FILE";
inline constexpr std::string_view kDropSectionPrefix = "DROP";

// A file or drop section's keys (VERSION above is a file's timestamp).
inline constexpr std::string_view kFileKey = "FILE";
inline constexpr std::string_view kSizeKey = "SIZE";
inline constexpr std::string_view kSha256Key = "SHA256";
inline constexpr std::string_view kAgeKey = "AGE";
// The file's content under a name that never changes meaning, _objects/<SHA-256>.
inline constexpr std::string_view kObjectKey = "OBJECT";
// PREVn_SIZE, PREVn_SHA256 and PATCHn_BASE, _FILE, _SIZE, _SHA256.
inline constexpr std::string_view kHistoryKeyPrefix = "PREV";
inline constexpr std::string_view kPatchKeyPrefix = "PATCH";
inline constexpr std::string_view kPatchBaseKey = "BASE";
// The zlib copy.
inline constexpr std::string_view kCopyFileKey = "ZFILE";
inline constexpr std::string_view kCopySizeKey = "ZSIZE";
inline constexpr std::string_view kCopySha256Key = "ZSHA256";

// The signed form's final section and its one key.
inline constexpr std::string_view kSignatureSection = "SIGNATURE";
inline constexpr std::string_view kSignatureKey = "ECDSA_P256_SHA256";

inline std::string fileSectionName(std::size_t index) {
    return std::string(kFileSectionPrefix) + std::to_string(index);
}
inline std::string dropSectionName(std::size_t index) {
    return std::string(kDropSectionPrefix) + std::to_string(index);
}
// <prefix><n>_<key>, as PREV0_SIZE or PATCH2_BASE.
inline std::string numberedKey(std::string_view prefix, std::size_t n, std::string_view key) {
    return std::string(prefix) + std::to_string(n) + "_" + std::string(key);
}

}  // namespace updater
