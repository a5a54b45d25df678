// What a hostile server or a broken manifest can do to the engine: bodies past
// their Content-Length, manifests of garbage, huge file lists and names at the
// buffer limits. No crash, and an outcome the user can read.
#include <gtest/gtest.h>

#include <random>

#include "engine/run/update_run.h"
#include "engine/run/version_check.h"
#include "tests/support/wizard_texts.h"
#include "tests/unit/fakes.h"

using testsupport::kFinished;

namespace updater {
namespace {

using fakes::answer;
using fakes::EngineRig;
using fakes::withLength;

const std::string kProg = "C:\\Prog\\";
const std::string kStamp = "2024-03-05 14:30:00";
constexpr double kStampDate = 45356.604166666664;

class UntrustedInputTest : public ::testing::Test {
protected:
    EngineRig rig;
    std::string newVersion;

    UntrustedInputTest() {
        rig.settings.installedVersion = "1.26";
        rig.view.list = {"kelmor 1.26"};
        rig.dates.dates[kStamp] = kStampDate;
    }
    void serve(const std::string& object, fakes::FakeResponse response) {
        rig.http.responses["/kelmor/" + object] = std::move(response);
    }
    CheckOutcome check(const std::string& manifest) {
        serve("update.ini", answer(manifest));
        return fakes::checkVersion(rig.context, newVersion);
    }
    void run(const std::string& manifest) { runUpdate(rig.context, manifest, "1.3"); }
};

// A server that keeps sending past its Content-Length would otherwise fill the
// disk: the download holds the announced bytes and the file is updated.
TEST_F(UntrustedInputTest, DownloadStopsAtTheContentLength) {
    serve("a.dll", withLength(answer("announced" + std::string(100000, 'x')), "9"));
    EXPECT_EQ(updateEntry(rig.context, "a.dll", kStamp), FileUpdateResult::Updated);
    EXPECT_EQ(rig.files.content(kProg + "a.dll"), "announced");
    EXPECT_EQ(rig.view.progress.back(), 100);
}

TEST_F(UntrustedInputTest, WithoutContentLengthTheWholeBodyIsTaken) {
    serve("a.dll", withLength(answer(std::string(5000, 'b')), ""));
    EXPECT_EQ(updateEntry(rig.context, "a.dll", kStamp), FileUpdateResult::Updated);
    EXPECT_EQ(rig.files.content(kProg + "a.dll"), std::string(5000, 'b'));
}

struct ManifestCase {
    const char* name;
    std::string bytes;
    CheckOutcome outcome;
    std::string newVersion;
};
void PrintTo(const ManifestCase& c, std::ostream* out) { *out << c.name; }

std::string binaryGarbage(std::size_t size) {
    std::mt19937 random(936);
    std::string bytes(size, '\0');
    for (char& b : bytes) b = static_cast<char>(random() & 0xFF);
    return bytes;
}

class BrokenManifestTest : public UntrustedInputTest, public ::testing::WithParamInterface<ManifestCase> {};

// The check reads what it can and the run walks what it finds, without a crash.
TEST_P(BrokenManifestTest, CheckAndRunEndNormally) {
    const ManifestCase& c = GetParam();
    EXPECT_EQ(check(c.bytes), c.outcome);
    EXPECT_EQ(newVersion, c.newVersion);
    rig.view.list = {"kelmor 1.26"};
    run(c.bytes);
    EXPECT_EQ(rig.view.status(), kFinished);
    EXPECT_EQ(rig.view.list.back(), "kelmor 1.3");
}

const std::string kMegabyte(1 << 20, 'm');

INSTANTIATE_TEST_SUITE_P(
    Untrusted, BrokenManifestTest,
    // A lead byte at the end of garbage swallows the line end after it, hence "\n\n".
    ::testing::Values(
        // No section line: not a manifest at all.
        ManifestCase{"BinaryGarbage", binaryGarbage(64 * 1024), CheckOutcome::Failed, ""},
        ManifestCase{"GarbageAroundTheSection", binaryGarbage(4096) + "\n\n[kelmor]\nVERSION=1.3\n" + binaryGarbage(4096),
                     CheckOutcome::NewerFound, "1.3"},
        ManifestCase{"NulInsideTheValue", std::string("[kelmor]\r\nVERSION=1.3\0" "9\r\n", 21),
                     CheckOutcome::NewerFound, "1.3"},
        ManifestCase{"NulInsideTheSectionName", std::string("[kel\0mor]\r\nVERSION=1.3\r\n", 24),
                     CheckOutcome::AlreadyNewest, "1.0"},
        ManifestCase{"MegabyteLineBefore", kMegabyte + "\r\n[kelmor]\r\nVERSION=1.3\r\n", CheckOutcome::NewerFound,
                     "1.3"},
        ManifestCase{"MegabyteVersionIsCutTo127Bytes", "[kelmor]\r\nVERSION=2." + kMegabyte + "\r\n",
                     CheckOutcome::NewerFound, "2." + std::string(125, 'm')},
        ManifestCase{"MegabyteSectionName", "[" + kMegabyte + "]\r\n[kelmor]\r\nVERSION=1.3", CheckOutcome::NewerFound,
                     "1.3"},
        ManifestCase{"NoFinalNewline", "[kelmor]\r\nVERSION=1.3", CheckOutcome::NewerFound, "1.3"},
        ManifestCase{"NoFinalNewlineInAFileSection", "[kelmor]\nVERSION=1.3\n[FILE0]\nFILE=missing.dll",
                     CheckOutcome::NewerFound, "1.3"}),
    [](const auto& info) { return std::string(info.param.name); });

// The walk over a long list costs no request when every file is current.
TEST_F(UntrustedInputTest, TenThousandCurrentFilesAreWalkedWithoutARequest) {
    std::string manifest;
    for (int i = 0; i < 10000; ++i) {
        const std::string name = "data\\f" + std::to_string(i) + ".bin";
        manifest += "[FILE" + std::to_string(i) + "]\r\nFILE=" + name + "\r\nVERSION=" + kStamp + "\r\n";
        rig.files.put(kProg + name, "current", kStampDate + 1);
    }
    manifest += "[FILE10001]\r\nFILE=after-the-gap.bin\r\n";
    run(manifest);
    EXPECT_TRUE(rig.http.opened.empty());
    EXPECT_EQ(rig.files.dated.size(), 10000u);
    EXPECT_EQ(rig.view.list, std::vector<std::string>{"kelmor 1.3"});
}

// FILE is read into 260 bytes: a name of 259 bytes is asked for whole, a
// longer one cut to 259, and never inside a double-byte character.
TEST_F(UntrustedInputTest, FileNamesAreCutAt259Bytes) {
    const std::string exact = std::string(250, 'a') + "/name.bin";  // 259 bytes
    const std::string tooLong = std::string(300, 'b');
    const std::string straddling = std::string(258, 'c') + "\xca\xfd" "x";  // 数 at bytes 258-259
    std::string manifest;
    int index = 0;
    for (const std::string& name : {exact, tooLong, straddling})
        manifest += "[FILE" + std::to_string(index++) + "]\r\nFILE=" + name + "\r\n";
    run(manifest);
    EXPECT_EQ(rig.http.opened, (std::vector<std::string>{"/kelmor/" + exact, "/kelmor/" + tooLong.substr(0, 259),
                                                         "/kelmor/" + straddling.substr(0, 258)}));
}

// Names in code page 936, one of them with a trail byte that is "\": the
// local path and the request are the name's bytes, joined as they are.
TEST_F(UntrustedInputTest, DoubleByteNamesAreJoinedAsTheyAre) {
    const std::string level = "\xca\xfd\xbe\xdd\\\xb9\xd8\xbf\xa8.dat";  // 数据\关卡.dat
    const std::string backslashTrail = "\x81\x5c.dat";                  // 乗.dat
    serve(level, answer("level"));
    serve(backslashTrail, answer("trail"));
    run("[FILE0]\r\nFILE=" + level + "\r\n[FILE1]\r\nFILE=" + backslashTrail + "\r\n");
    EXPECT_EQ(rig.files.content(kProg + level), "level");
    EXPECT_EQ(rig.files.content(kProg + backslashTrail), "trail");
    EXPECT_EQ(rig.view.list,
              (std::vector<std::string>{level + " 更新完成", backslashTrail + " 更新完成", "kelmor 1.3"}));
}

}  // namespace
}  // namespace updater
