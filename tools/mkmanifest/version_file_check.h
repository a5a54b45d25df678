#pragma once
// The updater never writes updataAdd.ini, so a release that does not carry
// one with its own strVersion leaves every client reporting the old version,
// and the same update is offered at every check.
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "tools/mkmanifest/release_store.h"

namespace mkmanifest {

// The warning to print, or nothing when the release's top-level updataAdd.ini
// (any letter case) has a strVersion that reads as the same decimal number as
// version. read gives a listed file's bytes.
std::optional<std::string> versionFileWarning(
    const std::vector<ListedFile>& listed, const std::string& version,
    const std::function<std::optional<std::string>(const std::string& name)>& read);

}  // namespace mkmanifest
