// update.journal, in the work folder .update of the program directory (in
// the program directory itself when an earlier version wrote it), is a text
// file created in one step that fails if it exists. Its records, one per
// line, are each on disk before the step they announce.
//
// Version 2, written by this version, starts with a header line:
//
//     update.journal 2\n
//     <checksum> <step> <old> <new> <name>\n
//     <checksum> C\n
//
// checksum: 8 lowercase hex digits, the FNV-1a 32-bit hash of the rest of the
//           line after the space ("<step> <old> <new> <name>").
// step:     one letter of JournalStep (D R N X E C; M only in version 1);
//           C has nothing after it.
// old, new: the content <name> holds before and after the step, as
//           "<size>:<sha256>" (decimal bytes, 64 lowercase hex digits), or
//           "-" where the step has none (a folder, the old side of N, the
//           new side of X).
// name:     the bytes of the manifest's FILE value (system ANSI code page),
//           relative to the program directory; never holds a line end, as
//           the name rules refuse control bytes.
//
// Example:
//
//     update.journal 2
//     3f0c2a11 X 5:2cf24d...9824 - old.dll
//     8b7e4d02 D - - data
//     a1b2c3d4 R 4:e3b0c4...b855 7:9f86d0...0a08 kelmor.exe
//     c60bf9f2 C
//
// Version 1, from the previous release of this program, has no header line
// and no contents: "<checksum> <step> <name>", the checksum over
// "<step> <name>". It is still read, so that its cut commit is recovered.
//
// A record without its line end or whose checksum does not match is the
// torn end of an interrupted append: it and anything after it are ignored.
// A later format changes the header's number, which this version reads as
// no records at all.
#include "engine/release/update_journal.h"

#include <charconv>
#include <cstdint>
#include <cstdio>

#include "engine/text/hex_text.h"

namespace updater {

namespace {

constexpr std::size_t kChecksumDigits = 8;
constexpr std::string_view kHeader = "update.journal ";

std::uint32_t fnv1a(std::string_view bytes) {
    std::uint32_t hash = 2166136261u;
    for (const char c : bytes) {
        hash ^= static_cast<unsigned char>(c);
        hash *= 16777619u;
    }
    return hash;
}

std::string checksumText(std::string_view body) {
    char digits[kChecksumDigits + 1];
    std::snprintf(digits, sizeof digits, "%08x", static_cast<unsigned>(fnv1a(body)));
    return digits;
}

bool isKnownStep(char c) {
    switch (static_cast<JournalStep>(c)) {
    case JournalStep::NewFolder:
    case JournalStep::Replace:
    case JournalStep::Add:
    case JournalStep::AddInNewFolder:
    case JournalStep::Drop:
    case JournalStep::RemoveFolder:
    case JournalStep::Committed: return true;
    }
    return false;
}

std::string contentText(const std::optional<FileContent>& content) {
    if (!content) return "-";
    return std::to_string(content->size) + ":" + encodeHex(content->sha256.data(), content->sha256.size());
}

// Reads "<content> " from the front of text; false when it is malformed.
bool takeContent(std::string_view& text, std::optional<FileContent>& content) {
    const std::size_t space = text.find(' ');
    if (space == std::string_view::npos) return false;
    const std::string_view field = text.substr(0, space);
    text.remove_prefix(space + 1);
    if (field == "-") return true;
    const std::size_t colon = field.find(':');
    if (colon == std::string_view::npos || colon == 0) return false;
    FileContent read;
    const auto [end, error] = std::from_chars(field.data(), field.data() + colon, read.size);
    if (error != std::errc() || end != field.data() + colon) return false;
    if (!decodeHex(field.substr(colon + 1), read.sha256.data(), read.sha256.size())) return false;
    content = read;
    return true;
}

std::string recordBody(const JournalRecord& record, bool withContents) {
    std::string body(1, static_cast<char>(record.step));
    if (record.step == JournalStep::Committed) return body;
    if (withContents) body += " " + contentText(record.oldContent) + " " + contentText(record.newContent);
    return body + " " + record.name;
}

}  // namespace

std::string journalHeaderText() { return std::string(kHeader) + std::to_string(kJournalVersion) + "\n"; }

std::string journalRecordText(const JournalRecord& record, int version) {
    const std::string body = recordBody(record, version >= kJournalVersion);
    return checksumText(body) + " " + body + "\n";
}

int journalVersion(std::string_view bytes) {
    if (bytes.substr(0, kHeader.size()) != kHeader) return 1;
    const std::string_view rest = bytes.substr(kHeader.size());
    int version = 0;
    const auto [end, error] = std::from_chars(rest.data(), rest.data() + rest.size(), version);
    if (error != std::errc() || end == rest.data() + rest.size() || *end != '\n') return 0;
    return version;
}

std::vector<JournalRecord> readJournal(std::string_view bytes) {
    std::vector<JournalRecord> records;
    const int version = journalVersion(bytes);
    if (version != 1 && version != kJournalVersion) return records;
    if (version == kJournalVersion) bytes.remove_prefix(bytes.find('\n') + 1);
    while (!bytes.empty()) {
        const std::size_t end = bytes.find('\n');
        if (end == std::string_view::npos) break;
        const std::string_view line = bytes.substr(0, end);
        bytes.remove_prefix(end + 1);
        if (line.size() < kChecksumDigits + 2 || line[kChecksumDigits] != ' ') break;
        const std::string_view body = line.substr(kChecksumDigits + 1);
        if (line.substr(0, kChecksumDigits) != checksumText(body) || !isKnownStep(body[0])) break;
        JournalRecord record{static_cast<JournalStep>(body[0]), ""};
        if (record.step == JournalStep::Committed) {
            if (body.size() != 1) break;
        } else {
            if (body.size() < 3 || body[1] != ' ') break;
            std::string_view rest = body.substr(2);
            if (version == kJournalVersion &&
                (record.step == JournalStep::AddInNewFolder || !takeContent(rest, record.oldContent) ||
                 !takeContent(rest, record.newContent)))
                break;
            if (rest.empty()) break;
            record.name = std::string(rest);
        }
        records.push_back(std::move(record));
    }
    return records;
}

}  // namespace updater
