#include "tools/mkmanifest/naming_rules.h"

#include <algorithm>
#include <cstdio>
#include <utility>

#include "engine/text/code_page.h"
#include "engine/manifest/manifest_keys.h"
#include "engine/manifest/safe_manifest_name.h"
#include "engine/text/version_number.h"

namespace mkmanifest {
namespace {

bool isBlank(char c) { return c == ' ' || c == '\t'; }

bool hasControlByte(const std::string& text) {
    for (unsigned char c : text)
        if (c < 0x20 || c == 0x7F) return true;
    return false;
}

bool hasOuterBlanks(const std::string& text) {
    return !text.empty() && (isBlank(text.front()) || isBlank(text.back()));
}

std::string quoted(const std::string& text) { return "\"" + text + "\""; }

// Single-byte characters of the name, by whole characters of the code page,
// so a trail byte is never taken for an ASCII one.
template <typename Visit>
void forEachSingleByteChar(const std::string& text, const updater::CodePage& cp, Visit visit) {
    for (std::size_t i = 0; i < text.size();) {
        std::size_t length = updater::charLength(text, i, cp);
        if (length == 1) visit(i, text[i]);
        i += length;
    }
}

// Why the updater would refuse the name; what the publishing tool checks
// first (separators, empty and "." parts) never gets here.
std::string refusalText(updater::NameRefusal refusal) {
    switch (refusal) {
    case updater::NameRefusal::None: return {};
    case updater::NameRefusal::Device: return "names a Windows device";
    case updater::NameRefusal::ForbiddenCharacter:
        return "contains a control character or one of < > \" | ? *, which Windows file names cannot hold";
    case updater::NameRefusal::TrailingDotOrBlank:
        return "has a path part ending in a blank or a dot, which Windows drops";
    case updater::NameRefusal::ShortForm:
        return "has a path part in the 8.3 short form (like KELMOR~1.EXE), which can name another file";
    case updater::NameRefusal::SideFile:
        return "has a part named like a side file of the updater (.upg, .old, update.probe ...)";
    case updater::NameRefusal::WorkFolder: return "lies in the updater's own folder .update";
    case updater::NameRefusal::NotWellFormed: return "is not valid text of the code page";
    default: return "would escape the program directory";
    }
}

// Upper-cased as the code page folds letters, as Windows compares names.
std::string folded(const std::string& name, const updater::CodePage& cp) {
    std::string result;
    for (std::size_t i = 0; i < name.size();) {
        std::size_t length = updater::charLength(name, i, cp);
        result += cp.upperChar(std::string_view(name).substr(i, length));
        i += length;
    }
    return result;
}

// What every INI value must be: something, within the updater's buffer, on
// one line, without the blanks the reader trims. subject names the value.
std::string valueProblem(const std::string& subject, const std::string& value, std::size_t maxBytes) {
    if (value.size() > maxBytes)
        return subject + "is " + std::to_string(value.size()) + " bytes; the updater reads at most " +
               std::to_string(maxBytes);
    if (hasControlByte(value)) return subject + "contains a line break or control character";
    if (hasOuterBlanks(value)) return subject + "starts or ends with a blank";
    return {};
}

}  // namespace

const updater::CodePage& clientCodePage(unsigned number) {
    const updater::CodePage* known = updater::knownCodePage(number);
    return known ? *known : updater::cp936();
}

std::string productNameProblem(const std::string& product, const updater::CodePage& cp) {
    if (product.empty()) return "the product name is empty";
    if (std::string problem = valueProblem("the product name ", product, kMaxProductBytes); !problem.empty())
        return problem;
    bool bracket = false;
    forEachSingleByteChar(product, cp, [&](std::size_t, char c) { bracket = bracket || c == '[' || c == ']'; });
    if (bracket) return "the product name contains \"[\" or \"]\", which would break its section";
    if (!updater::isWellFormed(product, cp)) return "the product name is not valid text of the code page";
    // The product section must not be taken for a file, drop or signature section.
    const std::string upper = folded(product, cp);
    if (upper == updater::kSignatureSection)
        return "the product name " + quoted(product) + " would clash with the signature section";
    for (const std::string_view prefix : {updater::kFileSectionPrefix, updater::kDropSectionPrefix})
        if (upper.size() > prefix.size() && upper.compare(0, prefix.size(), prefix) == 0 &&
            upper.find_first_not_of("0123456789", prefix.size()) == std::string::npos)
            return "the product name " + quoted(product) + " would clash with a file or drop section";
    return {};
}

std::string versionTextProblem(const std::string& version) {
    if (version.empty()) return "the version is empty";
    if (std::string problem = valueProblem("the version ", version, kMaxVersionBytes); !problem.empty())
        return problem;
    char first = version.front();
    bool startsNumber = (first >= '0' && first <= '9') ||
                        (first == '.' && version.size() > 1 && version[1] >= '0' && version[1] <= '9');
    if (!startsNumber) return "the version " + quoted(version) + " does not read as a number";
    if (!(updater::readVersionNumber(version) > 0))
        return "the version " + quoted(version) + " reads as 0, which is never newer than an installed version";
    return {};
}

std::string versionReadingNote(const std::string& version) {
    // The plain decimal form the client reads whole: digits, point, digits.
    std::size_t end = version.find_first_not_of("0123456789");
    if (end != std::string::npos && version[end] == '.')
        end = version.find_first_not_of("0123456789", end + 1);
    if (end == std::string::npos) return {};
    return "the version " + quoted(version) + " reads as " + clientReading(version) + " on the client";
}

std::string clientReading(const std::string& version) {
    char number[64];
    std::snprintf(number, sizeof number, "%.15g", updater::readVersionNumber(version));
    return number;
}

std::string fileNameProblem(const std::string& name, const updater::CodePage& cp) {
    const std::string prefix = "the file name " + quoted(name) + " ";
    if (name.empty()) return "a file name is empty";
    if (std::string problem = valueProblem(prefix, name, kMaxFileNameBytes); !problem.empty()) return problem;
    if (!updater::isWellFormed(name, cp)) return prefix + "is not valid text of the code page";
    if (name.front() == '/' || name.front() == '\\') return prefix + "starts with a separator";

    // The release folder's own separator is "/"; anything else the updater rules on.
    std::string badChar;
    forEachSingleByteChar(name, cp, [&](std::size_t, char c) {
        if (badChar.empty() && (c == '\\' || c == ':')) badChar = std::string(1, c);
    });
    if (!badChar.empty()) return prefix + "contains \"" + badChar + "\", which is not allowed in Windows file names";
    std::size_t start = 0;
    while (true) {
        const std::size_t slash = name.find('/', start);
        const std::string part = name.substr(start, slash == std::string::npos ? std::string::npos : slash - start);
        if (part.empty()) return prefix + "has an empty path part";
        if (part == "." || part == "..") return prefix + "has a \"" + part + "\" path part";
        if (slash == std::string::npos) break;
        start = slash + 1;
    }
    const std::string refusal = refusalText(updater::manifestNameRefusal(name, cp));
    return refusal.empty() ? std::string() : prefix + refusal;
}

std::string nonAsciiNameWarning(const std::string& name, unsigned codePage) {
    for (unsigned char c : name)
        if (c >= 0x80)
            return "the file name " + quoted(name) + " is not ASCII: only clients whose code page is " +
                   std::to_string(codePage) + " can read it, and on others a whole release fails";
    return {};
}

bool sameNameIgnoringCase(const std::string& a, const std::string& b, const updater::CodePage& cp) {
    return updater::manifestNameKey(a, cp) == updater::manifestNameKey(b, cp);
}

std::vector<std::string> caseClashes(const std::vector<std::string>& names, const updater::CodePage& cp) {
    std::vector<std::string> clashes;
    std::vector<std::pair<std::string, const std::string*>> keys;
    keys.reserve(names.size());
    for (const std::string& name : names) keys.emplace_back(updater::manifestNameKey(name, cp), &name);
    std::sort(keys.begin(), keys.end());
    for (std::size_t i = 1; i < keys.size(); ++i)
        if (keys[i].first == keys[i - 1].first)
            clashes.push_back("the file names " + quoted(*keys[i - 1].second) + " and " + quoted(*keys[i].second) +
                              " differ only in letter case");
    return clashes;
}

}  // namespace mkmanifest
