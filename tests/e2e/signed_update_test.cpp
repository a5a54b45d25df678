// Signed updates end to end: manifests signed by mkmanifest, checked by the
// updater's CNG side under Wine, in a build keyed with the test-only key
// (UpdateKeyed.exe, run as Update.exe) and in the ordinary build. The keyed
// build also carries an Authenticode signature, so these runs show that a
// signed program still updates.
#include <gtest/gtest.h>

#include <ctime>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "engine/text/ini_file.h"
#include "tests/support/child_process.h"
#include "tests/support/file_bytes.h"
#include "tests/support/product_dir.h"
#include "tests/support/test_http_server.h"
#include "tests/support/updater_process.h"
#include "tests/support/wine_runner.h"
#include "tests/support/wizard_driver.h"
#include "tests/support/wizard_texts.h"

namespace testsupport {
namespace {

namespace fs = std::filesystem;

const std::string kTestKey = std::string(TEST_KEYS_DIR) + "/test-only.pem";
const std::string kTestPublicKey = std::string(TEST_KEYS_DIR) + "/test-only.pub";
const std::string kNewerFound = kNewerFoundPrefix + "kelmor 1.3";
const std::string kPublished = "2024-03-05 14:30:00";
constexpr std::time_t kOldFiles = 1577836800;  // 2020-01-01, before the publication

// A scratch folder with the release, the published folders the server
// serves, and the tool to publish them.
class Workspace {
public:
    Workspace() {
        writeFileBytes(root_.pathOf("release/data.bin"), patternBytes(5000, 1));
        writeFileBytes(root_.pathOf("release/readme.txt"), "new readme\r\n");
    }

    fs::path root() const { return root_.path(); }
    fs::path web() const { return root() / "web"; }

    // Runs mkmanifest; fails the test when it does not succeed.
    void tool(std::vector<std::string> args) {
        args.insert(args.begin(), MKMANIFEST_PATH);
        const ChildResult run = runChild(args);
        ASSERT_EQ(run.exitCode, 0) << run.output;
    }
    // Publishes the release as web/<folder>/, signed with key unless it is empty.
    void publish(const std::string& folder, const std::string& key, const std::string& version = "1.3") {
        std::vector<std::string> args;
        if (!key.empty()) args = {"--sign", key};
        args.insert(args.end(),
                    {"--per-file", "--time", kPublished, root_.pathOf("release"), "kelmor", version,
                     (web() / folder).string()});
        tool(args);
    }
    // A second key pair, which the keyed build does not know.
    std::string otherKey() {
        if (!fs::exists(root_.pathOf("other.pem")))
            tool({"keygen", root_.pathOf("other.pem"), root_.pathOf("other.pub")});
        return root_.pathOf("other.pem");
    }

private:
    ScratchDir root_{"signed-update"};
};

TEST(SignatureCheckUnderWine, CngAcceptsOnlyTheToolsSignatureWithTheMatchingKey) {
    Workspace space;
    space.publish("signed", kTestKey);
    space.publish("plain", "");
    const std::string otherKey = space.otherKey();
    const fs::path signedManifest = space.web() / "signed" / "update.ini";
    std::string altered = readFileBytes(signedManifest);
    altered.replace(altered.find("VERSION=1.3"), 11, "VERSION=1.4");
    writeFileBytes(space.root() / "altered.ini", altered);

    auto check = [&](const std::vector<std::string>& args) {
        const ChildResult run = runWine(windowsTestBinDir() + "/win32_services_check.exe", args, space.root().string());
        EXPECT_EQ(run.exitCode, 0) << run.output;
        return run.output;
    };
    auto verify = [&](const std::string& publicKey, const fs::path& manifest) {
        return check({"verify", toWindowsPath(publicKey), toWindowsPath(manifest.string())});
    };
    EXPECT_NE(verify(kTestPublicKey, signedManifest).find("signature valid"), std::string::npos);
    EXPECT_NE(verify(kTestPublicKey, space.root() / "altered.ini").find("signature invalid"), std::string::npos);
    const std::string otherPublic = otherKey.substr(0, otherKey.size() - 4) + ".pub";
    EXPECT_NE(verify(otherPublic, signedManifest).find("signature invalid"), std::string::npos);
    EXPECT_NE(verify(kTestPublicKey, space.web() / "plain" / "update.ini").find("signature unsigned"),
              std::string::npos);

    // CNG's SHA-256, fed in the run's chunk size, is the tool's SHA256 value.
    const updater::IniFile manifest = updater::IniFile::parse(readFileBytes(signedManifest), updater::cp936());
    ASSERT_EQ(manifest.get("FILE0", "FILE", "", 260), "data.bin");
    const std::string hashed = check({"sha256", toWindowsPath((space.web() / "signed" / "data.bin").string())});
    EXPECT_NE(hashed.find("sha256 " + manifest.get("FILE0", "SHA256", "", 260)), std::string::npos) << hashed;
}

// One product directory with old copies of the release's files, running
// either build as Update.exe against a folder of the workspace's server.
class SignedUpdateTest : public ::testing::Test {
protected:
    SignedUpdateTest() : server(space.web().string()) {}

    void install(bool keyed, const std::string& folder) {
        updater.reset();
        product = std::make_unique<ProductDir>();
        if (keyed)
            fs::copy_file(windowsTestBinDir() + "/UpdateKeyed.exe", product->pathOf("Update.exe"),
                          fs::copy_options::overwrite_existing);
        product->writeConfig(
            {"kelmor", "1.26", "http://127.0.0.1:" + std::to_string(server.port()) + "/" + folder + "/"});
        product->writeFile("data.bin", "old data", kOldFiles);
        product->writeFile("readme.txt", "old readme", kOldFiles);
    }
    WizardState pressNextAndWait(const std::function<bool(const WizardState&)>& condition) {
        EXPECT_TRUE(wizard.pressNext());
        return wizard.waitUntil([&](const WizardState& s) { return s.found && s.responsive && condition(s); });
    }
    // Starts the updater and presses Next; the state once the check ended.
    WizardState check() {
        updater = std::make_unique<UpdaterProcess>(*product);
        const WizardState opened = wizard.waitOpen();
        EXPECT_TRUE(opened.found) << updater->output();
        EXPECT_TRUE(wizard.pressNext());
        return wizard.waitForCheckEnd();
    }
    // Check and run; the state once the run finished.
    WizardState update() {
        const WizardState checked = check();
        EXPECT_EQ(checked.status, kNewerFound) << checked;
        return pressNextAndWait([](const WizardState& s) { return s.status == kFinished; });
    }
    void expectNothingInstalled(const std::string& folder) {
        EXPECT_EQ(product->readFile("data.bin"), "old data");
        EXPECT_EQ(product->readFile("readme.txt"), "old readme");
        EXPECT_FALSE(product->exists("data.bin.upg"));
        EXPECT_FALSE(product->exists("readme.txt.upg"));
        EXPECT_EQ(server.countRequests("/" + folder + "/data.bin"), 0u);
        EXPECT_EQ(server.countRequests("/" + folder + "/readme.txt"), 0u);
    }
    void expectRefusedAtCheck(const std::string& folder) {
        install(true, folder);
        const WizardState state = check();
        EXPECT_EQ(state.status, kSignatureInvalid) << state;
        EXPECT_EQ(state.nextCaption, kNextCaption) << "ends like a failed check";
        EXPECT_TRUE(state.nextEnabled);
        expectNothingInstalled(folder);
    }

    Workspace space;
    TestHttpServer server;
    Wizard wizard;
    std::unique_ptr<ProductDir> product;
    std::unique_ptr<UpdaterProcess> updater;
};

TEST_F(SignedUpdateTest, KeyedBuildUpdatesFromASignedManifest) {
    space.publish("signed", kTestKey);
    install(true, "signed");
    const WizardState state = update();
    EXPECT_EQ(state.lines, (std::vector<std::string>{"data.bin 更新完成", "readme.txt 更新完成", "kelmor 1.3"}))
        << state;
    EXPECT_EQ(product->readFile("data.bin"), patternBytes(5000, 1));
    EXPECT_EQ(product->readFile("readme.txt"), "new readme\r\n");
}

TEST_F(SignedUpdateTest, KeyedBuildRefusesUnsignedAlteredAndForeignManifests) {
    space.publish("plain", "");
    expectRefusedAtCheck("plain");

    space.publish("foreign", space.otherKey());
    expectRefusedAtCheck("foreign");

    space.publish("altered", kTestKey);
    const fs::path manifest = space.web() / "altered" / "update.ini";
    std::string text = readFileBytes(manifest);
    text.replace(text.find("VERSION=1.3"), 11, "VERSION=1.4");
    writeFileBytes(manifest, text);
    expectRefusedAtCheck("altered");
}

TEST_F(SignedUpdateTest, KeyedBuildRefusesAFileThatDiffersFromItsHash) {
    space.publish("swapped", kTestKey);
    std::string evil = patternBytes(5000, 1);
    evil[4000] ^= 0x20;  // same size, other bytes
    writeFileBytes(space.web() / "swapped" / "data.bin", evil);
    // Without its compressed copy and its object the file itself is fetched.
    fs::remove_all(space.web() / "swapped" / "_objects");
    install(true, "swapped");

    const WizardState state = update();
    EXPECT_EQ(state.lines, (std::vector<std::string>{"data.bin 更新失败", "readme.txt 更新完成", "kelmor 1.3"}))
        << state;
    EXPECT_EQ(product->readFile("data.bin"), "old data");
    EXPECT_FALSE(product->exists("data.bin.upg"));
    EXPECT_EQ(product->readFile("readme.txt"), "new readme\r\n") << "the file that matches is still updated";
}

TEST_F(SignedUpdateTest, OrdinaryBuildUpdatesFromTheSignedFolderExactlyAsFromAnUnsignedOne) {
    space.publish("signed", kTestKey);
    space.publish("plain", "");

    // The wizard at the end, and what reached the server, with the folder named alike.
    auto run = [&](const std::string& folder) {
        const std::size_t before = server.requests().size();
        install(false, folder);
        const WizardState state = update();
        EXPECT_EQ(product->readFile("data.bin"), patternBytes(5000, 1));
        const std::vector<RecordedRequest> recorded = server.requests();
        std::vector<std::string> requests;
        for (std::size_t i = before; i < recorded.size(); ++i) {
            std::string line = recorded[i].requestLine;
            const std::size_t at = line.find("/" + folder + "/");
            if (at != std::string::npos) line.replace(at, folder.size() + 2, "/<folder>/");
            for (const auto& [name, value] : recorded[i].headers) line += "\n" + name + ": " + value;
            requests.push_back(line);
        }
        updater.reset();
        return std::make_pair(state, requests);
    };
    const auto [plainState, plainRequests] = run("plain");
    const auto [signedState, signedRequests] = run("signed");

    EXPECT_EQ(signedState.lines, plainState.lines);
    EXPECT_EQ(signedState.status, plainState.status);
    EXPECT_EQ(signedState.nextCaption, plainState.nextCaption);
    EXPECT_EQ(plainRequests.size(), 3u);
    EXPECT_EQ(signedRequests, plainRequests) << "the same requests, byte for byte";
}

}  // namespace
}  // namespace testsupport
