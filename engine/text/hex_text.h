#pragma once
// Bytes as hexadecimal text: signatures, digests and test data.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace updater {

// Fills out with the bytes of hex text (either letter case); false unless
// the text is exactly 2 * size hex digits.
bool decodeHex(std::string_view text, std::uint8_t* out, std::size_t size);
// The bytes of hex text of any even length; nothing when it is not hex.
std::optional<std::string> decodeHex(std::string_view text);
// Lower-case hex.
std::string encodeHex(const std::uint8_t* bytes, std::size_t size);
inline std::string encodeHex(std::string_view bytes) {
    return encodeHex(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size());
}

}  // namespace updater
