// The timestamps mkmanifest publishes must read as the same moment through
// the updater's date parser whatever the user's locale: Chinese and US English.
#include <gtest/gtest.h>

#include <sstream>
#include <string>

#include "engine/text/ini_file.h"
#include "tests/support/child_process.h"
#include "tests/support/file_bytes.h"
#include "tests/support/wine_runner.h"

namespace testsupport {
namespace {

// Days since 1899-12-30 of a civil date, the OLE date's day count.
double oleDate(int year, int month, int day, int hour, int minute, int second) {
    const int y = year - (month <= 2);
    const int era = (y >= 0 ? y : y - 399) / 400;
    const int yoe = y - era * 400;
    const int doy = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
    const int doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    const long daysSince1970 = static_cast<long>(era) * 146097 + doe - 719468;
    return static_cast<double>(daysSince1970 + 25569) + (hour * 3600 + minute * 60 + second) / 86400.0;
}

class PublishedDatesTest : public ::testing::Test {
protected:
    void SetUp() override {
        writeFileBytes(root_.pathOf("release/readme.txt"), "kelmor\n");
        const ChildResult tool = runChild({MKMANIFEST_PATH, "--per-file", "--time", "2026-03-05 14:30:00",
                                           root_.pathOf("release"), "kelmor", "1.3", root_.pathOf("web")});
        ASSERT_EQ(tool.exitCode, 0) << tool.output;
        const std::string manifest = readFileBytes(root_.pathOf("web/update.ini"));
        published_ = updater::IniFile::parse(manifest, updater::cp936()).get("FILE0", "VERSION", "", 260);
        ASSERT_FALSE(published_.empty());
    }

    // "<lcid> <valid> <value>" as the program's parser reads the published text under locale.
    std::string parseUnder(const std::string& locale) {
        const std::string out = root_.pathOf("dates-" + locale + ".txt");
        ChildResult run;
        {
            const ScopedLocale under(locale);
            run = runWine(windowsTestBinDir() + "/win32_services_check.exe", {"dates", toWindowsPath(out), published_},
                          root_.path());
        }
        EXPECT_EQ(run.exitCode, 0) << run.output;
        return readFileBytes(out);
    }

    ScratchDir root_{"published-dates"};
    std::string published_;
};

TEST_F(PublishedDatesTest, ReadAsThePublicationTimeInChineseAndEnglishLocales) {
    const double expected = oleDate(2026, 3, 5, 14, 30, 0);
    for (const auto& [locale, lcid] : {std::pair<std::string, std::string>{"zh_CN.UTF-8", "0804"},
                                       std::pair<std::string, std::string>{"en_US.UTF-8", "0409"}}) {
        std::istringstream line(parseUnder(locale));
        std::string seenLcid;
        int valid = 0;
        double value = 0;
        line >> seenLcid >> valid >> value;
        EXPECT_EQ(seenLcid, lcid) << locale << ": the locale did not reach the program";
        EXPECT_EQ(valid, 1) << locale << " rejects \"" << published_ << "\"";
        EXPECT_NEAR(value, expected, 0.5 / 86400) << locale << " reads \"" << published_ << "\" as another time";
    }
}

}  // namespace
}  // namespace testsupport
