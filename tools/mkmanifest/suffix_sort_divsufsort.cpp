#include <divsufsort.h>

#include <stdexcept>

#include "tools/mkmanifest/suffix_sort.h"

namespace mkmanifest {

bool canSortSuffixes() { return true; }

std::vector<std::int32_t> sortSuffixes(const std::string& bytes) {
    std::vector<std::int32_t> suffixes(bytes.size());
    if (bytes.empty()) return suffixes;
    if (divsufsort(reinterpret_cast<const sauchar_t*>(bytes.data()), suffixes.data(),
                   static_cast<saidx_t>(bytes.size())) != 0)
        throw std::bad_alloc();
    return suffixes;
}

}  // namespace mkmanifest
