// The update against a real web server: nginx serving a folder published by
// mkmanifest, as a vendor would run it, and Update.exe under Wine pressed
// through Next, Update and Finish.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/time.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <random>
#include <ctime>
#include <filesystem>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "engine/text/byte_limits.h"
#include "engine/text/code_page.h"
#include "engine/text/ini_file.h"
#include "tests/support/child_process.h"
#include "tests/support/file_bytes.h"
#include "tests/support/named_param.h"
#include "tests/support/nginx_server.h"
#include "tests/support/product_dir.h"
#include "tests/support/sha256_hex.h"
#include "tests/support/squid_proxy.h"
#include "tests/support/tls_certificates.h"
#include "tests/support/updater_process.h"
#include "tests/support/wine_runner.h"
#include "tests/support/wizard_driver.h"
#include "tests/support/wizard_texts.h"

namespace testsupport {
namespace {

namespace fs = std::filesystem;

constexpr std::time_t kHour = 3600, kDay = 24 * kHour;
// A run fetches a few small files; the limit only guards against a hang.
constexpr milliseconds kRunLimit{30000};

// Name relative to the product directory -> content.
using Files = std::map<std::string, std::string>;

// The manifest's timestamps are local times, read by the updater in Wine's
// time zone: both take TZ from the environment the tests run in.
std::string localTimestamp(std::time_t time) {
    std::tm local{};
    localtime_r(&time, &local);
    char text[32];
    std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", &local);
    return text;
}

// A site directory readable by nginx's worker: release/ is what the vendor
// builds, www/kelmor/ the published update folder.
struct SiteDir : ScratchDir {
    SiteDir() : ScratchDir("updater-site") {
        chmod(path().c_str(), 0755);
        fs::create_directories(path() + "/www");
    }
};

class NginxUpdateTest : public ::testing::Test {
protected:
    explicit NginxUpdateTest(std::optional<TlsFiles> tls = std::nullopt) : server(site.path() + "/www", tls) {}

    // The release's files go into release/, then mkmanifest publishes them.
    void publish(const Files& files, const std::string& version, std::time_t time) {
        const std::string release = site.path() + "/release";
        for (const auto& [name, bytes] : files) writeFileBytes(release + "/" + name, bytes);
        const ChildResult result = runChild({MKMANIFEST_PATH, "--per-file", "--time", localTimestamp(time), release,
                                             "kelmor", version, site.path() + "/www/kelmor"});
        ASSERT_EQ(result.exitCode, 0) << result.output;
    }

    // An installed kelmor 1.26 whose files were all written at the given time.
    void install(const Files& files, std::time_t time) {
        product.writeConfig({"kelmor", "1.26", server.url("/kelmor/")});
        for (const auto& [name, bytes] : files) product.writeFile(name, bytes, time);
    }

    // Next, Update, Finish, as the user clicks them; the state once finished.
    WizardState updateTo(const std::string& newVersion) {
        UpdaterProcess updater(product);
        Wizard wizard;
        WizardState state = wizard.waitOpen();
        EXPECT_TRUE(state.visible) << state << "\n" << updater.output();
        EXPECT_TRUE(wizard.pressNext()) << state;
        state = wizard.waitForNextCaption(kUpdateCaption);
        EXPECT_EQ(state.status, kNewerFoundPrefix + "kelmor " + newVersion) << state;
        EXPECT_TRUE(wizard.pressNext()) << state;
        state = wizard.waitUntil(
            [](const WizardState& s) { return s.nextCaption == kFinishCaption && s.nextEnabled && s.responsive; },
            kRunLimit);
        EXPECT_TRUE(wizard.pressNext()) << state;
        EXPECT_TRUE(updater.waitExit()) << wizard.state();
        return state;
    }

    // Requests in the access log from line `from` on, without the byte counts;
    // an object as "{<file> <key>}", the key of the published manifest that
    // names it (OBJECT, ZFILE, PATCH0_FILE, ...).
    std::vector<std::string> requests(std::size_t from = 0) const {
        std::vector<std::string> lines = server.accessLog();
        std::vector<std::string> result;
        for (std::size_t i = from; i < lines.size(); ++i)
            result.push_back(namingObjects(lines[i].substr(0, lines[i].rfind(' '))));
        return result;
    }

    std::string namingObjects(std::string line) const {
        const std::size_t at = line.find("_objects/");
        if (at == std::string::npos) return line;
        const std::string name = line.substr(at, line.find(' ', at) - at);
        const updater::IniFile manifest = updater::IniFile::parse(
            readFileBytes(site.path() + "/www/kelmor/update.ini"), updater::cp936());
        for (int n = 0;; ++n) {
            const std::string section = "FILE" + std::to_string(n);
            const std::string file = manifest.get(section, "FILE", "", updater::kFileValueBufferBytes);
            if (file.empty()) break;
            for (const char* key : {"OBJECT", "ZFILE", "PATCH0_FILE", "PATCH1_FILE", "PATCH2_FILE"})
                if (manifest.get(section, key, "", updater::kFileValueBufferBytes) == name)
                    return line.replace(at, name.size(), "{" + file + " " + key + "}");
        }
        return line;
    }

    void expectInstalled(const Files& files) {
        for (const auto& [name, bytes] : files) {
            EXPECT_EQ(product.readFile(name), bytes) << name;
            EXPECT_FALSE(product.exists(name + ".upg")) << name;
        }
    }

    SiteDir site;
    NginxServer server;
    ProductDir product;
    const std::time_t now = std::time(nullptr);
};

// Bodies larger than one 2048-byte read, so every file crosses chunks.
std::string bytesOf(const std::string& seed, std::size_t size) {
    std::string bytes;
    while (bytes.size() < size) bytes += seed + std::to_string(bytes.size()) + "\r\n";
    bytes.resize(size);
    return bytes;
}

const Files kOld = {{"kelmor.exe", bytesOf("kelmor 1.26 ", 6000)},
                    {"readme.txt", "Kelmor 1.26\r\n"},
                    {"data/levels.dat", bytesOf("levels 1.26 ", 3000)},
                    {"plugins/extra.dll", bytesOf("extra 1.26 ", 2500)}};
const Files k13 = {{"kelmor.exe", bytesOf("kelmor 1.3 ", 7000)},
                   {"readme.txt", "Kelmor 1.3: what is new\r\n"},
                   {"data/levels.dat", bytesOf("levels 1.3 ", 9000)},
                   {"plugins/extra.dll", bytesOf("extra 1.3 ", 2048)}};

// A whole release's download cut at 40 % waits in .update\part\; /update
// asks nginx for the rest alone, which answers 206, and proves the whole.
TEST_F(NginxUpdateTest, CutDownloadOfAWholeReleaseResumesWithARangeRequest) {
    std::string bytes(300000, '\0');
    std::mt19937 random(43);
    for (char& byte : bytes) byte = static_cast<char>(random());  // no compressed copy pays
    const std::string release = site.path() + "/release";
    writeFileBytes(release + "/kelmor.exe", bytes);
    const ChildResult published = runChild({MKMANIFEST_PATH, "--time", localTimestamp(now - kDay), release, "kelmor",
                                            "1.3", site.path() + "/www/kelmor"});
    ASSERT_EQ(published.exitCode, 0) << published.output;
    install({{"kelmor.exe", "kelmor 1.26"}}, now - 3 * kDay);
    product.writeFile(".update/part/" + sha256Hex(bytes), bytes.substr(0, 120000));

    WineProcess update(product.exeWindowsPath(), {"/update"}, product.path());
    EXPECT_EQ(update.wait(std::chrono::seconds(60)), 0) << update.output();
    EXPECT_EQ(product.readFile("kelmor.exe"), bytes);
    EXPECT_FALSE(product.exists(".update")) << "left empty, it goes";
    const std::vector<std::string> log = server.accessLog();
    // The content is fetched as its object, the first source that offers it.
    const std::string rest = "GET /kelmor/_objects/" + sha256Hex(bytes) + " HTTP/1.0 206 180000";
    EXPECT_NE(std::find(log.begin(), log.end(), rest), log.end()) << ::testing::PrintToString(log);
}

TEST_F(NginxUpdateTest, TypicalUpdateReplacesEveryFileOfTheNewRelease) {
    publish(k13, "1.3", now - kDay);
    install(kOld, now - 3 * kDay);

    const WizardState finished = updateTo("1.3");

    EXPECT_EQ(finished.status, kFinished) << finished;
    // Manifest order: mkmanifest lists the names sorted by their bytes.
    EXPECT_EQ(finished.lines, (std::vector<std::string>{"data/levels.dat 更新完成", "kelmor.exe 更新完成",
                                                        "plugins/extra.dll 更新完成", "readme.txt 更新完成",
                                                        "kelmor 1.3"}));
    EXPECT_EQ(finished.progress, 100);
    expectInstalled(k13);
    // The files that compress travel as their compressed copies, the others
    // as their objects.
    EXPECT_EQ(requests(), (std::vector<std::string>{"GET /kelmor/update.ini HTTP/1.0 200",
                                                    "GET /kelmor/{data/levels.dat ZFILE} HTTP/1.0 200",
                                                    "GET /kelmor/{kelmor.exe ZFILE} HTTP/1.0 200",
                                                    "GET /kelmor/{plugins/extra.dll ZFILE} HTTP/1.0 200",
                                                    "GET /kelmor/{readme.txt OBJECT} HTTP/1.0 200"}));
}

// The vendor publishes 1.3, the user updates, the vendor publishes 1.4 with
// one changed file, the user updates again: only that file travels.
TEST_F(NginxUpdateTest, RoundTripDownloadsOnlyTheChangedFileTheSecondTime) {
    publish(k13, "1.3", now - kDay);
    install(kOld, now - 3 * kDay);
    EXPECT_EQ(updateTo("1.3").lines.size(), 5u);
    expectInstalled(k13);
    std::map<std::string, std::time_t> updatedAt;
    for (const auto& [name, bytes] : k13) updatedAt[name] = product.mtime(name);

    // Later than the first update's downloads, which carry the time they were made.
    Files k14 = k13;
    k14["readme.txt"] = "Kelmor 1.4: fixes\r\n";
    publish(k14, "1.4", now + kHour);
    const std::size_t before = server.accessLog().size();

    const WizardState finished = updateTo("1.4");

    EXPECT_EQ(finished.status, kFinished) << finished;
    EXPECT_EQ(finished.lines, (std::vector<std::string>{"readme.txt 更新完成", "kelmor 1.4"}));
    EXPECT_EQ(requests(before),
              (std::vector<std::string>{"GET /kelmor/update.ini HTTP/1.0 200",
                                        "GET /kelmor/{readme.txt OBJECT} HTTP/1.0 200"}));
    expectInstalled(k14);
    for (const auto& [name, time] : updatedAt)
        if (name != "readme.txt") EXPECT_EQ(product.mtime(name), time) << name << " was written again";
}

// An installer stamps files with the install time, after every publication:
// the timestamps say "current", the contents say which file is the vendor's
// of an earlier release. Only those travel; the one already current does not.
TEST_F(NginxUpdateTest, ClientInstalledFromTheFirstOfThreeReleasesGetsWhatChanged) {
    Files release = {{"a.dll", "a, never changed"}, {"b.dll", "b 1.1"}, {"c.dll", "c 1.1"}};
    const Files installed = release;
    publish(release, "1.1", now - 3 * kDay);
    release["b.dll"] = "b 1.2";
    publish(release, "1.2", now - 2 * kDay);
    release["c.dll"] = "c 1.3";
    publish(release, "1.3", now - kDay);
    install(installed, now);
    const std::size_t before = server.accessLog().size();

    const WizardState finished = updateTo("1.3");

    EXPECT_EQ(finished.lines, (std::vector<std::string>{"b.dll 更新完成", "c.dll 更新完成", "kelmor 1.3"}));
    expectInstalled(release);
    EXPECT_EQ(requests(before), (std::vector<std::string>{"GET /kelmor/update.ini HTTP/1.0 200",
                                                          "GET /kelmor/{b.dll OBJECT} HTTP/1.0 200",
                                                          "GET /kelmor/{c.dll OBJECT} HTTP/1.0 200"}));
}

// Five releases published into one folder: clients one and two releases
// behind fetch only the patch from what they hold; a client four behind
// holds no base of the last three and takes the compressed copy.
TEST_F(NginxUpdateTest, ClientsBehindFetchAPatchOrTheCompressedCopy) {
    std::vector<Files> releases;
    for (int n = 1; n <= 5; ++n) {
        Files release = {{"kelmor.exe", bytesOf("kelmor 1." + std::to_string(n) + " ", 20000)},
                         {"readme.txt", "Kelmor, never changed\r\n"}};
        publish(release, "1." + std::to_string(n), now - (6 - n) * kDay);
        releases.push_back(std::move(release));
    }
    const Files& newest = releases.back();
    const std::vector<std::pair<int, std::string>> clients = {{1, "GET /kelmor/{kelmor.exe PATCH0_FILE} HTTP/1.0 200"},
                                                              {2, "GET /kelmor/{kelmor.exe PATCH1_FILE} HTTP/1.0 200"},
                                                              {4, "GET /kelmor/{kelmor.exe ZFILE} HTTP/1.0 200"}};
    for (const auto& [behind, fetched] : clients) {
        install(releases[4 - behind], now);
        const std::size_t before = server.accessLog().size();
        const WizardState finished = updateTo("1.5");
        EXPECT_EQ(finished.lines, (std::vector<std::string>{"kelmor.exe 更新完成", "kelmor 1.5"})) << behind;
        expectInstalled(newest);
        EXPECT_FALSE(product.exists("kelmor.exe.patch")) << behind;
        EXPECT_EQ(requests(before), (std::vector<std::string>{"GET /kelmor/update.ini HTTP/1.0 200", fetched}))
            << behind << " releases behind";
    }
}

// The publisher on UTC, the client eight hours east: the manifest's times,
// which carry no zone, read as earlier than the client's older files.
TEST_F(NginxUpdateTest, ClientEastOfThePublisherGetsTheRelease) {
    const std::string zone = std::getenv("TZ") ? std::getenv("TZ") : "";
    const auto setZone = [](const std::string& tz) {
        if (tz.empty()) unsetenv("TZ"); else setenv("TZ", tz.c_str(), 1);
        tzset();
    };
    setZone("UTC");
    Files release = {{"atlas.dat", "atlas 1.4"}};
    publish(release, "1.4", now - 2 * kHour);
    const Files installed = release;
    release["atlas.dat"] = "atlas 1.5";
    publish(release, "1.5", now - kHour);
    install(installed, now - 90 * 60);  // before the publication, but after it in Shanghai's clock
    setZone("Asia/Shanghai");

    const WizardState finished = updateTo("1.5");
    setZone(zone);

    EXPECT_EQ(finished.lines, (std::vector<std::string>{"atlas.dat 更新完成", "kelmor 1.5"}));
    expectInstalled(release);
}

// "%" and "#" travel encoded, so nginx neither decodes a name into "../"
// nor cuts it at "#": each file comes from exactly its own path (a manifest
// without objects, as older publications wrote it).
TEST_F(NginxUpdateTest, NamesWithPercentAndHashFetchTheirOwnFile) {
    const Files release = {{"%2e%2e%2fsecret.txt", "a literal name\r\n"},
                           {"100%.txt", "a hundred\r\n"},
                           {"a", "plain a\r\n"},
                           {"a#b.txt", "a hash b\r\n"}};
    writeFileBytes(site.path() + "/www/secret.txt", "outside the update folder");
    publish(release, "1.3", now - kDay);
    const std::string manifestPath = site.path() + "/www/kelmor/update.ini";
    std::string manifest = readFileBytes(manifestPath);
    for (std::size_t at; (at = manifest.find("OBJECT=")) != std::string::npos;)
        manifest.erase(at, manifest.find("\r\n", at) + 2 - at);
    writeFileBytes(manifestPath, manifest);
    Files old = release;
    for (auto& [name, bytes] : old) bytes = "old " + name;
    install(old, now - 3 * kDay);

    const WizardState finished = updateTo("1.3");

    EXPECT_EQ(finished.lines, (std::vector<std::string>{"%2e%2e%2fsecret.txt 更新完成", "100%.txt 更新完成",
                                                        "a 更新完成", "a#b.txt 更新完成", "kelmor 1.3"}));
    expectInstalled(release);
    EXPECT_EQ(requests(), (std::vector<std::string>{
                              "GET /kelmor/update.ini HTTP/1.0 200", "GET /kelmor/%252e%252e%252fsecret.txt HTTP/1.0 200",
                              "GET /kelmor/100%25.txt HTTP/1.0 200", "GET /kelmor/a HTTP/1.0 200",
                              "GET /kelmor/a%23b.txt HTTP/1.0 200"}));
}

// The Wine prefix's WinInet goes through a proxy at this port while the
// object lives; the values go again at its end, so no other test sees them.
struct ProxySetting {
    static constexpr const char* kKey = "HKCU\\Software\\Microsoft\\Windows\\CurrentVersion\\Internet Settings";
    static void reg(std::vector<std::string> args) {
        args.insert(args.begin() + 1, kKey);
        EXPECT_EQ(runWine("reg", args, "/tmp", std::chrono::seconds(30)).exitCode, 0) << args[0];
    }
    explicit ProxySetting(int port) {
        reg({"add", "/v", "ProxyServer", "/t", "REG_SZ", "/d", "127.0.0.1:" + std::to_string(port), "/f"});
        reg({"add", "/v", "ProxyEnable", "/t", "REG_DWORD", "/d", "1", "/f"});
    }
    ~ProxySetting() {
        reg({"delete", "/v", "ProxyEnable", "/f"});
        reg({"delete", "/v", "ProxyServer", "/f"});
    }
};

// A customer's caching proxy (squid, Debian's rules) between the clients and
// nginx. The manifest of 1.3 has been live for a day, so by those rules squid
// may answer it from its cache for hours; 1.4 is published, and a client
// updating at once still sees 1.4, while the objects it shares with 1.3 come
// from squid's cache.
TEST_F(NginxUpdateTest, BehindACachingProxyTheManifestIsFreshAndUnchangedObjectsComeFromTheCache) {
    SquidProxy proxy;
    ProxySetting viaProxy(proxy.port());
    publish(k13, "1.3", now - 2 * kDay);
    const struct timeval dayOld[2] = {{now - kDay, 0}, {now - kDay, 0}};
    ASSERT_EQ(utimes((site.path() + "/www/kelmor/update.ini").c_str(), dayOld), 0);
    install(kOld, now - 3 * kDay);
    EXPECT_EQ(updateTo("1.3").lines.size(), 5u);
    expectInstalled(k13);

    Files k14 = k13;
    k14["readme.txt"] = "Kelmor 1.4: fixes\r\n";
    publish(k14, "1.4", now - kHour);
    const std::size_t before = proxy.accessLog().size();
    install(kOld, now - 3 * kDay);  // a second client, still on 1.26

    const WizardState finished = updateTo("1.4");

    EXPECT_EQ(finished.lines, (std::vector<std::string>{"data/levels.dat 更新完成", "kelmor.exe 更新完成",
                                                        "plugins/extra.dll 更新完成", "readme.txt 更新完成",
                                                        "kelmor 1.4"}));
    expectInstalled(k14);
    // squid's result for each request of the second run, by what it asked for.
    std::map<std::string, std::string> results;
    const std::vector<std::string> log = proxy.accessLog();
    for (std::size_t i = before; i < log.size(); ++i) {
        std::istringstream words(namingObjects(log[i]));
        std::string time, elapsed, client, result, bytes, method, url;
        words >> time >> elapsed >> client >> result >> bytes >> method;
        std::getline(words >> std::ws, url);  // an object's "{file key}" holds a blank
        results[url.substr(url.find("/kelmor/"), url.find(" - ") - url.find("/kelmor/"))] = result;
    }
    const std::set<std::string> hits = {"TCP_HIT/200", "TCP_MEM_HIT/200"};
    for (const char* unchanged : {"/kelmor/{data/levels.dat ZFILE}", "/kelmor/{kelmor.exe ZFILE}",
                                  "/kelmor/{plugins/extra.dll ZFILE}"})
        EXPECT_EQ(hits.count(results[unchanged]), 1u) << unchanged << ": " << results[unchanged];
    EXPECT_EQ(hits.count(results["/kelmor/update.ini"]), 0u) << results["/kelmor/update.ini"];
    EXPECT_EQ(results.size(), 5u) << ::testing::PrintToString(log);
}

// https for a brand that allows it (the test brand, AllowHttps=1), against
// nginx with a certificate from a CA trusted in the Wine prefix only. A
// certificate that fails the system's check ends the check as an unreachable
// server does, and a run's request as a failed one.
class HttpsUpdateTest : public NginxUpdateTest, public ::testing::WithParamInterface<Named<ServerCertificate>> {
protected:
    HttpsUpdateTest() : NginxUpdateTest(TlsCertificates::shared().files(GetParam().value)) {
        fs::copy_file(windowsTestBinDir() + "/UpdateBranded.exe", product.pathOf("Update.exe"),
                      fs::copy_options::overwrite_existing);
    }
};

TEST_P(HttpsUpdateTest, OnlyACertificateThatPassesTheSystemsCheckServesTheUpdate) {
    const Files release = {{"readme.txt", "Kelmor 1.3 over https\r\n"}};
    const Files old = {{"readme.txt", "Kelmor 1.26\r\n"}};
    publish(release, "1.3", now - kDay);
    install(old, now - 3 * kDay);
    if (GetParam().value == ServerCertificate::Good) {
        // /check takes the brand's options as the wizard does.
        WineProcess check(product.exeWindowsPath(), {"/check"}, fs::path(product.path()).parent_path().string());
        EXPECT_EQ(check.wait(std::chrono::seconds(60)), 1) << check.output();
        EXPECT_EQ(updateTo("1.3").lines, (std::vector<std::string>{"readme.txt 更新完成", "kelmor 1.3"}));
        expectInstalled(release);
        return;
    }
    const TlsFiles failing = TlsCertificates::shared().files(GetParam().value);
    UpdaterProcess updater(product);
    Wizard wizard;
    ASSERT_TRUE(wizard.waitOpen().visible) << updater.output();
    ASSERT_TRUE(wizard.pressNext());
    EXPECT_EQ(wizard.waitForCheckEnd().status, kConnectFailed);

    // Checked with a good certificate, run with the failing one.
    server.useCertificate(TlsCertificates::shared().files(ServerCertificate::Good));
    ASSERT_TRUE(wizard.pressNext());
    wizard.waitForNextCaption(kUpdateCaption);
    server.useCertificate(failing);
    ASSERT_TRUE(wizard.pressNext());
    const WizardState state = wizard.waitForNextCaption(kFinishCaption, kRunLimit);
    // WinInet's text for the certificate's error (Wine's has none for
    // ERROR_INTERNET_INVALID_CA), then the file's failure.
    ASSERT_EQ(state.lines.size(), 3u) << state;
    EXPECT_EQ(state.lines[1], "readme.txt 更新失败") << state;
    expectInstalled(old);
}

INSTANTIATE_TEST_SUITE_P(Certificates, HttpsUpdateTest,
                         ::testing::Values(Named<ServerCertificate>{"Good", ServerCertificate::Good},
                                           Named<ServerCertificate>{"WrongHost", ServerCertificate::WrongHost},
                                           Named<ServerCertificate>{"Expired", ServerCertificate::Expired},
                                           Named<ServerCertificate>{"Untrusted", ServerCertificate::Untrusted}),
                         byName);

}  // namespace
}  // namespace testsupport
