// The built tool on real folders: walking, links, copies and exit codes.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/wait.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "engine/text/byte_limits.h"
#include "engine/text/ini_file.h"
#include "engine/transfer/patch_apply.h"
#include "tests/support/file_bytes.h"
#include "tests/support/sha256_hex.h"

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
        return updater::IniFile::parse(read(root / "out" / "update.ini"), updater::cp936())
            .get(section, key, "<missing>", updater::kFileValueBufferBytes);
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

class FileInput : public updater::RandomAccessInput {
public:
    explicit FileInput(std::string bytes) : bytes_(std::move(bytes)) {}
    std::uint64_t size() const override { return bytes_.size(); }
    bool readAt(std::uint64_t offset, char* data, std::size_t size) override {
        return offset + size <= bytes_.size() && bytes_.copy(data, size, offset) == size;
    }

private:
    std::string bytes_;
};

// Five releases of one program, then a forced re-publication: patches from the
// last 3 contents the output keeps, each rebuilding the file exactly; a copy
// only for what shrinks by 10 %; every content, patch and copy an object
// named by its SHA-256; .history pruned to 3 contents per file, _objects/ to
// what the last two manifests name.
TEST_F(MkmanifestTool, PublishesPatchesFromTheLastThreeKeptContentsAndPrunesTheRest) {
    std::string noise;
    for (unsigned seed = 1; noise.size() < 50000;) noise += static_cast<char>((seed = seed * 1103515245u + 12345u) >> 24);
    put(root / "rel" / "noise.bin", noise);  // does not shrink by 10 %: no copy
    std::vector<std::string> contents;
    const auto history = [&] {
        std::vector<std::string> kept;
        for (const auto& entry : fs::directory_iterator(root / "out" / ".history")) kept.push_back(entry.path().filename());
        std::sort(kept.begin(), kept.end());
        return kept;
    };
    const auto sorted = [](std::vector<std::string> shas) { std::sort(shas.begin(), shas.end()); return shas; };
    for (int release = 0; release < 6; ++release) {
        std::string program;
        for (int line = 0; line < 3000; ++line) program += "line " + std::to_string(line * (release + 1) % 997) + "\n";
        contents.push_back(program);
        put(root / "rel" / "kelmor.exe", program);
        const std::string version = release < 5 ? "1." + std::to_string(release) : "1.4 --force";
        ASSERT_EQ(publish(version, "2024-03-0" + std::to_string(release + 1) + " 09:00:00"), 0) << errors;
        const auto isObject = [&](const std::string& name) {
            return name == "_objects/" + testsupport::sha256Hex(read(root / "out" / name));
        };
        EXPECT_TRUE(isObject(manifestValue("FILE0", "ZFILE"))) << manifestValue("FILE0", "ZFILE");
        EXPECT_EQ(manifestValue("FILE0", "OBJECT"), "_objects/" + testsupport::sha256Hex(program));
        EXPECT_TRUE(isObject(manifestValue("FILE1", "OBJECT")));
        EXPECT_EQ(manifestValue("FILE1", "ZFILE"), "<missing>");
        EXPECT_EQ(manifestValue("FILE1", "PATCH0_FILE"), "<missing>") << "unchanged since it was first kept";
        // Bases: the contents before this one, newest first; at most 3. A forced
        // re-publication of 1.4 follows the 1.4 it replaces.
        std::vector<std::string> bases;
        for (int n = release - 1; n >= 0 && bases.size() < 3; --n) bases.push_back(testsupport::sha256Hex(contents[n]));
        for (std::size_t n = 0; n < 4; ++n) {
            const std::string key = "PATCH" + std::to_string(n) + "_";
            if (n >= bases.size()) {
                EXPECT_EQ(manifestValue("FILE0", key + "BASE"), "<missing>") << release;
                continue;
            }
            ASSERT_EQ(manifestValue("FILE0", key + "BASE"), bases[n]) << release;
            const std::string name = manifestValue("FILE0", key + "FILE");
            const std::string patchBytes = read(root / "out" / name);
            EXPECT_EQ(name, "_objects/" + testsupport::sha256Hex(patchBytes));
            EXPECT_EQ(manifestValue("FILE0", key + "SIZE"), std::to_string(patchBytes.size()));
            EXPECT_EQ(manifestValue("FILE0", key + "SHA256"), testsupport::sha256Hex(patchBytes));
            FileInput base(contents[release - 1 - n]), patch(patchBytes);
            std::string rebuilt;
            EXPECT_EQ(updater::applyPatch(base, patch, program.size(),
                                          [&](const char* data, std::size_t size) { rebuilt.append(data, size); return true; }),
                      updater::PatchOutcome::Rebuilt);
            EXPECT_TRUE(rebuilt == program) << release << " " << n;
        }
        std::vector<std::string> kept{testsupport::sha256Hex(noise)};
        for (int n = release; n >= 0 && kept.size() < 4; --n) kept.push_back(testsupport::sha256Hex(contents[n]));
        EXPECT_EQ(history(), sorted(kept)) << release;
    }
    // The last two manifests: two contents of kelmor.exe, their copies and
    // three patches each, and noise.bin's one content.
    std::uintmax_t objects = 0, bytes = 0;
    for (const auto& entry : fs::directory_iterator(root / "out" / "_objects")) {
        ++objects;
        bytes += entry.file_size();
    }
    EXPECT_EQ(objects, 11u) << "objects neither manifest names are deleted";
    EXPECT_NE(read(root / "stdout").find("objects: 11 files, " + std::to_string(bytes) + " bytes\n"), std::string::npos)
        << read(root / "stdout");
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

// The updater never writes updataAdd.ini: a release that does not carry
// VERSION as its strVersion is offered again at every check.
TEST_F(MkmanifestTool, WarnsOfAReleaseWithoutItsVersionFileAndStrictRefusesIt) {
    const std::string warning = "warning: the release has no updataAdd.ini whose strVersion is 1.3; installed "
                                "clients will be offered this update at every check";
    put(root / "rel" / "kelmor.exe", "exe");
    const struct {
        const char* name;
        const char* versionFile;  // nullptr: none in the release
        bool warned;
    } rows[] = {
        {"none", nullptr, true},
        {"older strVersion", "[Server]\r\nstrVersion=1.26\r\n", true},
        {"no strVersion", "[Server]\r\nstrSoft=kelmor\r\n", true},
        {"the same number", "[server]\r\nSTRVERSION=1.30\r\n", false},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        fs::remove_all(root / "out");
        fs::remove(root / "rel" / "updataAdd.ini");
        if (row.versionFile) put(root / "rel" / "updataAdd.ini", row.versionFile);
        EXPECT_EQ(run("--strict --time '2024-03-01 10:00:00' " + quote((root / "rel").string()) + " kelmor 1.3 " +
                      quote((root / "out").string())),
                  row.warned ? 1 : 0);
        EXPECT_EQ(errors.find(warning) != std::string::npos, row.warned) << errors;
        EXPECT_EQ(fs::exists(root / "out" / "update.ini"), !row.warned) << "--strict publishes nothing it warns of";
        fs::remove_all(root / "out");
        EXPECT_EQ(publish("1.3", "2024-03-01 10:00:00"), 0) << "without --strict it only warns";
        EXPECT_EQ(errors.find(warning) != std::string::npos, row.warned) << errors;
    }
}

// Names on disk are UTF-8; the manifest and the update folder get the bytes
// of the clients' code page, and each name that is not ASCII a warning.
TEST_F(MkmanifestTool, WritesNamesInTheClientsCodePage) {
    put(root / "rel" / "caf\xC3\xA9.txt", "c");
    put(root / "rel" / "na\xC3\xAFve" / "\xC3\xBC" "ber.dat", "u");
    const std::string release = quote((root / "rel").string()) + " kelmor 1.3 " + quote((root / "out").string());
    ASSERT_EQ(run("--code-page 1252 " + release), 0) << errors;
    const std::string manifest = read(root / "out" / "update.ini");
    EXPECT_NE(manifest.find("FILE=caf\xE9.txt\r\n"), std::string::npos) << manifest;
    EXPECT_NE(manifest.find("FILE=na\xEFve/\xFC" "ber.dat\r\n"), std::string::npos) << manifest;
    EXPECT_EQ(read(root / "out" / "caf\xE9.txt"), "c");
    EXPECT_EQ(read(root / "out" / "na\xEFve" / "\xFC" "ber.dat"), "u");
    EXPECT_NE(errors.find("code page is 1252"), errors.rfind("code page is 1252")) << "a warning per name";

    // GBK has no "ï": refused before anything is written.
    fs::remove_all(root / "out");
    EXPECT_EQ(run(release), 1);
    EXPECT_NE(errors.find("cannot write"), std::string::npos) << errors;
    EXPECT_FALSE(fs::exists(root / "out" / "update.ini"));
}

TEST_F(MkmanifestTool, ExplainsItselfAndRejectsBadArguments) {
    EXPECT_EQ(run("--help"), 0);
    EXPECT_NE(read(root / "stdout").find("936"), std::string::npos);
    EXPECT_EQ(run("only two"), 2);
    EXPECT_EQ(publish("1.0", "2024-02-30 00:00:00"), 2);
    EXPECT_FALSE(fs::exists(root / "out"));
}

}  // namespace
