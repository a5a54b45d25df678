#pragma once
// Which bytes of the manifest copy the check and the run may act on.
#include <optional>
#include <string>

#include "engine/platform/update_verifier.h"

namespace updater {

// Without a verifier: the copy as it is, and no copy reads as empty text.
// With one: only the signed bytes of a copy whose signature the verifier
// accepts; nothing for an unsigned, altered or missing copy. The signature
// section itself is left out, so nothing unsigned is ever read.
std::optional<std::string> trustedManifestBytes(UpdateVerifier* verifier, const std::optional<std::string>& copy);

}  // namespace updater
