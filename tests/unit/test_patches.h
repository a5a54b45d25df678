#pragma once
// Patches and compressed copies built by hand in the format the publishing
// tool writes, for the applier's table, its fuzz target and the run's tests.
#include <zlib.h>

#include <algorithm>
#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

#include "engine/transfer/patch_format.h"

namespace updater::fakes {

inline std::string zlibOf(const std::string& bytes) {
    uLongf size = compressBound(static_cast<uLong>(bytes.size()));
    std::string packed(size, '\0');
    if (compress2(reinterpret_cast<Bytef*>(packed.data()), &size, reinterpret_cast<const Bytef*>(bytes.data()),
                  static_cast<uLong>(bytes.size()), 9) != Z_OK)
        throw std::runtime_error("compress2 failed");
    packed.resize(size);
    return packed;
}

inline std::string littleEndian(std::uint64_t value, std::size_t count) {
    std::string bytes(count, '\0');
    writeLittleEndian(value, reinterpret_cast<unsigned char*>(bytes.data()), count);
    return bytes;
}

struct PatchRecord {
    std::uint64_t add, copy;
    std::int64_t seek;
};

// A patch before it is packed: every field can be spoiled on its own.
struct PatchParts {
    std::string magic = "UPDPATCH";
    std::uint32_t version = 1, flags = 0;
    std::uint64_t baseSize = 0, targetSize = 0;
    std::vector<PatchRecord> records;
    std::string rawControlTail, diff, extra;             // inflated contents
    std::string packedControl, packedDiff, packedExtra;  // packed from the above unless set
    std::string trailing;

    std::string pack() const {
        std::string control;
        for (const PatchRecord& r : records)
            control += littleEndian(r.add, 8) + littleEndian(r.copy, 8) +
                       littleEndian(static_cast<std::uint64_t>(r.seek), 8);
        const std::string streams[] = {packedControl.empty() ? zlibOf(control + rawControlTail) : packedControl,
                                       packedDiff.empty() ? zlibOf(diff) : packedDiff,
                                       packedExtra.empty() ? zlibOf(extra) : packedExtra};
        std::string patch = magic + littleEndian(version, 4) + littleEndian(flags, 4) + littleEndian(baseSize, 8) +
                            littleEndian(targetSize, 8);
        for (const std::string& stream : streams) patch += littleEndian(stream.size(), 8);
        for (const std::string& stream : streams) patch += stream;
        return patch + trailing;
    }
};

// The simplest patch: the target's bytes as differences from the base's
// while both last, the rest as extra bytes.
inline std::string makePatch(const std::string& base, const std::string& target) {
    const std::size_t common = std::min(base.size(), target.size());
    PatchParts parts;
    parts.baseSize = base.size();
    parts.targetSize = target.size();
    parts.records = {{common, target.size() - common, 0}};
    for (std::size_t i = 0; i < common; ++i) parts.diff += static_cast<char>(target[i] - base[i]);
    parts.extra = target.substr(common);
    return parts.pack();
}

}  // namespace updater::fakes
