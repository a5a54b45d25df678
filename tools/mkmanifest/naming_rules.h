#pragma once
// What the updater can read back: limits of its profile buffers and the
// shapes of names that would break the INI text or escape its directory.
// Each check returns an empty text when the value is fine, else the reason.
#include <string>
#include <vector>

#include "engine/text/byte_limits.h"
#include "engine/text/code_page.h"

namespace mkmanifest {

constexpr std::size_t kMaxProductBytes = updater::keptBytes(updater::kSettingBufferBytes);
constexpr std::size_t kMaxVersionBytes = updater::keptBytes(updater::kProductVersionBufferBytes);
constexpr std::size_t kMaxFileNameBytes = updater::keptBytes(updater::kFileValueBufferBytes);

// The clients' code page: the names and the product are its bytes, judged
// and folded as those clients do. Unknown numbers read as 936.
constexpr unsigned kDefaultCodePage = 936;
const updater::CodePage& clientCodePage(unsigned number);

std::string productNameProblem(const std::string& product, const updater::CodePage& cp);
std::string versionTextProblem(const std::string& version);
// A version such as "1.2.3" reads as 1.2 on the client; worth a note.
std::string versionReadingNote(const std::string& version);
// The number the client reads from a version text, as it would print it.
std::string clientReading(const std::string& version);
std::string fileNameProblem(const std::string& name, const updater::CodePage& cp);
// Empty for a name of ASCII only, else the warning that only clients of
// that code page can take it.
std::string nonAsciiNameWarning(const std::string& name, unsigned codePage);

// Whether Windows takes the two names for the same file (letters folded as
// the code page folds them, by whole characters). Without a code page, for
// a name compared with an ASCII one, which every code page folds alike.
bool sameNameIgnoringCase(const std::string& a, const std::string& b, const updater::CodePage& cp);
inline bool sameNameIgnoringCase(const std::string& a, const std::string& b) {
    return sameNameIgnoringCase(a, b, updater::cp936());
}

// Names that one Windows directory cannot hold side by side, as above.
// Returns one line per clash.
std::vector<std::string> caseClashes(const std::vector<std::string>& names, const updater::CodePage& cp);

}  // namespace mkmanifest
