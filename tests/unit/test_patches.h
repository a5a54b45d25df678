#pragma once
// Patches and compressed copies for the run's tests, in the format the
// publishing tool writes, made the simplest way: the target's bytes as
// differences from the base's while both last, the rest as extra bytes.
#include <zlib.h>

#include <algorithm>
#include <cstdint>
#include <stdexcept>
#include <string>

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

inline void appendLittleEndian(std::string& out, std::uint64_t value, int bytes) {
    for (int i = 0; i < bytes; ++i) out += static_cast<char>(value >> (8 * i));
}

inline std::string makePatch(const std::string& base, const std::string& target) {
    const std::size_t common = std::min(base.size(), target.size());
    std::string control, diff;
    appendLittleEndian(control, common, 8);
    appendLittleEndian(control, target.size() - common, 8);
    appendLittleEndian(control, 0, 8);
    for (std::size_t i = 0; i < common; ++i) diff += static_cast<char>(target[i] - base[i]);
    const std::string streams[] = {zlibOf(control), zlibOf(diff), zlibOf(target.substr(common))};
    std::string patch = "UPDPATCH";
    appendLittleEndian(patch, 1, 4);
    appendLittleEndian(patch, 0, 4);
    appendLittleEndian(patch, base.size(), 8);
    appendLittleEndian(patch, target.size(), 8);
    for (const std::string& stream : streams) appendLittleEndian(patch, stream.size(), 8);
    for (const std::string& stream : streams) patch += stream;
    return patch;
}

}  // namespace updater::fakes
