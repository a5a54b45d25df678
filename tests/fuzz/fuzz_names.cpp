// Version texts and manifest FILE names on arbitrary bytes. Each line of the
// input is one text. Invariants:
// - a version reads as strtod reads it in the "C" locale, except for what
//   the engine refuses on purpose (inf, nan, hexadecimal);
// - "newer" is irreflexive and antisymmetric;
// - a name the engine accepts stays within the program directory under the
//   independent model of Windows paths in windows_path.h.
#include <cctype>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "check.h"
#include "engine/manifest/safe_manifest_name.h"
#include "engine/text/version_number.h"
#include "windows_path.h"

namespace {

constexpr std::size_t kMaxLines = 16;

std::vector<std::string> linesOf(std::string_view bytes) {
    std::vector<std::string> lines;
    while (lines.size() < kMaxLines) {
        const std::size_t end = bytes.find('\n');
        lines.emplace_back(bytes.substr(0, end));
        if (end == std::string_view::npos) break;
        bytes.remove_prefix(end + 1);
    }
    return lines;
}

// strtod also reads "inf", "nan" and "0x..." (and the locale could change the
// point); the engine reads those as the digits before them, so they are not
// compared.
bool strtodComparable(const std::string& text) {
    std::size_t pos = 0;
    while (pos < text.size() && (text[pos] == ' ' || (text[pos] >= '\t' && text[pos] <= '\r'))) ++pos;
    if (pos < text.size() && (text[pos] == '+' || text[pos] == '-')) ++pos;
    if (pos >= text.size()) return true;
    const char first = static_cast<char>(std::tolower(static_cast<unsigned char>(text[pos])));
    if (first == 'i' || first == 'n') return false;
    return !(first == '0' && pos + 1 < text.size() && (text[pos + 1] == 'x' || text[pos + 1] == 'X'));
}

void checkVersion(const std::string& text) {
    const double value = updater::readVersionNumber(text);
    fuzz::require(!std::isnan(value), "a version reads as NaN", text);
    // NUL ends the text for strtod; the engine stops there too, as at any non-digit.
    if (strtodComparable(text))
        fuzz::require(value == std::strtod(text.c_str(), nullptr), "a version differs from strtod", text);
    fuzz::require(!updater::isNewerVersion(text, text), "a version is newer than itself", text);
}

void checkOrder(const std::string& a, const std::string& b) {
    const bool aNewer = updater::isNewerVersion(a, b);
    const bool bNewer = updater::isNewerVersion(b, a);
    fuzz::require(!(aNewer && bNewer), "two versions are each newer than the other", a + " | " + b);
}

void checkName(const std::string& name) {
    if (updater::isSafeManifestName(name, updater::cp936()))
        fuzz::require(fuzz::staysWithinDirectory(name), "an accepted name leaves the program directory", name);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::vector<std::string> lines = linesOf(std::string_view(reinterpret_cast<const char*>(data), size));
    for (std::size_t i = 0; i < lines.size(); ++i) {
        checkVersion(lines[i]);
        checkName(lines[i]);
        if (i > 0) checkOrder(lines[i - 1], lines[i]);
    }
    // The whole input as one name: names may hold line breaks too.
    checkName(std::string(reinterpret_cast<const char*>(data), size));
    return 0;
}
