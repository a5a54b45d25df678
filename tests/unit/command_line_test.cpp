// The command line: the first argument as /name or -name in any letter case;
// everything else opens the wizard with the arguments ignored.
#include "engine/command_line.h"

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

TEST(CommandLine, OnlyRecoverIsListedEveryOtherLineOpensTheWizard) {
    const std::vector<std::vector<std::wstring>> lines = {{},         {L"/check"},           {L"/CHECK"},
                                                          {L"-x"},    {L"/quiet", L"1.3"},   {L"garbage", L"/recover"},
                                                          {L"更多 参数"}, {L"/recovery"}};
    for (const auto& line : lines) {
        const updater::CommandLine command = parseCommandLine(line);
        EXPECT_EQ(command.action, CommandSwitch::None);
        EXPECT_EQ(command.argument, L"");
    }
    for (const wchar_t* line : {L"/recover", L"-RECOVER", L"/Recover"})
        EXPECT_EQ(parseCommandLine({line, L"ignored"}).action, CommandSwitch::Recover) << line;
}

// With a listed switch that takes a text, as later switches will.
TEST(CommandLine, AListedSwitchTakesTheSecondArgumentAsItsText) {
    const std::vector<updater::SwitchSpec> switches = {{L"elevated-run", CommandSwitch::None, true}};
    EXPECT_EQ(parseCommandLine({L"-Elevated-Run", L"1.3", L"more"}, switches).argument, L"1.3");
    EXPECT_EQ(parseCommandLine({L"/elevated-run"}, switches).argument, L"");
    EXPECT_EQ(parseCommandLine({L"/elevated", L"1.3"}, switches).argument, L"");
    EXPECT_EQ(parseCommandLine({L"x", L"/elevated-run", L"1.3"}, switches).argument, L"") << "only the first argument";
}

}  // namespace
