#pragma once
// Bodies for the tests' files: bytes that are not text, and that differ from
// one seed to the next, so a mix-up or a cut shows.
#include <cstddef>
#include <string>

namespace testsupport {

// A cheap repeatable pattern.
std::string patternBytes(std::size_t size, unsigned seed);

// Pseudo-random bytes (mt19937 seeded with seed).
std::string randomBytes(std::size_t size, unsigned seed);

}  // namespace testsupport
