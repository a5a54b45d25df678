// The Win32 services behind the engine's interfaces, checked under Wine by
// win32_services_check.exe (date parser, file times, sharing, code page, processes).
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <string>

#include "tests/support/wine_runner.h"

namespace {

// Under the run's code page (936) and those of English, Traditional Chinese
// and Japanese Windows.
TEST(Win32ServicesTest, HoldUnderTheRealSystem) {
    const std::filesystem::path workDir = std::filesystem::temp_directory_path();
    for (const std::string locale : {"", "en_US.UTF-8", "zh_TW.UTF-8", "ja_JP.UTF-8"}) {
        const testsupport::ScopedLocale codePage(locale);
        const testsupport::ChildResult run = testsupport::runWine(
            testsupport::windowsTestBinDir() + "/win32_services_check.exe", {}, workDir.string(), std::chrono::seconds(60));
        EXPECT_FALSE(run.timedOut) << locale;
        EXPECT_EQ(run.exitCode, 0) << locale << "\n" << run.output;
        EXPECT_NE(run.output.find("PASS"), std::string::npos) << locale << "\n" << run.output;
    }
}

}  // namespace
