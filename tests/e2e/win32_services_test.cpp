// The Win32 services behind the engine's interfaces, checked under Wine by
// win32_services_check.exe (date parser, file times, sharing, code page, processes,
// the log, the walk below a program directory).
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <string>

#include <unistd.h>

#include "tests/support/file_bytes.h"
#include "tests/support/wine_runner.h"

namespace {

// Under the run's code page (936) and those of English, Traditional Chinese
// and Japanese Windows.
TEST(Win32ServicesTest, HoldUnderTheRealSystem) {
    // The program directory of the walk's rows, with a link below it.
    const std::string workDir = std::filesystem::temp_directory_path() / ("services-walk-" + std::to_string(getpid()));
    testsupport::writeFileBytes(workDir + "/elsewhere/x.txt", "victim");
    std::filesystem::create_directory_symlink(workDir + "/elsewhere", workDir + "/linked");
    for (const std::string locale : {"", "en_US.UTF-8", "zh_TW.UTF-8", "ja_JP.UTF-8"}) {
        const testsupport::ScopedLocale codePage(locale);
        const testsupport::ChildResult run = testsupport::runWine(
            testsupport::windowsTestBinDir() + "/win32_services_check.exe", {}, workDir, std::chrono::seconds(60));
        EXPECT_FALSE(run.timedOut) << locale;
        EXPECT_EQ(run.exitCode, 0) << locale << "\n" << run.output;
        EXPECT_NE(run.output.find("PASS"), std::string::npos) << locale << "\n" << run.output;
    }
    std::filesystem::remove_all(workDir);
}

}  // namespace
