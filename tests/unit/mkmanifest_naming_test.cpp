#include "tools/mkmanifest/naming_rules.h"

#include <gtest/gtest.h>

namespace mkmanifest {
namespace {

// The default clients' code page, 936, unless a row names another.
std::string nameProblem(const std::string& name, unsigned codePage = 936) {
    return fileNameProblem(name, clientCodePage(codePage));
}
std::string productProblem(const std::string& product) { return productNameProblem(product, updater::cp936()); }

TEST(MkmanifestNaming, RefusesNamesThatEscapeTheProgramDirectory) {
    for (const char* name : {"../x.dll", "a/../../x.dll", "a/..", "C:x.dll", "c:/x.dll", "a.txt:stream",
                             "/etc/passwd", "\\x.dll", "a\\..\\x.dll", "a/./b.dll"})
        EXPECT_NE(nameProblem(name), "") << name;
    for (const char* name : {"kelmor.exe", "sub/deep/b.bin", "..x.dll", "a..b/c"})
        EXPECT_EQ(nameProblem(name), "") << name;
}

TEST(MkmanifestNaming, RefusesWhatTheIniTextOrWindowsWouldChange) {
    for (const char* name : {" a.txt", "a.txt ", "a\tb", "a\nb", "a\rb", "dir /a.txt", "dir./a.txt", "a|b",
                             "a?b", "a*b", "a<b", "a\"b", "con", "sub/NUL.txt", "LPT1", "Com9.log"})
        EXPECT_NE(nameProblem(name), "") << name;
    for (const char* name : {"a b.txt", "console.exe", "com10", "lpt.txt", "a=b.txt", ";x", "[x]"})
        EXPECT_EQ(nameProblem(name), "") << name;
    // The updater's own refusals: short forms, its side files in any part of
    // a name, and its own folder.
    for (const char* name : {"KELMOR~1.EXE", "sub/PROGRA~1/x.dll", "kelmor.exe.upg", "a.dll.UPG.new", "lib.old/foo.dll",
                             ".Update/x.dll"})
        EXPECT_NE(nameProblem(name), "") << name;
    // The updater sends "%" and "#" encoded, so these reach the same file.
    for (const char* name : {"a#b.txt", "100%.txt", "%2e%2e%2fsecret.txt", "data~2024.bin"})
        EXPECT_EQ(nameProblem(name), "") << name;
}

TEST(MkmanifestNaming, ReadsNamesAsCodePage936) {
    // "\" and "|" as trail bytes of double-byte characters are no separators.
    EXPECT_EQ(nameProblem("\x81\x5C.txt"), "");
    EXPECT_EQ(nameProblem("\x81\x7C.txt"), "");
    EXPECT_EQ(nameProblem("\xB8\xFC\xD0\xC2/\xCE\xC4\xBC\xFE.txt"), "");
    // A lead byte without a valid trail byte: the updater would open another name.
    EXPECT_NE(nameProblem("\xB8.txt"), "");
    EXPECT_NE(nameProblem("a\xB8"), "");
    EXPECT_NE(nameProblem("\x80.txt"), "");
    // Other clients' code pages, as --code-page names them; only ASCII reaches all.
    EXPECT_EQ(nameProblem("caf\xE9.txt", 1252), "");
    EXPECT_NE(nameProblem("caf\xE9.txt"), "");
    EXPECT_NE(nonAsciiNameWarning("caf\xE9.txt", 1252).find("1252"), std::string::npos);
    EXPECT_EQ(nonAsciiNameWarning("kelmor.exe", 1252), "");
}

TEST(MkmanifestNaming, NameLengthFitsTheUpdatersBuffer) {
    EXPECT_EQ(nameProblem(std::string(255, 'a') + ".dll"), "");
    EXPECT_NE(nameProblem(std::string(256, 'a') + ".dll"), "");
}

TEST(MkmanifestNaming, ProductName) {
    EXPECT_EQ(productProblem("kelmor"), "");
    EXPECT_EQ(productProblem(std::string(99, 'k')), "");
    EXPECT_EQ(productProblem("\xB8\xFC\xD0\xC2 2"), "");
    EXPECT_EQ(productProblem("FILE"), "");
    EXPECT_EQ(productProblem("file1a"), "");
    EXPECT_EQ(productProblem("DROP"), "");
    for (const std::string& bad : {std::string(100, 'k'), std::string(), std::string("a[b"), std::string("a]"),
                                   std::string("a\nb"), std::string(" kelmor"), std::string("kelmor "),
                                   std::string("FILE0"), std::string("file12"), std::string("drop3"),
                                   std::string("Signature")})
        EXPECT_NE(productProblem(bad), "") << bad;
}

TEST(MkmanifestNaming, VersionText) {
    for (const char* good : {"1.26", "2", ".5", "2.0beta"}) EXPECT_EQ(versionTextProblem(good), "") << good;
    EXPECT_EQ(versionTextProblem("1." + std::string(125, '1')), "");
    EXPECT_NE(versionTextProblem("1." + std::string(126, '1')), "");
    for (const char* bad : {"", "beta", "v1.3", " 1.3", "1.3 ", "1.3\n", "0", "0.0", "-1", "."})
        EXPECT_NE(versionTextProblem(bad), "") << bad;

    EXPECT_EQ(versionReadingNote("1.26"), "");
    EXPECT_EQ(versionReadingNote("12"), "");
    EXPECT_NE(versionReadingNote("1.2.3"), "");
    EXPECT_NE(versionReadingNote("2.0beta"), "");
}

TEST(MkmanifestNaming, NamesWindowsTakesForTheSameFile) {
    EXPECT_TRUE(sameNameIgnoringCase("UPDATE.INI", "update.ini"));
    EXPECT_FALSE(sameNameIgnoringCase("sub/update.ini", "update.ini"));
    // A trail byte that looks like a letter is part of another character.
    EXPECT_FALSE(sameNameIgnoringCase("\x81\x41", "\x81\x61"));

    auto clashes = caseClashes({"Readme.txt", "a/b", "README.TXT", "a/B", "c"}, updater::cp936());
    EXPECT_EQ(clashes.size(), 2u);
    EXPECT_TRUE(caseClashes({"a", "b", "\x81\x41", "\x81\x61"}, updater::cp936()).empty());
    EXPECT_EQ(caseClashes({"\xC9.txt", "\xE9.txt"}, clientCodePage(1252)).size(), 1u);
}

}  // namespace
}  // namespace mkmanifest
