// The probe itself, against a stand-in program that shows one message box:
// a probe that misreads texts or icons would let the start-up tests pass wrongly.
#include <gtest/gtest.h>

#include "tests/support/wine_runner.h"
#include "tests/support/wizard_driver.h"

namespace testsupport {
namespace {

struct IconCase {
    const char* argument;
    BoxIcon expected;
};

void PrintTo(const IconCase& c, std::ostream* out) { *out << c.argument; }

class ProbeBoxTest : public ::testing::TestWithParam<IconCase> {};

TEST_P(ProbeBoxTest, ReadsTextButtonsAndIconAndAnswers) {
    Wizard boxes("box_fixture.exe");
    WineProcess fixture(toWindowsPath(windowsTestBinDir() + "/box_fixture.exe"), {GetParam().argument, "第一行\n第二行"},
                        "/tmp");
    auto box = boxes.waitForBox();
    ASSERT_TRUE(box) << fixture.output();
    EXPECT_EQ(box->caption, "Fixture");
    EXPECT_EQ(box->text, "第一行\n第二行");
    EXPECT_EQ(box->icon, GetParam().expected) << *box;
    EXPECT_FALSE(box->owned);
    ASSERT_EQ(box->buttons.size(), 2u) << *box;
    EXPECT_EQ(box->buttons[0].id, kOkId);
    EXPECT_EQ(box->buttons[1].id, kCancelId);
    EXPECT_FALSE(boxes.state().found) << "a message box is not a wizard";

    ASSERT_TRUE(boxes.answerBox(kCancelId));
    EXPECT_EQ(fixture.wait(std::chrono::seconds(10)), kCancelId);
}

INSTANTIATE_TEST_SUITE_P(MessageBoxIcons, ProbeBoxTest,
                         ::testing::Values(IconCase{"stop", BoxIcon::Stop},
                                           IconCase{"exclamation", BoxIcon::Exclamation},
                                           IconCase{"information", BoxIcon::Information},
                                           IconCase{"question", BoxIcon::Information}),
                         [](const auto& info) { return std::string(info.param.argument); });

}  // namespace
}  // namespace testsupport
