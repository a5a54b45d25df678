#include "tests/support/sample_bytes.h"

#include <random>

namespace testsupport {

std::string patternBytes(std::size_t size, unsigned seed) {
    std::string bytes(size, '\0');
    for (std::size_t i = 0; i < size; ++i) bytes[i] = static_cast<char>((i * 131 + seed * 7 + (i >> 8)) & 0xff);
    return bytes;
}

std::string randomBytes(std::size_t size, unsigned seed) {
    std::mt19937 generate(seed);
    std::string bytes(size, '\0');
    for (char& b : bytes) b = static_cast<char>(generate() & 0xFF);
    return bytes;
}

}  // namespace testsupport
