#pragma once
// Text in an ANSI code page, one place for its character rules: which bytes
// start a double-byte character and which may follow, how long a character
// is, where text may be cut, and how the platform converts text that breaks
// the rules. The program takes the rules of the system's code page; the
// publishing tool, the native tests and the fuzz targets name one.
#include <cstddef>
#include <span>
#include <string>
#include <string_view>

namespace updater {

class CodePage {
public:
    virtual ~CodePage() = default;
    virtual bool isLeadByte(unsigned char byte) const = 0;
    // Whether the byte may follow a lead byte.
    virtual bool isTrailByte(unsigned char byte) const = 0;
    // Whether a byte of 0x80 and above that leads nothing is a character of
    // its own (1252's letters, 932's half-width katakana).
    virtual bool isHighSingleByte(unsigned char) const { return false; }
    // Upper-cases one character (one byte, or a lead byte and its trail byte).
    virtual std::string upperChar(std::string_view character) const = 0;
};

// Code page 936 (GBK), portable: lead bytes 0x81..0xFE, trail bytes
// 0x40..0xFE but 0x7F, no single byte above ASCII (0x80, the euro, is
// refused as ever); ASCII letters and the full-width Latin, Greek and
// Cyrillic letters fold to upper case.
class Cp936 : public CodePage {
public:
    bool isLeadByte(unsigned char byte) const override;
    bool isTrailByte(unsigned char byte) const override;
    std::string upperChar(std::string_view character) const override;
};

// One instance for callers that keep a reference (the INI reader does).
const CodePage& cp936();

// A code page written as tables, for the pages Windows ships as ANSI code
// pages. Bytes of 0x80 and above in neither leads nor singles are no text:
// Windows maps them to controls or private characters. A fold range maps
// lower-case characters first..last (one byte, or lead << 8 | trail) onto
// the upper-case ones from upperFirst on, as Windows' file system folds
// names; ASCII letters always fold.
struct ByteRange {
    unsigned char first;
    unsigned char last;
};
struct FoldRange {
    unsigned first;
    unsigned last;
    unsigned upperFirst;
};

class TableCodePage : public CodePage {
public:
    TableCodePage(std::span<const ByteRange> leads, std::span<const ByteRange> trails,
                  std::span<const ByteRange> singles, std::span<const FoldRange> folds)
        : leads_(leads), trails_(trails), singles_(singles), folds_(folds) {}
    bool isLeadByte(unsigned char byte) const override;
    bool isTrailByte(unsigned char byte) const override;
    bool isHighSingleByte(unsigned char byte) const override;
    std::string upperChar(std::string_view character) const override;

private:
    std::span<const ByteRange> leads_;
    std::span<const ByteRange> trails_;
    std::span<const ByteRange> singles_;
    std::span<const FoldRange> folds_;
};

// The rules of the code pages a release can be published for: 936 (GBK),
// 950 (Big5), 932 (Shift JIS) and 1252 (Western European); nullptr for
// any other number.
const CodePage* knownCodePage(unsigned number);

// Length in bytes of the character that starts at text[pos] (1 or 2; a lead
// byte at the very end counts as one).
std::size_t charLength(std::string_view text, std::size_t pos, const CodePage& cp);

// Whether every byte of 0x80 and above is a character of its own or the
// lead byte of a pair with a valid trail byte. The platform drops or
// rewrites what is not, so a path would name another file.
bool isWellFormed(std::string_view text, const CodePage& cp);

// The first bytes of text, at most maxBytes, never half a double-byte character.
std::string cutToBytes(std::string_view text, std::size_t maxBytes, const CodePage& cp);

// Text as the platform converts it: a lead byte with an invalid trail byte
// (or none) becomes "?", the pair's second byte swallowed unless it is NUL
// or missing. Afterwards every lead byte is followed by a valid trail byte.
std::string normalizeText(std::string_view bytes, const CodePage& cp);

// An ASCII letter in upper case; any other byte as it is. Protocol words and
// the names Windows folds in every code page need no more.
inline char upperAscii(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; }

// Compares character by character, ignoring case as the code page folds it.
bool equalsIgnoreCase(std::string_view a, std::string_view b, const CodePage& cp);

}  // namespace updater
