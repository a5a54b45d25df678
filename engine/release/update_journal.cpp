// update.journal, in the work folder .update of the program directory (in
// the program directory itself when an earlier version wrote it), is a text
// file of records, one per line, each appended and on disk before the step
// it announces:
//
//     <checksum> <step> <name>\n
//
// checksum: 8 lowercase hex digits, the FNV-1a 32-bit hash of "<step> <name>".
// step:     one letter of JournalStep (D R N M X E C); C has no name.
// name:     the bytes of the manifest's FILE value (system ANSI code page), relative
//           to the program directory; never holds a line end, as the name
//           rules refuse control bytes.
//
// Example:
//
//     9d38f65c X old.dll
//     8715e619 D data
//     4b95418b R kelmor.exe
//     c60bf9f2 C
//
// A record without its line end or whose checksum does not match is the
// torn end of an interrupted append: it and anything after it are ignored.
#include "engine/release/update_journal.h"

#include <cstdint>
#include <cstdio>

namespace updater {

namespace {

constexpr std::size_t kChecksumDigits = 8;

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

std::string recordBody(const JournalRecord& record) {
    std::string body(1, static_cast<char>(record.step));
    if (record.step != JournalStep::Committed) body += " " + record.name;
    return body;
}

}  // namespace

std::string journalRecordText(const JournalRecord& record) {
    const std::string body = recordBody(record);
    return checksumText(body) + " " + body + "\n";
}

std::vector<JournalRecord> readJournal(std::string_view bytes) {
    std::vector<JournalRecord> records;
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
            record.name = std::string(body.substr(2));
        }
        records.push_back(std::move(record));
    }
    return records;
}

}  // namespace updater
