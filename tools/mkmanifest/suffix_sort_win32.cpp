#include <stdexcept>

#include "tools/mkmanifest/suffix_sort.h"

namespace mkmanifest {

// Debian has no suffix sorter for mingw; the Windows tool publishes without patches.
bool canSortSuffixes() { return false; }

std::vector<std::int32_t> sortSuffixes(const std::string&) {
    throw std::logic_error("this build of mkmanifest makes no patches");
}

}  // namespace mkmanifest
