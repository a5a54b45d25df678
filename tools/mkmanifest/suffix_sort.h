#pragma once
// The suffix array of a base, for finding matches in it. Only the native
// build has a suffix sorter; mkmanifest.exe makes no patches.
#include <cstdint>
#include <string>
#include <vector>

namespace mkmanifest {

bool canSortSuffixes();
// Start positions of the suffixes of bytes in lexicographic order; bytes
// must be shorter than 2 GiB. Throws std::logic_error without a sorter.
std::vector<std::int32_t> sortSuffixes(const std::string& bytes);

}  // namespace mkmanifest
