#pragma once
// A file, or any byte source, read at any offset.
#include <cstddef>
#include <cstdint>

namespace updater {

class RandomAccessInput {
public:
    virtual ~RandomAccessInput() = default;
    virtual std::uint64_t size() const = 0;
    // Reads exactly size bytes at offset; false when it cannot.
    virtual bool readAt(std::uint64_t offset, char* data, std::size_t size) = 0;
};

}  // namespace updater
