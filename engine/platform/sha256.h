#pragma once
// SHA-256 as the engine needs it: fed chunk by chunk while a body arrives.
// The platform provides it (CNG in the program).
#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>

namespace updater {

using Sha256Digest = std::array<std::uint8_t, 32>;

class Sha256Hasher {
public:
    virtual ~Sha256Hasher() = default;
    virtual void update(const char* data, std::size_t size) = 0;
    virtual Sha256Digest finish() = 0;  // call once
};

class Sha256Source {
public:
    virtual ~Sha256Source() = default;
    // Throws std::runtime_error when the platform cannot hash.
    virtual std::unique_ptr<Sha256Hasher> startSha256() = 0;
};

}  // namespace updater
