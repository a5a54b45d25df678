#pragma once
// Profile (INI) text read by section and key, as the platform's profile
// lookup reads it. Used for updataAdd.ini and for the update manifest.
#include <cstddef>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "engine/unicode_to_ansi.h"

namespace updater {

class UpdateManifest {
public:
    // No file: every lookup gives its default, as parse("") does.
    UpdateManifest() = default;
    // Parses the bytes once; lookups afterwards do not rescan the text. A
    // UTF-8 or UTF-16 file is converted to the ANSI code page by
    // unicodeToAnsi; without one its non-ASCII characters read as "?".
    static UpdateManifest parse(std::string_view bytes, const UnicodeToAnsi* unicodeToAnsi = nullptr);

    // Value of key in section (both compared ignoring ASCII case), cut to
    // bufferBytes - 1 bytes, never inside a double-byte character. The default
    // only when the key is missing; the format's finer rules are described in
    // update_manifest.cpp.
    std::string get(std::string_view section, std::string_view key,
                    std::string_view defaultValue, std::size_t bufferBytes) const;
    // As get, but nothing when the key is missing.
    std::optional<std::string> find(std::string_view section, std::string_view key, std::size_t bufferBytes) const;

private:
    struct Impl;
    std::shared_ptr<const Impl> impl_;
};

}  // namespace updater
