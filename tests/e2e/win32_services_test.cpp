// The Win32 services behind the engine's interfaces, checked under Wine by
// win32_services_check.exe (date parser, file times, sharing, code page, processes).
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>

#include "tests/support/wine_runner.h"

namespace {

TEST(Win32ServicesTest, HoldUnderTheRealSystem) {
    const std::filesystem::path workDir = std::filesystem::temp_directory_path();
    const testsupport::ChildResult run = testsupport::runWine(
        testsupport::windowsTestBinDir() + "/win32_services_check.exe", {}, workDir.string(), std::chrono::seconds(60));
    EXPECT_FALSE(run.timedOut);
    EXPECT_EQ(run.exitCode, 0) << run.output;
    EXPECT_NE(run.output.find("PASS"), std::string::npos) << run.output;
}

}  // namespace
