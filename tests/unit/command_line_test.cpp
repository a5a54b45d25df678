// The command line: the first argument as /name or -name in any letter case;
// everything else opens the wizard with the arguments ignored.
#include "engine/run/command_line.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using updater::CommandSwitch;
using updater::parseCommandLine;
using updater::switchName;

TEST(CommandLine, ASwitchIsNamedWithASlashOrADashInAnyLetterCase) {
    EXPECT_EQ(switchName(L"/CHECK"), L"check");
    EXPECT_EQ(switchName(L"-Check"), L"check");
    EXPECT_EQ(switchName(L"/elevated-run"), L"elevated-run");
    EXPECT_EQ(switchName(L"--help"), L"-help");  // never a listed name
    // Only ASCII letters fold: no locale turns another word into a switch.
    EXPECT_EQ(switchName(L"/\u0130NFO"), L"\u0130nfo");
    EXPECT_EQ(switchName(L"/更新"), L"更新");
    for (const wchar_t* notASwitch : {L"", L"/", L"-", L"check", L"\\check", L" /check"})
        EXPECT_EQ(switchName(notASwitch), L"") << "[" << std::wstring(notASwitch).size() << " chars]";
}

TEST(CommandLine, AnythingButAListedSwitchOpensTheWizard) {
    const std::vector<std::vector<std::wstring>> lines = {
        {}, {L"/checks"}, {L"/CHEC"}, {L"-x"}, {L"/quiet", L"1.3"}, {L"garbage", L"/check"}, {L"更多 参数"},
        {L"/elevated"}, {L"x", L"/elevated-run", L"1.3"}, {L"garbage", L"/recover"}, {L"/recovery"}};
    for (const auto& line : lines) {
        const updater::CommandLine command = parseCommandLine(line);
        EXPECT_EQ(command.action, CommandSwitch::None);
        EXPECT_EQ(command.argument, L"");
    }
    for (const wchar_t* line : {L"/recover", L"-RECOVER", L"/Recover"})
        EXPECT_EQ(parseCommandLine({line, L"ignored"}).action, CommandSwitch::Recover) << line;
}

TEST(CommandLine, AListedSwitchTakesTheSecondArgumentAsItsText) {
    const updater::CommandLine elevated = parseCommandLine({L"-Elevated-Run", L"1.3", L"more"});
    EXPECT_EQ(elevated.action, CommandSwitch::ElevatedRun);
    EXPECT_EQ(elevated.argument, L"1.3");
    EXPECT_EQ(parseCommandLine({L"/elevated-run", L""}).action, CommandSwitch::ElevatedRun) << "asked at start";
    // /check's FILE is optional: without it the switch still holds.
    const updater::CommandLine check = parseCommandLine({L"/Check", L"版本.txt"});
    EXPECT_EQ(check.action, CommandSwitch::Check);
    EXPECT_EQ(check.argument, L"版本.txt");
    EXPECT_EQ(parseCommandLine({L"-CHECK"}).action, CommandSwitch::Check);
    EXPECT_EQ(parseCommandLine({L"/check"}).argument, L"");
}

// A version from the server crosses as one argument, whatever it holds; the
// expected texts split back as CommandLineToArgvW splits them.
TEST(CommandLine, QuotingKeepsAnyTextOneArgument) {
    EXPECT_EQ(updater::quoteArgument(L"1.3"), L"\"1.3\"");
    EXPECT_EQ(updater::quoteArgument(L""), L"\"\"");
    EXPECT_EQ(updater::quoteArgument(L"1.3\" /x"), L"\"1.3\\\" /x\"");
    EXPECT_EQ(updater::quoteArgument(L"a\\\"b"), L"\"a\\\\\\\"b\"");
    EXPECT_EQ(updater::quoteArgument(L"a\\b\\"), L"\"a\\b\\\\\"");
}

}  // namespace
