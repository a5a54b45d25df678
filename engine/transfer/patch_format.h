#pragma once
// The .updpatch layout, shared by the applier and the tool that writes
// patches. docs/PATCHES.md describes it for people.
#include <cstddef>
#include <cstdint>

namespace updater {

inline constexpr char kPatchMagic[8] = {'U', 'P', 'D', 'P', 'A', 'T', 'C', 'H'};
inline constexpr std::uint32_t kPatchVersion = 1;
// Magic, version, flags, base size, target size, three stream lengths.
inline constexpr std::size_t kPatchHeaderBytes = 56;
// add (u64), copy (u64), seek (i64).
inline constexpr std::size_t kPatchRecordBytes = 24;

inline std::uint64_t readLittleEndian(const unsigned char* bytes, std::size_t count) {
    std::uint64_t value = 0;
    for (std::size_t i = count; i-- > 0;) value = (value << 8) | bytes[i];
    return value;
}

inline void writeLittleEndian(std::uint64_t value, unsigned char* bytes, std::size_t count) {
    for (std::size_t i = 0; i < count; ++i, value >>= 8) bytes[i] = static_cast<unsigned char>(value & 0xFF);
}

}  // namespace updater
