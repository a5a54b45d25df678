// mkmanifest.exe under Wine, with the native tool as the oracle: the same
// release, its names in code page 936 for the native tool and in Unicode for
// Wine, gives the same update.ini, also when published a second time.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "tests/support/child_process.h"
#include "tests/support/cp936_text.h"
#include "tests/support/file_bytes.h"
#include "tests/support/wine_runner.h"

namespace testsupport {
namespace {

namespace fs = std::filesystem;

class MkmanifestUnderWine : public ::testing::Test {
protected:
    // The same file in both release folders, named as each tool reads names.
    void put(const std::string& utf8Name, const std::string& bytes) {
        writeFileBytes((root_ / "wine-rel" / utf8Name).string(), bytes);
        writeFileBytes((root_ / "native-rel" / toCp936(utf8Name)).string(), bytes);
    }
    ChildResult publishUnderWine(const std::string& version, const std::string& time, const fs::path& release,
                                 const fs::path& out) {
        return runWine(windowsBinDir() + "/mkmanifest.exe",
                       {"--per-file", "--time", time, toWindowsPath(release.string()), "kelmor", version,
                        toWindowsPath(out.string())},
                       root_.string());
    }
    // Publishes with both tools; their manifests must be the same bytes.
    void publishBoth(const std::string& version, const std::string& time) {
        const ChildResult wine = publishUnderWine(version, time, root_ / "wine-rel", root_ / "wine-out");
        ASSERT_EQ(wine.exitCode, 0) << wine.output;
        const ChildResult native = runChild({MKMANIFEST_PATH, "--per-file", "--time", time,
                                             (root_ / "native-rel").string(), "kelmor", version,
                                             (root_ / "native-out").string()});
        ASSERT_EQ(native.exitCode, 0) << native.output;
        const std::string manifest = readFileBytes((root_ / "native-out" / "update.ini").string());
        ASSERT_FALSE(manifest.empty());
        EXPECT_EQ(readFileBytes((root_ / "wine-out" / "update.ini").string()), manifest);
    }

    ScratchDir scratch_{"mkmanifest-wine"};
    const fs::path root_ = scratch_.path();
};

TEST_F(MkmanifestUnderWine, PublishesDoubleByteNamesAsTheNativeToolDoes) {
    // "乗" ends in the trail byte 0x5C, which is "\" on its own.
    const std::vector<std::string> names = {"kelmor.exe", "数据/关卡.dat", "乗.dat", "插件/乗/空.txt"};
    for (std::size_t i = 0; i < names.size(); ++i) put(names[i], patternBytes(i == 1 ? 3 << 20 : 100 * i, i));
    publishBoth("1.26", "2024-03-05 14:30:00");
    for (std::size_t i = 0; i < names.size(); ++i)
        EXPECT_EQ(readFileBytes((root_ / "wine-out" / names[i]).string()), patternBytes(i == 1 ? 3 << 20 : 100 * i, i))
            << names[i];

    // Unchanged files keep their timestamps: the manifest read back and the
    // published copies hashed again.
    put("kelmor.exe", "new program");
    publishBoth("1.3", "2024-03-06 09:00:00");
    EXPECT_EQ(readFileBytes((root_ / "wine-out" / "kelmor.exe").string()), "new program");
    for (const auto& entry : fs::recursive_directory_iterator(root_ / "wine-out"))
        EXPECT_EQ(entry.path().filename().string().find("tmp"), std::string::npos) << entry.path();
}

TEST_F(MkmanifestUnderWine, RefusesAnOutputFolderInsideTheReleaseFolderInAnyLetterCase) {
    writeFileBytes((root_ / "rel" / "kelmor.exe").string(), "program");
    for (const fs::path& out : {root_ / "rel" / "out", root_ / "REL" / "网站" / "kelmor"}) {
        const ChildResult run = publishUnderWine("1.0", "2024-03-05 14:30:00", root_ / "rel", out);
        EXPECT_EQ(run.exitCode, 1) << out;
        EXPECT_NE(run.output.find("must not contain each other"), std::string::npos) << run.output;
    }
    EXPECT_FALSE(fs::exists(root_ / "rel" / "out"));
}

}  // namespace
}  // namespace testsupport
