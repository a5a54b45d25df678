// An INI file, read the way the platform's GetPrivateProfileStringA
// reads it (measured against Wine 8, see tests/e2e/ini_differential_test.cpp).
//
// Encoding: a UTF-8 (EF BB BF) or UTF-16 (FF FE, FE FF) byte-order mark
//   selects that encoding, converted to the ANSI code page with the system's
//   table ("?" for what it lacks, one per UTF-16 unit); otherwise the ANSI
//   code page. A lead byte followed by an invalid trail byte reads as "?"
//   and swallows that byte, even a line end.
// Lines end at LF or CR. Blanks are tab, VT, FF, Ctrl-Z and space; they are
//   trimmed from both ends of every line and around "=".
// "[name]": a section; the name runs to the last "]" on the line and is
//   trimmed; text after that "]" is ignored. A "[" line without "]" is a key.
// "name=value": a key, split at the first "="; a line without "=" is a key
//   without value, which reads as missing. There are no comments: ";x=1"
//   is the key ";x". Lines before the first section belong to section "".
// Repeats: the first section of a name wins (later ones are ignored whole),
//   and within it the first key of a name.
// A name with a character that the code page lacks (and so reads as "?")
//   matches nothing, not even "?": the platform compares names in Unicode.
// NUL ends a name or value where it stands, but not the line.
// Lookups ignore ASCII case only; the names asked for are trimmed as well.
// Value returned: a value (or the default) enclosed in a matching pair of
//   " or ' loses the pair. The default first loses trailing spaces, though a
//   default of only spaces keeps one. The result is cut to bufferBytes - 1
//   bytes, never inside a double-byte character (the platform leaves that
//   byte unwritten). When the quote pair is cut off by the buffer, one more
//   character goes: "abc" with 4 bytes of buffer reads ab.
#include "engine/text/ini_file.h"

#include <algorithm>
#include <string>
#include <unordered_map>
#include <vector>

#include "engine/text/ini_text.h"

namespace updater {

namespace {

bool isBlank(char c) {
    return c == ' ' || (c >= '\t' && c <= '\r') || c == '\x1a';
}

std::string_view trimmed(std::string_view text) {
    while (!text.empty() && isBlank(text.front())) text.remove_prefix(1);
    while (!text.empty() && isBlank(text.back())) text.remove_suffix(1);
    return text;
}

std::string_view cutAtNul(std::string_view text) {
    return text.substr(0, text.find('\0'));
}

// Upper-cases ASCII letters, leaving the trail bytes of double-byte characters alone.
std::string lookupName(std::string_view text, const CodePage& cp) {
    std::string result(text);
    for (std::size_t i = 0; i < result.size(); i += charLength(result, i, cp)) {
        char& c = result[i];
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    }
    return result;
}

// Position of the last "]" that is a character of its own, or npos.
std::size_t lastClosingBracket(std::string_view line, const CodePage& cp) {
    std::size_t found = std::string_view::npos;
    for (std::size_t i = 0; i < line.size(); i += charLength(line, i, cp))
        if (line[i] == ']') found = i;
    return found;
}

// Splits normalized text into lines at LF and CR.
template <typename Visit>
void forEachLine(std::string_view text, Visit visit) {
    while (!text.empty()) {
        std::size_t end = text.find_first_of("\r\n");
        visit(text.substr(0, end));
        if (end == std::string_view::npos) break;
        text.remove_prefix(end + 1);
    }
}

struct Characters {
    std::string_view text;
    std::vector<std::size_t> starts;  // byte offset of each character
    Characters(std::string_view t, const CodePage& cp) : text(t) {
        for (std::size_t i = 0; i < text.size(); i += charLength(text, i, cp)) starts.push_back(i);
    }
    std::size_t count() const { return starts.size(); }
    // Bytes of the first n characters.
    std::size_t bytesOf(std::size_t n) const { return n < starts.size() ? starts[n] : text.size(); }
};

// What the platform leaves in a buffer of bufferBytes for this text.
std::string bufferedValue(std::string_view value, std::size_t bufferBytes, const CodePage& cp) {
    if (bufferBytes == 0) return {};
    Characters chars(value, cp);
    std::size_t first = 0, count = chars.count();
    bool quoted = false;
    if (count >= 2 && (value.front() == '"' || value.front() == '\'') && value.back() == value.front()) {
        quoted = true;
        first = 1;
        count -= 1;  // what follows the opening quote, closing quote included
    }
    // The wide copy keeps bufferBytes - 1 characters; a quoted value then loses
    // its last one whenever the buffer is at least as long as the rest.
    std::size_t kept = std::min(count, bufferBytes - 1);
    if (quoted && bufferBytes >= count && kept > 0) --kept;
    // The narrow copy keeps whole characters within bufferBytes - 1 bytes.
    std::size_t begin = chars.bytesOf(first);
    std::size_t end = chars.bytesOf(first + kept);
    while (end - begin > bufferBytes - 1) {
        --kept;
        end = chars.bytesOf(first + kept);
    }
    return std::string(value.substr(begin, end - begin));
}

std::string_view strippedDefault(std::string_view value) {
    std::size_t length = value.size();
    while (length > 1 && value[length - 1] == ' ') --length;
    return value.substr(0, length);
}

}  // namespace

struct IniFile::Impl {
    explicit Impl(const CodePage& codePage) : cp(codePage) {}
    const CodePage& cp;
    struct Entry {
        bool hasValue = false;
        std::string value;
    };
    using Section = std::unordered_map<std::string, Entry>;  // lookup name -> first key
    std::vector<Section> sections;
    std::unordered_map<std::string, std::size_t> sectionIndex;  // lookup name -> first section
    bool sectionLine = false;

    static constexpr std::size_t kIgnored = static_cast<std::size_t>(-1);

    // The section new keys go to, or kIgnored for a repeated section.
    std::size_t open(std::string_view name) {
        auto added = sectionIndex.emplace(lookupName(name, cp), sections.size()).second;
        if (!added) return kIgnored;
        sections.emplace_back();
        return sections.size() - 1;
    }
};

IniFile IniFile::parse(std::string_view bytes, const CodePage& cp, const UnicodeToAnsi* unicodeToAnsi) {
    auto impl = std::make_shared<Impl>(cp);
    const IniText decoded = decodeIniFile(bytes, cp, unicodeToAnsi);
    std::size_t current = impl->open("");
    forEachLine(decoded.text, [&](std::string_view line) {
        line = trimmed(line);
        if (line.empty()) return;
        if (line.front() == '[') {
            std::size_t close = lastClosingBracket(line, cp);
            if (close != std::string_view::npos) {
                const std::string_view name = cutAtNul(trimmed(line.substr(1, close - 1)));
                impl->sectionLine = true;
                current = decoded.hasSubstitute(name) ? Impl::kIgnored : impl->open(name);
                return;
            }
        }
        if (current == Impl::kIgnored) return;
        std::size_t equals = line.find('=');
        Impl::Entry entry;
        std::string_view name = line;
        if (equals != std::string_view::npos) {
            name = trimmed(line.substr(0, equals));
            entry.hasValue = true;
            entry.value = std::string(cutAtNul(trimmed(line.substr(equals + 1))));
        }
        name = cutAtNul(name);
        if (!decoded.hasSubstitute(name)) impl->sections[current].emplace(lookupName(name, cp), std::move(entry));
    });
    IniFile ini;
    ini.impl_ = std::move(impl);
    return ini;
}

bool IniFile::hasSectionLine() const { return impl_ && impl_->sectionLine; }

std::optional<std::string> IniFile::find(std::string_view section, std::string_view key,
                                         std::size_t bufferBytes) const {
    if (!impl_) return std::nullopt;
    const CodePage& cp = impl_->cp;
    auto s = impl_->sectionIndex.find(lookupName(trimmed(normalizeText(cutAtNul(section), cp)), cp));
    if (s == impl_->sectionIndex.end()) return std::nullopt;
    const Impl::Section& keys = impl_->sections[s->second];
    auto k = keys.find(lookupName(trimmed(normalizeText(cutAtNul(key), cp)), cp));
    if (k == keys.end() || !k->second.hasValue) return std::nullopt;
    return bufferedValue(k->second.value, bufferBytes, cp);
}

std::string IniFile::get(std::string_view section, std::string_view key, std::string_view defaultValue,
                         std::size_t bufferBytes) const {
    if (std::optional<std::string> found = find(section, key, bufferBytes)) return std::move(*found);
    // An object that parsed nothing was given no code page.
    const CodePage& cp = impl_ ? impl_->cp : cp936();
    return bufferedValue(strippedDefault(normalizeText(cutAtNul(defaultValue), cp)), bufferBytes, cp);
}

}  // namespace updater
