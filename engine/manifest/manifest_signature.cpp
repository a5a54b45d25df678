#include "engine/manifest/manifest_signature.h"

#include "engine/text/hex_text.h"

namespace updater {
namespace {

// Takes the last line, with its required line end, off the end of text.
std::optional<std::string_view> takeLastLine(std::string_view& text) {
    if (text.empty() || text.back() != '\n') return std::nullopt;
    std::string_view line = text.substr(0, text.size() - 1);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    const std::size_t previousEnd = line.rfind('\n');
    const std::size_t start = previousEnd == std::string_view::npos ? 0 : previousEnd + 1;
    text = text.substr(0, start);
    return line.substr(start);
}

}  // namespace

std::optional<SignedManifest> splitSignedManifest(std::string_view text) {
    std::string_view rest = text;
    const std::optional<std::string_view> keyLine = takeLastLine(rest);
    const std::optional<std::string_view> sectionLine = takeLastLine(rest);
    if (!keyLine || !sectionLine) return std::nullopt;
    if (*sectionLine != "[" + std::string(kSignatureSection) + "]") return std::nullopt;

    const std::string prefix = std::string(kSignatureKey) + "=";
    if (keyLine->substr(0, prefix.size()) != prefix) return std::nullopt;
    SignedManifest split{rest, {}};
    if (!decodeHex(keyLine->substr(prefix.size()), split.signature.data(), split.signature.size()))
        return std::nullopt;
    return split;
}

std::string signatureSectionText(const EcdsaSignature& signature) {
    return "[" + std::string(kSignatureSection) + "]\r\n" + std::string(kSignatureKey) + "=" +
           encodeHex(signature.data(), signature.size()) + "\r\n";
}

}  // namespace updater
