#pragma once
// Rebuilds a file from a base and a .updpatch (format: engine/transfer/patch_format.h,
// docs/PATCHES.md), streaming: the base and the patch are read in place.
#include <cstddef>
#include <cstdint>
#include <functional>

#include "engine/platform/random_access_input.h"

namespace updater {

enum class PatchOutcome { Rebuilt, Malformed, ReadFailed, Stopped };

// Rebuilds the target from base and patch and hands it to write in order, in
// chunks of at most 64 KiB, never more than targetSize bytes in all. Rebuilt
// only when the patch is whole (see the format) and exactly targetSize bytes
// were produced. write returns false to stop (Stopped); exceptions from write
// pass through. Memory stays bounded whatever the sizes: nothing is allocated
// in proportion to base, patch or target.
PatchOutcome applyPatch(RandomAccessInput& base, RandomAccessInput& patch, std::uint64_t targetSize,
                        const std::function<bool(const char*, std::size_t)>& write);

}  // namespace updater
