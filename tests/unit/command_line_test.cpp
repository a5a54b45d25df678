// The command line: the first argument as /name or -name in any letter case;
// everything else opens the wizard with the arguments ignored.
#include "engine/run/command_line.h"
#include "engine/run/program_start.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

using updater::StartMode;
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
        const updater::StartRequest command = parseCommandLine(line);
        EXPECT_EQ(command.mode, StartMode::Wizard);
        EXPECT_EQ(command.argument, L"");
    }
    for (const wchar_t* line : {L"/recover", L"-RECOVER", L"/Recover"})
        EXPECT_EQ(parseCommandLine({line, L"ignored"}).mode, StartMode::Recover) << line;
}

TEST(CommandLine, AListedSwitchTakesTheSecondArgumentAsItsText) {
    const updater::StartRequest elevated = parseCommandLine({L"-Elevated-Run", L"1.3", L"more"});
    EXPECT_EQ(elevated.mode, StartMode::ElevatedRun);
    EXPECT_EQ(elevated.argument, L"1.3");
    EXPECT_EQ(parseCommandLine({L"/elevated-run", L""}).mode, StartMode::ElevatedRun) << "asked at start";
    // /check's FILE is optional: without it the switch still holds.
    const updater::StartRequest check = parseCommandLine({L"/Check", L"版本.txt"});
    EXPECT_EQ(check.mode, StartMode::Check);
    EXPECT_EQ(check.argument, L"版本.txt");
    EXPECT_EQ(parseCommandLine({L"-CHECK"}).mode, StartMode::Check);
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

// Each mode gets the brand's options whole, the one built at start; a check
// that throws answers "no answer", never "newer".
struct RecordingModes : updater::StartModes {
    int wizard(const updater::BrandOptions& brand, const std::optional<std::wstring>& elevatedFor) override {
        return note(brand, L"wizard " + elevatedFor.value_or(L"-"), 10);
    }
    int recover(const updater::BrandOptions& brand) override { return note(brand, L"recover", 11); }
    int check(const updater::BrandOptions& brand, const std::wstring& answerFile) override {
        if (answerFile == L"throws") throw std::runtime_error("check");
        return note(brand, L"check " + answerFile, 12);
    }
    int update(const updater::BrandOptions& brand) override {
        if (brand.boxCaption == "throws") throw std::runtime_error("update");
        return note(brand, L"update", 4);
    }
    int note(const updater::BrandOptions& brand, std::wstring what, int code) {
        ran = &brand == received ? what : L"another brand";
        return code;
    }
    const updater::BrandOptions* received = nullptr;
    std::wstring ran;
};

TEST(CommandLine, TheUserInterfaceLanguageChoosesTheLanguageOfABrandWithAuto) {
    using updater::DisplayLanguage;
    const struct {
        std::uint16_t uiLanguage;
        DisplayLanguage shown;
    } rows[] = {{0x0804, DisplayLanguage::SimplifiedChinese}, {0x1004, DisplayLanguage::SimplifiedChinese},
                {0x0404, DisplayLanguage::TraditionalChinese}, {0x0C04, DisplayLanguage::TraditionalChinese},
                {0x1404, DisplayLanguage::TraditionalChinese}, {0x0411, DisplayLanguage::Japanese},
                {0x0409, DisplayLanguage::English},           {0x0407, DisplayLanguage::English},
                {0x7804, DisplayLanguage::English},           {0x0000, DisplayLanguage::English}};
    for (const auto& row : rows)
        EXPECT_EQ(updater::languageForUiLanguage(row.uiLanguage), row.shown) << std::hex << row.uiLanguage;
}

TEST(CommandLine, EachStartModeRunsWithTheBrandsOptions) {
    const struct {
        std::vector<std::wstring> line;
        std::wstring ran;
        int exitCode;
    } rows[] = {{{}, L"wizard -", 10}, {{L"/elevated-run", L"1.3"}, L"wizard 1.3", 10}, {{L"/recover"}, L"recover", 11},
                {{L"/check", L"a.txt"}, L"check a.txt", 12}, {{L"/check", L"throws"}, L"", updater::kExitCheckFailed},
                {{L"-UPDATE", L"ignored"}, L"update", 4}, {{L"/updates"}, L"wizard -", 10}};
    const updater::BrandOptions brand{.boxCaption = "Kelmor", .requireAdmin = true, .allowHttps = true};
    for (const auto& row : rows) {
        RecordingModes modes;
        modes.received = &brand;
        EXPECT_EQ(updater::startProgram(parseCommandLine(row.line), brand, modes), row.exitCode);
        EXPECT_EQ(modes.ran, row.ran);
    }
    EXPECT_EQ(parseCommandLine({updater::switchFor(StartMode::ElevatedRun), L"1.3"}).mode, StartMode::ElevatedRun);
    // An update that throws fails, never claims success.
    const updater::BrandOptions throwing{.boxCaption = "throws"};
    RecordingModes modes;
    EXPECT_EQ(updater::startProgram(parseCommandLine({L"/update"}), throwing, modes), updater::kExitUpdateFailed);
}

}  // namespace
