// The profile reader on arbitrary bytes. Every section and key name that
// occurs in the text is looked up with buffers from 0 bytes to more than any
// value needs. Invariants:
// - the result is shorter than the buffer and a prefix of what a larger
//   buffer gives;
// - it is well-formed code page 936: every lead byte has a valid trail byte,
//   so no double-byte character is ever cut in half;
// - a key that is found is found again with its names in other letter case.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "check.h"
#include "engine/text/code_page.h"
#include "engine/text/ini_file.h"

using updater::IniFile;

namespace {

constexpr std::size_t kMaxNamesEach = 6;
constexpr std::size_t kLargeBuffer = 1 << 20;
constexpr std::size_t kBufferSizes[] = {0, 1, 2, 3, 4, 7, 100, 128, 260};

bool isLeadByte(unsigned char byte) { return updater::cp936().isLeadByte(byte); }
bool isTrailByte(unsigned char byte) { return updater::cp936().isTrailByte(byte); }

// Stands in for the platform's table: every non-ASCII unit becomes some
// valid double-byte character, each surrogate half a "?".
class FakeUnicodeToAnsi : public updater::UnicodeToAnsi {
public:
    std::string toAnsi(std::u16string_view text) const override {
        std::string ansi;
        for (const char16_t unit : text) {
            if (unit < 0x80) {
                ansi += static_cast<char>(unit);
            } else if (unit >= 0xD800 && unit <= 0xDFFF) {
                ansi += '?';
            } else {
                ansi += static_cast<char>(0x81 + unit % 0x7E);
                ansi += static_cast<char>(0x40 + unit / 0x7E % 0x3F);
            }
        }
        return ansi;
    }
};

// Section names ("[name]") and key names ("name=...", or a bare line) as they
// stand in the raw bytes, a few of each.
struct Names {
    std::vector<std::string> sections{"", "kelmor", "FILE0"};
    std::vector<std::string> keys{"VERSION", "FILE"};
};

Names namesIn(std::string_view bytes) {
    Names names;
    std::size_t sections = 0, keys = 0;
    while (!bytes.empty() && (sections < kMaxNamesEach || keys < kMaxNamesEach)) {
        const std::size_t end = bytes.find_first_of("\r\n");
        std::string_view line = bytes.substr(0, end);
        bytes.remove_prefix(end == std::string_view::npos ? bytes.size() : end + 1);
        const std::size_t first = line.find_first_not_of(" \t");
        if (first == std::string_view::npos) continue;
        line.remove_prefix(first);
        if (line.front() == '[' && sections < kMaxNamesEach) {
            names.sections.emplace_back(line.substr(1, line.rfind(']') - 1));
            ++sections;
        } else if (keys < kMaxNamesEach) {
            names.keys.emplace_back(line.substr(0, line.find('=')));
            ++keys;
        }
    }
    return names;
}

// ASCII letters in the other case; the second byte of a double-byte
// character is left alone (it may look like a letter).
std::string otherCase(std::string_view name) {
    std::string result(name);
    for (std::size_t i = 0; i < result.size(); ++i) {
        const auto byte = static_cast<unsigned char>(result[i]);
        if (isLeadByte(byte)) ++i;
        else if (byte >= 'a' && byte <= 'z') result[i] = static_cast<char>(byte - 'a' + 'A');
        else if (byte >= 'A' && byte <= 'Z') result[i] = static_cast<char>(byte - 'A' + 'a');
    }
    return result;
}

void requireWellFormed(const std::string& text, std::string_view what) {
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (!isLeadByte(static_cast<unsigned char>(text[i]))) continue;
        fuzz::require(i + 1 < text.size() && isTrailByte(static_cast<unsigned char>(text[i + 1])), what, text);
        ++i;
    }
}

void checkCuts(const IniFile& manifest, const std::string& section, const std::string& key,
               std::string_view defaultValue) {
    const std::string whole = manifest.get(section, key, defaultValue, kLargeBuffer);
    requireWellFormed(whole, "a value is not well-formed code page 936");
    for (const std::size_t buffer : kBufferSizes) {
        const std::string cut = manifest.get(section, key, defaultValue, buffer);
        fuzz::require(buffer == 0 ? cut.empty() : cut.size() < buffer, "a value does not fit its buffer", cut);
        fuzz::require(whole.compare(0, cut.size(), cut) == 0, "a cut value is not a prefix of the whole", cut);
        requireWellFormed(cut, "a cut splits a double-byte character");
    }
}

void checkLookup(const IniFile& manifest, const std::string& section, const std::string& key) {
    // Two defaults that differ tell a found key from a missing one.
    const std::string one = manifest.get(section, key, "\x01", kLargeBuffer);
    const std::string two = manifest.get(section, key, "\x02", kLargeBuffer);
    if (one != two) return;
    checkCuts(manifest, section, key, "");
    const std::string again = manifest.get(otherCase(section), otherCase(key), "\x03", kLargeBuffer);
    fuzz::require(again == one, "a key is not found again in other letter case", section + "/" + key);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    static const FakeUnicodeToAnsi converter;
    // Half of the inputs read Unicode files with a converter, half without.
    const IniFile manifest = IniFile::parse(bytes, updater::cp936(), size % 2 ? &converter : nullptr);
    const Names names = namesIn(bytes);
    for (const std::string& section : names.sections)
        for (const std::string& key : names.keys) checkLookup(manifest, section, key);
    // Defaults are cut by the same rules: a key name serves as one.
    checkCuts(manifest, "\x01", "\x01", names.keys.back());
    return 0;
}
