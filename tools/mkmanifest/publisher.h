#pragma once
// One publication from start to end: checks, plan, copies, then the manifest.
#include <optional>
#include <ostream>
#include <string>

#include "tools/mkmanifest/manifest_signer.h"
#include "tools/mkmanifest/naming_rules.h"
#include "tools/mkmanifest/release_store.h"
#include "tools/mkmanifest/timestamp.h"

namespace mkmanifest {

struct PublishOptions {
    std::string releaseDir;
    std::string product;
    std::string version;
    std::string outDir;
    bool dryRun = false;
    bool force = false;
    bool perFile = false;    // leave WHOLE=1 out: clients install file by file
    bool strict = false;     // a warning about the release refuses it
    std::string seedHistoryDir;  // an installed release whose contents join the history
    std::string signingKey;  // private key file; empty for an unsigned manifest
    std::optional<LocalTime> time;  // the clock when not given
    unsigned codePage = kDefaultCodePage;  // the clients': names are its bytes
};

constexpr const char* kManifestName = "update.ini";

// Returns the exit code: 0 when published (or the dry run is clean), 1 when
// refused or failed. The report goes to out, problems and progress to err.
// With a signer the manifest ends in its signature section.
int publish(const PublishOptions& options, ReleaseStore& store, const LocalTime& now, std::ostream& out,
            std::ostream& err, ManifestSigner* signer = nullptr);

}  // namespace mkmanifest
