#include "engine/release_manifest.h"

#include "engine/byte_limits.h"
#include "engine/ini_file.h"

namespace updater {

namespace {
constexpr std::size_t kPublishedDepth = 8;
}  // namespace

ReleaseKeys readReleaseKeys(std::string_view manifestBytes, std::string_view product, const CodePage& cp,
                            const UnicodeToAnsi* unicodeToAnsi) {
    const IniFile ini = IniFile::parse(manifestBytes, cp, unicodeToAnsi);
    ReleaseKeys keys;
    keys.whole = ini.get(product, "WHOLE", "", kProductVersionBufferBytes) == "1";
    for (std::size_t index = 0;; ++index) {
        const std::string section = "DROP" + std::to_string(index);
        DroppedEntry drop{ini.get(section, "FILE", "", kFileValueBufferBytes), {}};
        if (drop.file.empty()) break;
        for (std::size_t n = 0; n < kPublishedDepth; ++n) {
            const std::string prefix = "PREV" + std::to_string(n) + "_";
            std::optional<std::string> size = ini.find(section, prefix + "SIZE", kFileValueBufferBytes);
            std::optional<std::string> sha256 = ini.find(section, prefix + "SHA256", kFileValueBufferBytes);
            if (!size || !sha256) break;
            drop.published.push_back({std::move(*size), std::move(*sha256)});
        }
        keys.drops.push_back(std::move(drop));
    }
    return keys;
}

}  // namespace updater
