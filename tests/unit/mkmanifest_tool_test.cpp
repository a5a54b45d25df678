// The built tool on real folders: walking, links, copies and exit codes.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/wait.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "engine/byte_limits.h"
#include "engine/ini_file.h"
#include "tests/support/file_bytes.h"

namespace {

namespace fs = std::filesystem;

class MkmanifestTool : public ::testing::Test {
protected:
    void SetUp() override {
        fs::create_directories(root / "rel");
    }

    void put(const fs::path& path, const std::string& bytes) {
        fs::create_directories(path.parent_path());
        std::ofstream(path, std::ios::binary) << bytes;
    }
    static std::string read(const fs::path& path) {
        std::ifstream in(path, std::ios::binary);
        std::stringstream bytes;
        bytes << in.rdbuf();
        return bytes.str();
    }
    static std::string quote(const std::string& text) { return "'" + text + "'"; }

    // Runs the tool with its output in files; returns the exit status.
    int run(const std::string& args) {
        std::string command = quote(MKMANIFEST_PATH) + " " + args + " >" + quote((root / "stdout").string()) +
                              " 2>" + quote((root / "stderr").string());
        int status = std::system(command.c_str());
        errors = read(root / "stderr");
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }
    int publish(const std::string& version, const std::string& time) {
        return run("--time " + quote(time) + " " + quote((root / "rel").string()) + " kelmor " + version + " " +
                   quote((root / "out").string()));
    }
    std::string manifestValue(const std::string& section, const std::string& key) {
        return updater::IniFile::parse(read(root / "out" / "update.ini"), updater::cp936()).get(section, key, "<missing>", 260);
    }

    testsupport::ScratchDir scratch{"mkmanifest"};
    fs::path root = scratch.path();
    std::string errors;
};

TEST_F(MkmanifestTool, PublishesNestedFoldersAndKeepsTimestampsOfUnchangedFiles) {
    put(root / "rel" / "kelmor.exe", "hello\n");
    put(root / "rel" / "data" / "maps" / "one.map", std::string(3 << 20, 'm'));  // more than one read
    ASSERT_EQ(publish("1.26", "2024-03-05 14:30:00"), 0) << errors;

    EXPECT_EQ(manifestValue("kelmor", "VERSION"), "1.26");
    EXPECT_EQ(manifestValue("FILE0", "FILE"), "data/maps/one.map");
    EXPECT_EQ(manifestValue("FILE1", "FILE"), "kelmor.exe");
    EXPECT_EQ(manifestValue("FILE1", "SHA256"), "5891b5b522d5df086d0ff0b110fbd9d21bb4fc7163af34d08286a2e846f6be03");
    EXPECT_EQ(manifestValue("FILE0", "SIZE"), std::to_string(3 << 20));
    EXPECT_EQ(read(root / "out" / "data" / "maps" / "one.map"), read(root / "rel" / "data" / "maps" / "one.map"));

    put(root / "rel" / "kelmor.exe", "hello again\n");
    ASSERT_EQ(publish("1.3", "2024-03-06 09:00:00"), 0) << errors;
    EXPECT_EQ(manifestValue("FILE0", "VERSION"), "2024-03-05 14:30:00");
    EXPECT_EQ(manifestValue("FILE1", "VERSION"), "2024-03-06 09:00:00");
    EXPECT_EQ(manifestValue("FILE1", "PREV0_SHA256"),
              "5891b5b522d5df086d0ff0b110fbd9d21bb4fc7163af34d08286a2e846f6be03");
    EXPECT_EQ(manifestValue("FILE0", "PREV0_SIZE"), "<missing>");
    EXPECT_EQ(read(root / "out" / "kelmor.exe"), "hello again\n");

    for (const auto& entry : fs::recursive_directory_iterator(root / "out"))
        EXPECT_EQ(entry.path().filename().string().find("tmp"), std::string::npos) << entry.path();
}

// --seed-history: an installed release that was never published joins the
// history, so clients recognise its files as the vendor's.
TEST_F(MkmanifestTool, SeedsTheHistoryFromAnInstalledRelease) {
    put(root / "rel" / "kelmor.exe", "hello again\n");
    put(root / "installed" / "kelmor.exe", "hello\n");
    ASSERT_EQ(run("--time '2024-03-06 09:00:00' --seed-history " + quote((root / "installed").string()) + " " +
                  quote((root / "rel").string()) + " kelmor 1.3 " + quote((root / "out").string())),
              0)
        << errors;
    EXPECT_EQ(manifestValue("FILE0", "PREV0_SIZE"), "6");
    EXPECT_EQ(manifestValue("FILE0", "PREV0_SHA256"),
              "5891b5b522d5df086d0ff0b110fbd9d21bb4fc7163af34d08286a2e846f6be03");
    EXPECT_EQ(run("--seed-history"), 2) << "needs a folder";
}

TEST_F(MkmanifestTool, RefusesALinkOutOfTheReleaseFolderAndWritesNothing) {
    put(root / "rel" / "a.txt", "a");
    put(root / "secret.txt", "s");
    fs::create_symlink(root / "rel" / "a.txt", root / "rel" / "inside.txt");
    ASSERT_EQ(publish("1.0", "2024-03-05 14:30:00"), 0) << errors;
    EXPECT_EQ(manifestValue("FILE1", "FILE"), "inside.txt");
    EXPECT_EQ(read(root / "out" / "inside.txt"), "a");

    fs::create_symlink(root / "secret.txt", root / "rel" / "leak.txt");
    EXPECT_EQ(publish("1.1", "2024-03-06 14:30:00"), 1);
    EXPECT_NE(errors.find("outside the release folder"), std::string::npos) << errors;
    EXPECT_EQ(manifestValue("kelmor", "VERSION"), "1.0");
    EXPECT_FALSE(fs::exists(root / "out" / "leak.txt"));
}

// The previous manifest is already over the cap, every entry a drop still in
// its window (the shipped tool, since the sanitizers make this slow).
TEST_F(MkmanifestTool, RefusesAManifestOverTheUpdatersCapAndWritesNothing) {
    std::string previous = "[kelmor]\r\nVERSION=1.26\r\n";
    const std::string history = "PREV0_SIZE=1\r\nPREV0_SHA256=" + std::string(64, 'a') + "\r\n";
    for (int i = 0; previous.size() <= updater::kManifestLimitBytes; ++i)
        previous += "[DROP" + std::to_string(i) + "]\r\nFILE=" + std::string(250, 'd') + std::to_string(i) +
                    "\r\nAGE=1\r\n" + history;
    put(root / "out" / "update.ini", previous);
    put(root / "rel" / "kelmor.exe", "program");
    EXPECT_EQ(publish("1.3", "2024-03-05 14:30:00"), 1);
    EXPECT_NE(errors.find("over the 16 MiB the updater accepts"), std::string::npos) << errors;
    EXPECT_FALSE(fs::exists(root / "out" / "kelmor.exe"));
    EXPECT_EQ(read(root / "out" / "update.ini"), previous);
}

TEST_F(MkmanifestTool, ExplainsItselfAndRejectsBadArguments) {
    EXPECT_EQ(run("--help"), 0);
    EXPECT_NE(read(root / "stdout").find("936"), std::string::npos);
    EXPECT_EQ(run("only two"), 2);
    EXPECT_EQ(publish("1.0", "2024-02-30 00:00:00"), 2);
    EXPECT_FALSE(fs::exists(root / "out"));
}

}  // namespace
