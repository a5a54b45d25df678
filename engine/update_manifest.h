#pragma once
// update.ini as the updater understands it: the product's VERSION in the
// section named after the product, and the file list in sections FILE0,
// FILE1, ... up to the first whose FILE is empty. Read the same way by the
// check, the run and the publishing tool.
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

#include "engine/code_page.h"
#include "engine/ini_file.h"
#include "engine/unicode_to_ansi.h"

namespace updater {

// One file section; SIZE and SHA256 are nothing when missing.
struct ManifestEntry {
    std::string file;
    std::string version;
    std::optional<std::string> size;
    std::optional<std::string> sha256;
};

class UpdateManifest {
public:
    // See IniFile::parse; cp must outlive the object.
    static UpdateManifest parse(std::string_view bytes, const CodePage& cp,
                                const UnicodeToAnsi* unicodeToAnsi = nullptr);

    // The product section's VERSION, nothing when it has none.
    std::optional<std::string> productVersion(std::string_view product) const;
    // Section FILE<index>; nothing from the first section without a FILE on,
    // which ends the list.
    std::optional<ManifestEntry> entry(std::size_t index) const;

private:
    explicit UpdateManifest(IniFile ini) : ini_(std::move(ini)) {}
    IniFile ini_;
};

}  // namespace updater
