#pragma once
// Makes the .updpatch that rebuilds a target from a base (engine/transfer/patch_format.h).
// Matches are found through the base's suffix array and grown into
// approximate matches, whose small differences compress well.
#include <cstdint>
#include <string>

namespace mkmanifest {

// Neither base nor target may be larger: making a patch holds the base, its
// suffix array (4 bytes a byte) and the target, some 850 MB at the limit.
constexpr std::uint64_t kPatchInputLimitBytes = 128ull << 20;

// Whether this build makes patches at all (mkmanifest.exe does not).
bool canMakePatches();

std::string makePatch(const std::string& base, const std::string& target);

}  // namespace mkmanifest
