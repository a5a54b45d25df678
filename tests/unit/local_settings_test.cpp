// Start-up: updataAdd.ini and the names taken from the executable's path.
#include <gtest/gtest.h>

#include <string>

#include "engine/text/code_page.h"
#include "engine/manifest/executable_names.h"
#include "engine/run/local_settings.h"
#include "engine/transfer/url_port.h"

namespace updater {
namespace {

UpdateSettings settingsFrom(const std::optional<std::string>& bytes) {
    UpdateSettings settings;
    readLocalSettings(bytes, settings, cp936());
    return settings;
}

TEST(LocalSettings, MissingFileSectionOrKeyGivesTheDefaults) {
    for (const std::optional<std::string>& bytes :
         {std::optional<std::string>(), std::optional<std::string>(""),
          std::optional<std::string>("[Other]\nstrSoft=x\nstrVersion=2\nURL=http://h/\n")}) {
        const UpdateSettings settings = settingsFrom(bytes);
        EXPECT_EQ(settings.productName, "kelmor");
        EXPECT_EQ(settings.installedVersion, "1.26");
        EXPECT_EQ(settings.url.rfind("http://", 0), 0u);
        EXPECT_EQ(settings.url.substr(settings.url.size() - 8), "/kelmor/");
    }
}

TEST(LocalSettings, ReadsTheThreeKeysIgnoringCase) {
    const UpdateSettings settings =
        settingsFrom("[server]\r\nSTRSOFT=\xBF\xA8\xC3\xC9\r\nstrversion=2.5\r\nurl=http://127.0.0.1:81/dir\r\n");
    EXPECT_EQ(settings.productName, "\xBF\xA8\xC3\xC9");
    EXPECT_EQ(settings.installedVersion, "2.5");
    EXPECT_EQ(settings.url, "http://127.0.0.1:81/dir");
}

TEST(LocalSettings, PresentButEmptyValuesStayEmpty) {
    const UpdateSettings settings = settingsFrom("[Server]\nstrSoft=\nstrVersion=\nURL=\n");
    EXPECT_EQ(settings.productName, "");
    EXPECT_EQ(settings.installedVersion, "");
    EXPECT_EQ(settings.url, "");
}

TEST(LocalSettings, EveryValueIsCutTo99Bytes) {
    const std::string longUrl = "http://example.com/" + std::string(200, 'a') + "/";
    const UpdateSettings settings = settingsFrom("[Server]\nstrSoft=" + std::string(150, 'p') +
                                                 "\nstrVersion=" + std::string(100, '9') + "\nURL=" + longUrl + "\n");
    EXPECT_EQ(settings.productName, std::string(99, 'p'));
    EXPECT_EQ(settings.installedVersion, std::string(99, '9'));
    EXPECT_EQ(settings.url, longUrl.substr(0, 99));
}

TEST(LocalSettings, FileSitsBesideTheExecutableBehindAForwardSlash) {
    EXPECT_EQ(localSettingsPath("C:\\Program Files\\Kelmor"), "C:\\Program Files\\Kelmor/updataAdd.ini");
}

// InternetCrackUrl keeps only a port's low 16 bits.
TEST(UpdateUrl, PortMustBeADecimalNumberUpTo65535) {
    for (const char* url : {"http://h/kelmor/", "http://h:8080/kelmor/", "http://h:65535/", "http://h:/kelmor/",
                            "http://u:p@h:80/", "http://[::1]:8080/", "http://[::1]/", "not a url"})
        EXPECT_TRUE(hasUsablePort(url)) << url;
    for (const char* url : {"http://h:65536/", "http://h:65616/kelmor/", "http://h:8x/", "http://h:-1/",
                            "http://h:99999999999999999999/", "http://u:p@h:1e3/", "http://[::1]:70000/"})
        EXPECT_FALSE(hasUsablePort(url)) << url;
}

TEST(ExecutableNames, ApplicationNameIsTheFileNameWithoutExtension) {
    const Cp936 cp;
    EXPECT_EQ(applicationName("C:\\Kelmor\\Update.exe", cp), "Update");
    EXPECT_EQ(applicationName("C:\\v1.2\\Update", cp), "Update");          // a dot in the directory is no extension
    EXPECT_EQ(applicationName("C:\\Kelmor\\Up.date.exe", cp), "Up.date");  // only the last dot starts it
    EXPECT_EQ(applicationName("Update.exe", cp), "Update");
}

TEST(ExecutableNames, TrailByteThatLooksLikeABackslashIsNoSeparator) {
    const Cp936 cp;
    // 0xD5 0x5C is one double-byte character whose second byte is "\".
    EXPECT_EQ(applicationName("C:\\dir\\\xD5\x5C.exe", cp), "\xD5\x5C");
    EXPECT_EQ(applicationName("C:\\\xD5\x5C.d\\Update.exe", cp), "Update");
}

TEST(ExecutableNames, HelpFileReplacesTheExtension) {
    const Cp936 cp;
    EXPECT_EQ(helpFilePath("C:\\Kelmor\\Update.exe", cp), "C:\\Kelmor\\Update.HLP");
    EXPECT_EQ(helpFilePath("C:\\v1.2\\Update", cp), "C:\\v1.2\\Update.HLP");
}

}  // namespace
}  // namespace updater
