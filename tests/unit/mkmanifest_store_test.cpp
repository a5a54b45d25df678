// The release store on real folders: the rules for links and special files,
// folders that contain each other, and files that are not there. (The tool
// tests cover copies and a link inside the folder.)
#include "tools/mkmanifest/release_store.h"

#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <functional>

#include "tests/support/file_bytes.h"

namespace mkmanifest {
namespace {

namespace fs = std::filesystem;

class MkmanifestStore : public ::testing::Test {
protected:
    void SetUp() override {
        put(root / "rel" / "a.txt", "hello\n");
    }

    static void put(const fs::path& path, const std::string& bytes) {
        fs::create_directories(path.parent_path());
        std::ofstream(path, std::ios::binary) << bytes;
    }
    std::string at(const std::string& name) { return (root / name).string(); }

    testsupport::ScratchDir scratch{"mkmanifest-store"};
    fs::path root = scratch.path();
    std::unique_ptr<ReleaseStore> store = makeReleaseStore();
};

TEST_F(MkmanifestStore, RefusesLinksThatLeadElsewhereAndSpecialFiles) {
    put(root / "outside.txt", "secret");
    fs::create_directories(root / "rel" / "deep");
    const std::vector<std::pair<std::function<void(const fs::path&)>, std::string>> cases = {
        {[&](const fs::path& at) { fs::create_symlink(root / "outside.txt", at); }, "outside the release folder"},
        {[&](const fs::path& at) { fs::create_directory_symlink(root / "rel", at); }, "links to a folder"},
        {[&](const fs::path& at) { fs::create_symlink(root / "rel" / "gone.txt", at); }, "broken link"},
        {[&](const fs::path& at) { ASSERT_EQ(::mkfifo(at.c_str(), 0600), 0); }, "is not a regular file"},
    };
    for (const auto& [make, refusal] : cases) {
        const fs::path entry = root / "rel" / "deep" / "entry";
        make(entry);
        try {
            store->listFiles(at("rel"));
            ADD_FAILURE() << "listed: " << refusal;
        } catch (const PublishError& error) {
            EXPECT_NE(std::string(error.what()).find(refusal), std::string::npos) << error.what();
        }
        fs::remove(entry);
    }
}

TEST_F(MkmanifestStore, FoldersOverlapByWholeNamesAfterLinks) {
    fs::create_directory_symlink(root / "rel", root / "rel-link");
    const struct {
        const char* a;
        const char* b;
        bool overlap;
    } cases[] = {
        {"rel", "rel", true},           {"rel/", "rel/new/out", true}, {"rel", "rel-link/out", true},
        {"rel", "new/../rel/x", true},  {"rel", "release", false},     {"rel/a.txt", "rel-other", false},
        {"new/out", "new/out2", false},
    };
    for (const auto& row : cases) {
        EXPECT_EQ(store->overlap(at(row.a), at(row.b)), row.overlap) << row.a << " and " << row.b;
        EXPECT_EQ(store->overlap(at(row.b), at(row.a)), row.overlap) << row.b << " and " << row.a;
    }
}

TEST_F(MkmanifestStore, FilesThatAreNotThereAreNothingOnlyWhereThatIsAllowed) {
    for (const char* name : {"missing.txt", "a.txt/under-a-file"}) {
        EXPECT_FALSE(store->digestIfPresent(at("rel"), name)) << name;
        EXPECT_FALSE(store->readIfPresent(at("rel"), name)) << name;
        EXPECT_THROW(store->digest(at("rel"), name), PublishError) << name;
    }
    EXPECT_THROW(store->listFiles(at("missing")), PublishError);
    EXPECT_THROW(store->listFiles(at("rel/a.txt")), PublishError);
}

}  // namespace
}  // namespace mkmanifest
