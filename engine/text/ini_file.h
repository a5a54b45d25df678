#pragma once
// An INI file read by section and key, as the platform's profile lookup
// reads it: updataAdd.ini, and update.ini beneath the manifest's model.
#include <cstddef>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "engine/text/code_page.h"
#include "engine/text/unicode_to_ansi.h"

namespace updater {

class IniFile {
public:
    // No file: every lookup gives its default, as parse("") does.
    IniFile() = default;
    // Parses the bytes once; lookups afterwards do not rescan the text. The
    // text is in the code page cp, which must outlive the object. A UTF-8 or
    // UTF-16 file is converted to it by unicodeToAnsi; without one its
    // non-ASCII characters read as "?".
    static IniFile parse(std::string_view bytes, const CodePage& cp, const UnicodeToAnsi* unicodeToAnsi = nullptr);

    // Value of key in section (both compared ignoring ASCII case), cut to
    // bufferBytes - 1 bytes, never inside a double-byte character. The default
    // only when the key is missing; the format's finer rules are described in
    // ini_file.cpp.
    std::string get(std::string_view section, std::string_view key,
                    std::string_view defaultValue, std::size_t bufferBytes) const;
    // As get, but nothing when the key is missing.
    std::optional<std::string> find(std::string_view section, std::string_view key, std::size_t bufferBytes) const;
    // Whether any line names a section ("[name]"); an HTML page or plain
    // text has none.
    bool hasSectionLine() const;

private:
    struct Impl;
    std::shared_ptr<const Impl> impl_;
};

}  // namespace updater
