#pragma once
// mkmanifest [--dry-run] [--force] [--per-file] [--code-page N] [--seed-history DIR]
//            [--time "YYYY-MM-DD HH:MM:SS"] [--sign KEY] RELEASE_DIR PRODUCT VERSION OUT_DIR
// mkmanifest keygen PRIVATE_KEY PUBLIC_KEY
#include <string>
#include <vector>

#include "tools/mkmanifest/publisher.h"

namespace mkmanifest {

struct CommandLine {
    PublishOptions options;
    bool help = false;
    bool keygen = false;  // then only the two key paths below count
    std::string privateKeyPath;
    std::string publicKeyPath;
    std::string error;  // empty when the arguments make sense
};

CommandLine parseCommandLine(const std::vector<std::string>& args);
std::string usageText();

}  // namespace mkmanifest
