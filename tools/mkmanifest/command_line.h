#pragma once
// mkmanifest [--dry-run] [--force] [--time "YYYY-MM-DD HH:MM:SS"]
//            RELEASE_DIR PRODUCT VERSION OUT_DIR
#include <string>
#include <vector>

#include "tools/mkmanifest/publisher.h"

namespace mkmanifest {

struct CommandLine {
    PublishOptions options;
    bool help = false;
    std::string error;  // empty when the arguments make sense
};

CommandLine parseCommandLine(const std::vector<std::string>& args);
std::string usageText();

}  // namespace mkmanifest
