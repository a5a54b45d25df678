#pragma once
// update.ini as the updater understands it: the product's VERSION (and WHOLE)
// in the section named after the product, the file list in sections FILE0,
// FILE1, ... up to the first whose FILE is empty, and the files the release
// dropped in DROP0, DROP1, ... likewise. Read the same way by the check, the
// run and the publishing tool; manifest_writer.h writes it. The key names
// are in manifest_keys.h.
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "engine/text/code_page.h"
#include "engine/manifest/content_check.h"
#include "engine/manifest/manifest_keys.h"
#include "engine/text/ini_file.h"
#include "engine/text/unicode_to_ansi.h"

namespace updater {

// How many earlier contents a section lists: PREV0_SIZE, PREV0_SHA256 up to
// PREV7_SIZE, PREV7_SHA256. Keys beyond are ignored.
constexpr std::size_t kHistoryDepth = 8;

// A size and SHA-256 that the vendor published for a file before, as
// written. Nothing checks them here: they are only ever compared with a
// local file's (readExpectedContent in content_check.h gives nothing for a
// malformed pair), so a malformed value, empty included, matches no file.
struct PublishedContent {
    std::string size;
    std::string sha256;

    bool operator==(const PublishedContent&) const = default;
};

// How many patches a section offers: PATCH0_... up to PATCH2_.... The
// publishing tool makes at most as many.
constexpr std::size_t kPatchOffers = 3;

// A patch that rebuilds the entry's file from a content the client may hold
// (PATCHn_BASE, its SHA-256): the patch file PATCHn_FILE, named as the
// manifest names files, and the patch's own PATCHn_SIZE and PATCHn_SHA256.
struct PatchOffer {
    Sha256Digest base{};
    std::string file;
    ExpectedContent patch;

    bool operator==(const PatchOffer&) const = default;
};

// The zlib copy of the whole file (ZFILE), with its ZSIZE and ZSHA256 as
// stored on the server.
struct CompressedCopy {
    std::string file;
    ExpectedContent stored;

    bool operator==(const CompressedCopy&) const = default;
};

// One file section; SIZE and SHA256 are nothing when missing. previous: the
// file's earlier contents, most recent first (PREV0), ending at the first
// number whose PREVn_SIZE or PREVn_SHA256 is missing. patches: the offers
// up to the first number with a key missing, those with a malformed value
// left out; copy: nothing unless all three keys are there and well formed.
// A malformed offer is simply not used: the full file always remains.
struct ManifestEntry {
    std::string file;
    std::string version;
    std::optional<std::string> size;
    std::optional<std::string> sha256;
    std::vector<PublishedContent> previous;
    std::vector<PatchOffer> patches;
    std::optional<CompressedCopy> copy;
    // OBJECT: where the same bytes are published under a name of their own;
    // used only with SIZE and SHA256, which prove them. Nothing when missing
    // or empty.
    std::optional<std::string> object;

    bool operator==(const ManifestEntry&) const = default;
};

// A file that an earlier release had and this one has not, with the contents
// published for it, the last one first. age: AGE as written, how many
// publications ago the file was last published; only the publishing tool
// reads it.
struct DroppedFile {
    std::string file;
    std::vector<PublishedContent> previous;
    std::optional<std::string> age;

    bool operator==(const DroppedFile&) const = default;
};

class UpdateManifest {
public:
    // See IniFile::parse; cp must outlive the object.
    static UpdateManifest parse(std::string_view bytes, const CodePage& cp,
                                const UnicodeToAnsi* unicodeToAnsi = nullptr);

    // The product section's VERSION, nothing when it has none.
    std::optional<std::string> productVersion(std::string_view product) const;
    // Whether the product section asks for a whole release (WHOLE=1). The key
    // alone: a whole release also needs SIZE and SHA256 on every entry, which
    // the run checks.
    bool wholeRelease(std::string_view product) const;
    // Section FILE<index>; nothing from the first section without a FILE on,
    // which ends the list.
    std::optional<ManifestEntry> entry(std::size_t index) const;
    // Section DROP<index>, its list ended the same way.
    std::optional<DroppedFile> dropped(std::size_t index) const;

private:
    explicit UpdateManifest(IniFile ini) : ini_(std::move(ini)) {}
    std::vector<PublishedContent> history(const std::string& section) const;
    std::vector<PatchOffer> patchOffers(const std::string& section) const;
    std::optional<CompressedCopy> compressedCopy(const std::string& section) const;
    IniFile ini_;
};

}  // namespace updater
