#include "engine/report/messages.h"

#include <gtest/gtest.h>

#include "tests/support/translations.h"
#include "tests/support/wizard_texts.h"

using testsupport::kNewerFoundPrefix;

namespace updater {
namespace {

TEST(FillPercentS, FillsPlaceholdersInOrder) {
    EXPECT_EQ(fillPercentS(kNewerFoundPrefix + "%s %s", {"kelmor", "1.3"}), kNewerFoundPrefix + "kelmor 1.3");
    EXPECT_EQ(fillPercentS("%s  不存在!", {"a.dll"}), "a.dll  不存在!");
}

TEST(FillPercentS, DoublePercentAndStrayPercentSigns) {
    EXPECT_EQ(fillPercentS("100%% %s", {"done"}), "100% done");
    EXPECT_EQ(fillPercentS("50%", {}), "50%");
    EXPECT_EQ(fillPercentS("%d %s", {"x"}), "%d x");
}

TEST(FillPercentS, ArgumentsAreNotRescanned) {
    EXPECT_EQ(fillPercentS("%s|%s", {"%s", "b"}), "%s|b");
}

TEST(FillPercentS, MissingArgumentLeavesEmptyAndExtraArgumentsAreIgnored) {
    EXPECT_EQ(fillPercentS("[%s][%s]", {"a"}), "[a][]");
    EXPECT_EQ(fillPercentS("[%s]", {"a", "b"}), "[a]");
}

TEST(FillPercent1, ReplacesEveryOccurrenceWithoutRescanning) {
    EXPECT_EQ(fillPercent1("在对 %1 进行访问时发生了一个不明错误。", "C:\\p\\a.upg"),
              "在对 C:\\p\\a.upg 进行访问时发生了一个不明错误。");
    EXPECT_EQ(fillPercent1("%1/%1", "%1x"), "%1x/%1x");
    EXPECT_EQ(fillPercent1("no marker %", "x"), "no marker %");
}

// A brand's tables are written from the translations, the program's from
// res/Update.rc: their zh-CN must be the program's texts.
TEST(Translations, SimplifiedChineseIsTheProgramsOwnText) {
    for (const auto& [id, text] : testsupport::kStringTable)
        EXPECT_EQ(testsupport::translated("zh-CN", std::to_string(id)), text) << id;
    EXPECT_EQ(testsupport::translated("zh-CN", "Title"), testsupport::kWizardCaption);
    EXPECT_EQ(testsupport::translated("zh-CN", "Next"), testsupport::kNextCaption);
}

}  // namespace
}  // namespace updater
