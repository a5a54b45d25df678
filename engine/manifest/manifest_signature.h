#pragma once
// The signed form of update.ini: the manifest as ever, then one final section
//
//   [SIGNATURE]
//   ECDSA_P256_SHA256=<128 hex digits: r || s>
//
// where each line ends in CRLF (or LF) and nothing follows. The signature
// covers every byte of the file before the "[SIGNATURE]" line. Updaters
// without a key read the section as one more unknown section.
#include <optional>
#include <string>
#include <string_view>

#include "engine/manifest/manifest_keys.h"
#include "engine/platform/update_verifier.h"

namespace updater {

struct SignedManifest {
    std::string_view signedBytes;  // a view into the text given
    EcdsaSignature signature;
};

// Splits a signed manifest; nothing when the text does not end in exactly
// one well-formed signature section.
std::optional<SignedManifest> splitSignedManifest(std::string_view text);

// The section's text (CRLF line ends) for a signature, as the publisher
// appends it.
std::string signatureSectionText(const EcdsaSignature& signature);

}  // namespace updater
