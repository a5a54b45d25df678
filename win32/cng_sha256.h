#pragma once
// SHA-256 by the Windows CNG API, for downloads and for the keyed build's
// signature check.
#include "win32/unique_handle.h"
#include "engine/platform/sha256.h"

namespace updater::win32 {

class CngSha256Source : public Sha256Source {
public:
    CngSha256Source();
    // Throws std::runtime_error when CNG has no SHA-256.
    std::unique_ptr<Sha256Hasher> startSha256() override;

private:
    AlgorithmHandle algorithm_;
};

}  // namespace updater::win32
