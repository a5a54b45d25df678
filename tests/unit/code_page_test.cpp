#include "engine/text/code_page.h"
#include "engine/manifest/executable_names.h"

#include <gtest/gtest.h>

namespace updater {
namespace {

// 0x81 0x5C and 0xB1 0x5C are double-byte characters whose trail byte is "\".
const std::string kTrail5C = "\x81\x5C";

TEST(Cp936, LeadBytes) {
    const Cp936 cp;
    EXPECT_FALSE(cp.isLeadByte(0x80));
    EXPECT_TRUE(cp.isLeadByte(0x81));
    EXPECT_TRUE(cp.isLeadByte(0xFE));
    EXPECT_FALSE(cp.isLeadByte(0xFF));
    EXPECT_FALSE(cp.isLeadByte('\\'));
}

TEST(Cp936, UpperCasesAsciiAndDoubleByteLetters) {
    const Cp936 cp;
    EXPECT_EQ(cp.upperChar("a"), "A");
    EXPECT_EQ(cp.upperChar("z"), "Z");
    EXPECT_EQ(cp.upperChar("{"), "{");
    EXPECT_EQ(cp.upperChar("\xA3\xE1"), "\xA3\xC1");  // full-width a
    EXPECT_EQ(cp.upperChar("\xA3\xFA"), "\xA3\xDA");  // full-width z
    EXPECT_EQ(cp.upperChar("\xA6\xC1"), "\xA6\xA1");  // alpha
    EXPECT_EQ(cp.upperChar("\xA6\xD8"), "\xA6\xB8");  // omega
    EXPECT_EQ(cp.upperChar("\xA7\xD1"), "\xA7\xA1");  // Cyrillic a
    EXPECT_EQ(cp.upperChar("\xA7\xF1"), "\xA7\xC1");  // Cyrillic ya
    EXPECT_EQ(cp.upperChar("\xA2\xA1"), "\xA2\xF1");  // small Roman one
    // Neighbours of the ranges and Chinese characters stay as they are.
    EXPECT_EQ(cp.upperChar("\xA3\xFB"), "\xA3\xFB");
    EXPECT_EQ(cp.upperChar("\xA6\xD9"), "\xA6\xD9");
    EXPECT_EQ(cp.upperChar("\xD6\xD0"), "\xD6\xD0");
    // A trail byte that looks like an ASCII letter is not folded.
    EXPECT_EQ(cp.upperChar("\x81\x61"), "\x81\x61");
}

TEST(CodePage, CharLengthCountsATrailingLeadByteAsOne) {
    const Cp936 cp;
    const std::string text = "a\xD6\xD0\xD6";
    EXPECT_EQ(charLength(text, 0, cp), 1u);
    EXPECT_EQ(charLength(text, 1, cp), 2u);
    EXPECT_EQ(charLength(text, 3, cp), 1u);
}

TEST(CodePage, LastBackslashSkipsTrailBytes) {
    const Cp936 cp;
    EXPECT_EQ(findLastBackslash("C:\\Prog\\Update.exe", cp), 7u);
    EXPECT_EQ(findLastBackslash("C:\\" + kTrail5C + "\\Update.exe", cp), 5u);
    EXPECT_EQ(findLastBackslash("C:\\dir" + kTrail5C + "Update.exe", cp), 2u);
    EXPECT_EQ(findLastBackslash("Update.exe", cp), std::string::npos);
    EXPECT_EQ(findLastBackslash(kTrail5C, cp), std::string::npos);
}

TEST(CodePage, ProgramDirectoryWithAndWithoutSeparator) {
    const Cp936 cp;
    // "C:\软件乗\Update.exe" in GBK.
    const std::string exe = "C:\\\xC8\xED\xBC\xFE" + kTrail5C + "\\Update.exe";
    const std::string dir = "C:\\\xC8\xED\xBC\xFE" + kTrail5C;
    EXPECT_EQ(directoryWithSeparator(exe, cp), dir + "\\");
    EXPECT_EQ(directoryWithoutSeparator(exe, cp), dir);
    // A path that ends in a trail byte 0x5C has no separator after the directory.
    EXPECT_EQ(directoryWithSeparator("C:\\a" + kTrail5C, cp), "C:\\");
    EXPECT_EQ(directoryWithoutSeparator("Update.exe", cp), "Update.exe");
    EXPECT_EQ(directoryWithSeparator("Update.exe", cp), "Update.exe");
}

TEST(CodePage, EqualsIgnoreCaseByWholeCharacters) {
    const Cp936 cp;
    EXPECT_TRUE(equalsIgnoreCase("KELMOR.EXE", "kelmor.exe", cp));
    EXPECT_TRUE(equalsIgnoreCase("\xA3\xEB\xA3\xE5.exe", "\xA3\xCB\xA3\xC5.EXE", cp));
    EXPECT_FALSE(equalsIgnoreCase("kelmor2.exe", "kelmor.exe", cp));
    EXPECT_FALSE(equalsIgnoreCase("kelmor.ex", "kelmor.exe", cp));
    // Trail bytes are compared as they are, never folded as ASCII.
    EXPECT_FALSE(equalsIgnoreCase("\x81\x61", "\x81\x41", cp));
    // A lone lead byte at the end is one character of its own.
    EXPECT_TRUE(equalsIgnoreCase("a\xD6", "A\xD6", cp));
    EXPECT_FALSE(equalsIgnoreCase("a\xD6", "a\xD6\xD0", cp));
    EXPECT_TRUE(equalsIgnoreCase("", "", cp));
}

}  // namespace
}  // namespace updater
