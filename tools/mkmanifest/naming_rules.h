#pragma once
// What the updater can read back: limits of its profile buffers and the
// shapes of names that would break the INI text or escape its directory.
// Each check returns an empty text when the value is fine, else the reason.
#include <string>
#include <vector>

#include "engine/text/byte_limits.h"

namespace mkmanifest {

constexpr std::size_t kMaxProductBytes = updater::keptBytes(updater::kSettingBufferBytes);
constexpr std::size_t kMaxVersionBytes = updater::keptBytes(updater::kProductVersionBufferBytes);
constexpr std::size_t kMaxFileNameBytes = updater::keptBytes(updater::kFileValueBufferBytes);

std::string productNameProblem(const std::string& product);
std::string versionTextProblem(const std::string& version);
// A version such as "1.2.3" reads as 1.2 on the client; worth a note.
std::string versionReadingNote(const std::string& version);
// The number the client reads from a version text, as it would print it.
std::string clientReading(const std::string& version);
std::string fileNameProblem(const std::string& name);

// Whether Windows takes the two names for the same file (letters folded as
// code page 936 folds them, by whole characters).
bool sameNameIgnoringCase(const std::string& a, const std::string& b);

// Names that one Windows directory cannot hold side by side, as above.
// Returns one line per clash.
std::vector<std::string> caseClashes(const std::vector<std::string>& names);

}  // namespace mkmanifest
