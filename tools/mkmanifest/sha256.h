#pragma once
// SHA-256 of a byte stream, by the platform's crypto library.
#include <cstddef>
#include <memory>
#include <string>

namespace mkmanifest {

class Sha256 {
public:
    Sha256();  // throws PublishError when the library fails
    ~Sha256();
    Sha256(Sha256&&) noexcept;
    Sha256& operator=(Sha256&&) noexcept;
    Sha256(const Sha256&) = delete;
    Sha256& operator=(const Sha256&) = delete;

    void update(const void* data, std::size_t size);
    std::string finishHex();  // lower-case; call once

private:
    struct State;
    std::unique_ptr<State> state_;
};

}  // namespace mkmanifest
