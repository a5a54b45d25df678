// The INI reader's behaviour that the program relies on, and the manifest
// model above it. The finer rules
// are checked byte for byte against the platform in tests/e2e/ini_differential_test.cpp.
#include "engine/text/ini_file.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <string>

#include "engine/text/hex_text.h"
#include "engine/manifest/manifest_signature.h"
#include "engine/manifest/manifest_writer.h"
#include "engine/manifest/update_manifest.h"
#include "tests/support/cp936_text.h"
#include "tests/support/iconv_unicode_to_ansi.h"

namespace {

using testsupport::toCp936;
using updater::IniFile;

const std::string kZhong = "\xd6\xd0";  // one double-byte character in code page 936

std::string utf16le(const std::string& ascii) {
    std::string bytes = "\xff\xfe";
    for (char c : ascii) {
        bytes += c;
        bytes += '\0';
    }
    return bytes;
}

TEST(IniFile, LooksUpSectionsAndKeysIgnoringAsciiCase) {
    auto ini = IniFile::parse("[Server]\r\nstrSoft=kelmor\r\nURL=http://h/k/\r\n[KELMOR]\r\nversion=1.3\r\n", updater::cp936());
    EXPECT_EQ(ini.get("server", "STRSOFT", "d", 100), "kelmor");
    EXPECT_EQ(ini.get("SERVER", "url", "d", 100), "http://h/k/");
    EXPECT_EQ(ini.get("kelmor", "VERSION", "1.0", 128), "1.3");
    // Case folding is ASCII only: full-width letters are different characters.
    auto wide = IniFile::parse("[\xa3\xc1]\nk=1\n", updater::cp936());
    EXPECT_EQ(wide.get("\xa3\xe1", "k", "d", 100), "d");
}

TEST(IniFile, DefaultOnlyForMissingKeys) {
    auto ini = IniFile::parse("[S]\nempty=\nblank=   \nbare\n", updater::cp936());
    EXPECT_EQ(ini.get("S", "empty", "d", 100), "");
    EXPECT_EQ(ini.get("S", "blank", "d", 100), "");
    EXPECT_EQ(ini.get("S", "missing", "d", 100), "d");
    EXPECT_EQ(ini.get("Other", "empty", "d", 100), "d");
    // A line without "=" names a key without a value, which reads as missing.
    EXPECT_EQ(ini.get("S", "bare", "d", 100), "d");
    // No file at all: every lookup gives the default.
    EXPECT_EQ(IniFile().get("Server", "strSoft", "kelmor", 100), "kelmor");
    EXPECT_EQ(IniFile::parse("", updater::cp936()).get("Server", "strSoft", "kelmor", 100), "kelmor");
}

TEST(IniFile, DefaultLosesTrailingSpacesAndQuotes) {
    auto ini = IniFile::parse("", updater::cp936());
    EXPECT_EQ(ini.get("S", "k", "1.0  ", 128), "1.0");
    EXPECT_EQ(ini.get("S", "k", "   ", 128), " ");
    EXPECT_EQ(ini.get("S", "k", "\"x\"", 128), "x");
    EXPECT_EQ(ini.get("S", "k", "a\t", 128), "a\t");
}

TEST(IniFile, CutsValuesToTheBufferLessOne) {
    std::string longChinese = "a";
    for (int i = 0; i < 150; ++i) longChinese += kZhong;
    auto ini = IniFile::parse("[S]\nv=" + std::string(300, 'x') + "\nzh=" + longChinese + "\nodd=" +
                                     longChinese.substr(1) + "\n", updater::cp936());
    EXPECT_EQ(ini.get("S", "v", "", 100), std::string(99, 'x'));
    EXPECT_EQ(ini.get("S", "v", "", 128), std::string(127, 'x'));
    EXPECT_EQ(ini.get("S", "v", "", 260), std::string(259, 'x'));
    EXPECT_EQ(ini.get("S", "v", "", 1), "");
    EXPECT_EQ(ini.get("S", "v", "", 0), "");
    // "a" then double-byte characters: 99 bytes end on a whole character.
    EXPECT_EQ(ini.get("S", "zh", "", 100), longChinese.substr(0, 99));
    // Only double-byte characters: a character that does not fit whole is left out.
    EXPECT_EQ(ini.get("S", "odd", "", 100), longChinese.substr(1, 98));
    EXPECT_EQ(ini.get("S", "odd", "", 260), longChinese.substr(1, 258));
}

TEST(IniFile, TrimsBlanksAndStripsMatchingQuotes) {
    auto ini = IniFile::parse(" [ Sec ] \n\t key \t= \t a b \t\r\nq=\"quoted\"\ns='single'\nm=\"mixed'\nc=x ; not a comment\n", updater::cp936());
    EXPECT_EQ(ini.get("Sec", "key", "d", 100), "a b");
    EXPECT_EQ(ini.get(" Sec ", " key ", "d", 100), "a b");
    EXPECT_EQ(ini.get("Sec", "q", "d", 100), "quoted");
    EXPECT_EQ(ini.get("Sec", "s", "d", 100), "single");
    EXPECT_EQ(ini.get("Sec", "m", "d", 100), "\"mixed'");
    EXPECT_EQ(ini.get("Sec", "c", "d", 100), "x ; not a comment");
    // The quote pair cut off by the buffer takes one more character with it.
    EXPECT_EQ(ini.get("Sec", "q", "d", 8), "quoted");
    EXPECT_EQ(ini.get("Sec", "q", "d", 7), "quote");
    EXPECT_EQ(ini.get("Sec", "q", "d", 6), "quote");
}

TEST(IniFile, FirstSectionAndFirstKeyWin) {
    auto ini = IniFile::parse("[FILE0]\nFILE=a.exe\nfile=b.exe\n[file0]\nFILE=c.exe\nVERSION=1\n", updater::cp936());
    EXPECT_EQ(ini.get("FILE0", "FILE", "", 260), "a.exe");
    EXPECT_EQ(ini.get("FILE0", "VERSION", "none", 260), "none");
}

TEST(IniFile, LineEndsByteOrderMarksAndBrokenDoubleByteText) {
    auto cr = IniFile::parse("[S]\ra=1\rb=2\r\nc=3", updater::cp936());
    EXPECT_EQ(cr.get("S", "b", "d", 100), "2");
    EXPECT_EQ(cr.get("S", "c", "d", 100), "3");
    EXPECT_EQ(IniFile::parse("\xef\xbb\xbf[S]\na=1\n", updater::cp936()).get("S", "a", "d", 100), "1");
    EXPECT_EQ(IniFile::parse(utf16le("[S]\r\na=1\r\n"), updater::cp936()).get("S", "a", "d", 100), "1");
    // A lead byte before the line end swallows it: the next line joins this one.
    auto broken = IniFile::parse("[S]\na=x\x81\nb=2\nc=" + kZhong + "\n", updater::cp936());
    EXPECT_EQ(broken.get("S", "a", "d", 100), "x?b=2");
    EXPECT_EQ(broken.get("S", "b", "d", 100), "d");
    EXPECT_EQ(broken.get("S", "c", "d", 100), kZhong);
    // A NUL ends the value, not the line.
    auto nul = IniFile::parse(std::string("[S]\na=x\0y\nb=2\n", 15), updater::cp936());
    EXPECT_EQ(nul.get("S", "a", "d", 100), "x");
    EXPECT_EQ(nul.get("S", "b", "d", 100), "2");
}

TEST(IniFile, UnicodeFilesReadThroughTheConversionToTheCodePage) {
    // [更新] 中文=文件 mix=(emoji)中 [S] v=中 (emoji)=emoji ??=real; plain literals are UTF-8 here
    const std::u16string text = u"\ufeff[\u66f4\u65b0]\r\n\u4e2d\u6587=\u6587\u4ef6\r\nmix=\U0001F600\u4e2d\r\n"
                                u"[S]\r\nv=\u4e2d\r\n\U0001F600=emoji\r\n?\?=real\r\n";
    const std::string utf8 = "\ufeff[\u66f4\u65b0]\r\n\u4e2d\u6587=\u6587\u4ef6\r\nmix=\U0001F600\u4e2d\r\n"
                             "[S]\r\nv=\u4e2d\r\n\U0001F600=emoji\r\n?\?=real\r\n";
    std::string utf16le, utf16be;
    for (char16_t unit : text) {
        utf16le += {static_cast<char>(unit & 0xFF), static_cast<char>(unit >> 8)};
        utf16be += {static_cast<char>(unit >> 8), static_cast<char>(unit & 0xFF)};
    }
    const std::string section = toCp936("\u66f4\u65b0");
    const testsupport::IconvUnicodeToAnsi unicodeToAnsi;
    for (const std::string& bytes : {utf8, utf16le, utf16be}) {
        auto ini = IniFile::parse(bytes, updater::cp936(), &unicodeToAnsi);
        EXPECT_EQ(ini.get(section, toCp936("\u4e2d\u6587"), "d", 100), toCp936("\u6587\u4ef6"));
        // Each half of the emoji's surrogate pair is a "?" of its own, and a
        // buffer keeps at most one character per byte.
        EXPECT_EQ(ini.get(section, "mix", "d", 100), "??" + kZhong);
        EXPECT_EQ(ini.get(section, "MIX", "d", 4), "??");
        EXPECT_EQ(ini.get(section, "mix", "d", 5), "??" + kZhong);
        // A name that reads as "??" only for want of the characters is not "??".
        EXPECT_EQ(ini.get("S", "??", "d", 100), "real");

        // Without the conversion only ASCII survives, and names that lose
        // characters to "?" match nothing.
        auto asciiOnly = IniFile::parse(bytes, updater::cp936());
        EXPECT_EQ(asciiOnly.get("S", "v", "d", 100), "?");
        EXPECT_EQ(asciiOnly.get("??", "mix", "d", 100), "d");
        EXPECT_EQ(asciiOnly.get("S", "??", "d", 100), "real");
    }
}

TEST(IniFile, FileListEndsAtTheFirstGapForTheCaller) {
    auto ini = IniFile::parse("[FILE0]\nFILE=a\n[FILE2]\nFILE=c\n", updater::cp936());
    EXPECT_EQ(ini.get("FILE0", "FILE", "", 260), "a");
    EXPECT_EQ(ini.get("FILE1", "FILE", "", 260), "");
    EXPECT_EQ(ini.get("FILE2", "FILE", "", 260), "c");
}

TEST(UpdateManifest, ProductVersionAndFileEntriesUpToTheFirstGap) {
    const auto manifest = updater::UpdateManifest::parse(
        "[kelmor]\nVERSION=2.0\n[FILE0]\nFILE=a\nVERSION=v\nSIZE=3\n[FILE1]\nFILE=b\nSHA256=\n[FILE3]\nFILE=d\n",
        updater::cp936());
    EXPECT_EQ(manifest.productVersion("KELMOR"), "2.0");
    EXPECT_EQ(manifest.productVersion("other"), std::nullopt);
    const auto first = manifest.entry(0);
    ASSERT_TRUE(first);
    EXPECT_EQ(first->file + "|" + first->version + "|" + first->size.value_or("-"), "a|v|3");
    EXPECT_EQ(first->sha256, std::nullopt);
    ASSERT_TRUE(manifest.entry(1));
    EXPECT_EQ(manifest.entry(1)->sha256, "") << "present but empty is not missing";
    EXPECT_FALSE(manifest.entry(2));
}

// The history keys are kept as written, malformed or not (the updater only
// compares them), and end at the first incomplete pair or after eight.
TEST(UpdateManifest, WholeFlagHistoriesAndDroppedFilesUpToTheirGaps) {
    std::string text = "[kelmor]\nVERSION=2.0\nwhole=1\n[other]\nWHOLE=yes\n"
                       "[FILE0]\nFILE=a\nPREV0_SIZE=3\nPREV0_SHA256=AB\nPREV1_SIZE=-x\nPREV1_SHA256=\n"
                       "PREV2_SIZE=9\nPREV3_SIZE=1\nPREV3_SHA256=cd\n"
                       "[FILE1]\nFILE=b\n";
    for (int n = 0; n < 10; ++n) {
        const std::string prefix = "PREV" + std::to_string(n) + "_";
        text += prefix + "SIZE=" + std::to_string(n) + "\n" + prefix + "SHA256=h\n";
    }
    text += "[DROP0]\nFILE=gone.dll\nAGE=3\nPREV0_SIZE=7\nPREV0_SHA256=ef\n[DROP1]\nFILE=\n[DROP2]\nFILE=late\n";
    const auto manifest = updater::UpdateManifest::parse(text, updater::cp936());

    EXPECT_TRUE(manifest.wholeRelease("KELMOR"));
    EXPECT_FALSE(manifest.wholeRelease("other"));
    EXPECT_FALSE(manifest.wholeRelease("missing"));

    const auto history = [](const std::vector<updater::PublishedContent>& contents) {
        std::string text;
        for (const auto& content : contents) text += content.size + "/" + content.sha256 + " ";
        return text;
    };
    EXPECT_EQ(history(manifest.entry(0)->previous), "3/AB -x/ ");
    EXPECT_EQ(history(manifest.entry(1)->previous), "0/h 1/h 2/h 3/h 4/h 5/h 6/h 7/h ");

    const auto drop = manifest.dropped(0);
    ASSERT_TRUE(drop);
    EXPECT_EQ(drop->file + " " + drop->age.value_or("-") + " " + history(drop->previous), "gone.dll 3 7/ef ");
    EXPECT_FALSE(manifest.dropped(1));
    EXPECT_FALSE(updater::UpdateManifest::parse("[DROP0]\nAGE=1\n", updater::cp936()).dropped(0));
}

// A malformed offer is left out and the next still counts; a missing key
// ends the offers; a copy needs all three keys well formed.
TEST(UpdateManifest, PatchOffersAndCompressedCopies) {
    const std::string base(64, 'a'), sha(64, 'b');
    const auto offer = [&](int n, const std::string& baseText, const std::string& size) {
        const std::string p = "PATCH" + std::to_string(n) + "_";
        return p + "BASE=" + baseText + "\n" + p + "FILE=p" + std::to_string(n) + ".updpatch\n" + p + "SIZE=" + size +
               "\n" + p + "SHA256=" + sha + "\n";
    };
    const std::string text = "[FILE0]\nFILE=a\n" + offer(0, base, "10") + offer(1, "xyz", "11") + offer(2, base, "12") +
                             "PATCH3_BASE=" + base + "\nZFILE=a.updz\nZSIZE=5\nZSHA256=" + sha +
                             "\n[FILE1]\nFILE=b\n" + offer(1, base, "13") + "ZFILE=b.updz\nZSIZE=five\nZSHA256=" + sha +
                             "\n[FILE2]\nFILE=c\n" + offer(0, base, "") + "ZFILE=\nZSIZE=5\nZSHA256=" + sha + "\n";
    const auto manifest = updater::UpdateManifest::parse(text, updater::cp936());
    const auto offers = [&](std::size_t index) {
        std::string seen;
        const auto entry = manifest.entry(index);
        for (const auto& o : entry->patches)
            seen += o.file + "/" + std::to_string(o.patch.size.value_or(0)) + "/" +
                    updater::encodeHex(o.base.data(), 2) + " ";
        return seen;
    };
    EXPECT_EQ(offers(0), "p0.updpatch/10/aaaa p2.updpatch/12/aaaa ");
    EXPECT_EQ(offers(1), "") << "numbered from 0";
    EXPECT_EQ(offers(2), "");
    const auto copy = manifest.entry(0)->copy;
    ASSERT_TRUE(copy);
    EXPECT_EQ(copy->file + "/" + std::to_string(copy->stored.size.value_or(0)), "a.updz/5");
    EXPECT_TRUE(copy->stored.sha256);
    EXPECT_FALSE(manifest.entry(1)->copy);
    EXPECT_FALSE(manifest.entry(2)->copy);
}

// Every key the writer knows reads back as it was written, the signature
// section included: one row per shape of section.
TEST(UpdateManifest, WhatTheWriterWritesReadsBackTheSame) {
    using updater::ManifestEntry, updater::DroppedFile, updater::PublishedContent;
    const auto digest = [](std::uint8_t fill) {
        updater::Sha256Digest bytes;
        bytes.fill(fill);
        return bytes;
    };
    const auto content = [&](std::uint64_t size, std::uint8_t fill) {
        return updater::ExpectedContent{size, digest(fill)};
    };
    const std::vector<PublishedContent> eight = {{"1", "a1"}, {"2", "b2"}, {"3", "c3"}, {"4", "d4"},
                                                 {"5", "e5"}, {"6", "f6"}, {"7", "07"}, {"8", "18"}};
    struct Row {
        const char* what;
        bool whole;
        ManifestEntry entry;
        DroppedFile drop;
    };
    const Row rows[] = {
        {"the least each section holds", false, {.file = "a.exe"}, {.file = "gone.dll"}},
        {"size and digest in a whole release", true,
         {.file = "sub/b.dll", .version = "2024-03-05 14:30:00", .size = "7", .sha256 = std::string(64, 'a')},
         {.file = "old/c.dll", .previous = {{"9", std::string(64, 'f')}}, .age = "3"}},
        {"present but empty, and histories kept as written", false,
         {.file = "c", .version = "v", .size = "", .sha256 = "", .previous = eight},
         {.file = kZhong + ".txt", .previous = {{"-x", "AB"}, {"", ""}}, .age = ""}},
        {"three patches, a copy and the object", true,
         {.file = kZhong + "\\d.exe", .version = "1", .size = "18446744073709551615", .sha256 = "ab",
          .patches = {{digest(1), "_objects/1", content(10, 2)},
                      {digest(3), "_objects/3", content(std::numeric_limits<std::uint64_t>::max(), 4)},
                      {digest(255), "_objects/5", content(0, 0)}},
          .copy = updater::CompressedCopy{"_objects/6", content(5, 6)},
          .object = "_objects/" + std::string(64, 'a')},
         {.file = "e", .age = "8"}},
    };
    std::uint8_t signer = 0;
    for (const Row& row : rows) {
        updater::ManifestWriter writer;
        writer.product("kelmor", "2.5", row.whole);
        writer.entry(row.entry);
        writer.entry(row.entry);
        writer.dropped(row.drop);
        updater::EcdsaSignature signature;
        signature.fill(++signer);
        const std::string text = writer.text() + updater::signatureSectionText(signature);
        const auto split = updater::splitSignedManifest(text);
        ASSERT_TRUE(split) << row.what;
        EXPECT_EQ(split->signedBytes, writer.text()) << row.what;
        EXPECT_EQ(split->signature, signature) << row.what;

        const auto manifest = updater::UpdateManifest::parse(split->signedBytes, updater::cp936());
        EXPECT_EQ(manifest.productVersion("kelmor"), "2.5") << row.what;
        EXPECT_EQ(manifest.wholeRelease("kelmor"), row.whole) << row.what;
        EXPECT_EQ(manifest.entry(0), row.entry) << row.what;
        EXPECT_EQ(manifest.entry(1), row.entry) << row.what;
        EXPECT_FALSE(manifest.entry(2)) << row.what;
        EXPECT_EQ(manifest.dropped(0), row.drop) << row.what;
        EXPECT_FALSE(manifest.dropped(1)) << row.what;
    }
}

// A system whose code page has no double-byte characters cuts and compares
// by single bytes, as the platform does there.
TEST(IniFile, TheCodePageDecidesWhereCharactersEnd) {
    struct SingleByte : updater::CodePage {
        bool isLeadByte(unsigned char) const override { return false; }
        bool isTrailByte(unsigned char) const override { return false; }
        std::string upperChar(std::string_view c) const override { return std::string(c); }
    } singleByte;
    const std::string text = "[S]\nk=" + kZhong + kZhong + "\n[" + kZhong.substr(0, 1) + "]\n]=x\n";
    EXPECT_EQ(IniFile::parse(text, updater::cp936()).get("S", "k", "", 4), kZhong);
    EXPECT_EQ(IniFile::parse(text, singleByte).get("S", "k", "", 4), kZhong + kZhong.substr(0, 1));
    // A lone lead byte is "?" in code page 936 and itself in a single-byte one.
    EXPECT_EQ(IniFile::parse(text, singleByte).get(kZhong.substr(0, 1), "]", "", 100), "x");
    EXPECT_EQ(IniFile::parse(text, updater::cp936()).get(kZhong.substr(0, 1), "]", "", 100), "");
}

TEST(IniFile, TenThousandFileSections) {
    std::string text = "[kelmor]\nVERSION=2.0\n";
    for (int i = 0; i < 10000; ++i)
        text += "[FILE" + std::to_string(i) + "]\nFILE=dir\\file" + std::to_string(i) + ".dat\nVERSION=2024-03-05 14:30:00\n";
    auto ini = IniFile::parse(text, updater::cp936());
    for (int i = 0; i < 10000; ++i)
        ASSERT_EQ(ini.get("FILE" + std::to_string(i), "FILE", "", 260), "dir\\file" + std::to_string(i) + ".dat");
    EXPECT_EQ(ini.get("FILE10000", "FILE", "", 260), "");
    EXPECT_EQ(ini.get("KELMOR", "version", "1.0", 128), "2.0");
}

TEST(IniFile, CopiesShareTheParsedText) {
    IniFile copy;
    {
        auto original = IniFile::parse("[S]\na=1\n", updater::cp936());
        copy = original;
    }
    EXPECT_EQ(copy.get("S", "a", "d", 100), "1");
}

}  // namespace
