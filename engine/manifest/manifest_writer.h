#pragma once
// Writes update.ini in the form UpdateManifest reads: the product section
// first, then each file section and each drop section numbered in the order
// given from 0, every line ending in CRLF (the file is read on Windows, and
// every INI reader accepts it) and a blank line before each section but the
// first. Values go out as they are: the caller keeps them within the
// reader's limits and free of line ends.
#include <cstddef>
#include <string>
#include <string_view>

#include "engine/manifest/update_manifest.h"

namespace updater {

class ManifestWriter {
public:
    void product(std::string_view name, std::string_view version, bool wholeRelease);
    // SIZE, SHA256 and OBJECT only when present; each patch offer and the copy must
    // promise both size and SHA-256, as the reader requires.
    void entry(const ManifestEntry& entry);
    // AGE only when present.
    void dropped(const DroppedFile& dropped);

    const std::string& text() const { return text_; }

private:
    void section(std::string_view name);
    void key(std::string_view name, std::string_view value);
    void history(const std::vector<PublishedContent>& contents);
    void content(std::string_view sizeKey, std::string_view sha256Key, const ExpectedContent& content);

    std::string text_;
    std::size_t entries_ = 0;
    std::size_t drops_ = 0;
};

}  // namespace updater
