// The failure report: which text the one error box shows.
#include <gtest/gtest.h>

#include <new>
#include <stdexcept>
#include <string>

#include "engine/text/code_page.h"
#include "engine/platform/date_parser.h"
#include "engine/report/failure_report.h"
#include "engine/platform/file_system.h"
#include "engine/platform/http.h"

namespace updater {
namespace {

class FrameworkTexts : public Messages {
public:
    std::string load(MessageId id) const override {
        switch (id) {
        case MessageId::FileAccessError: return "access %1 failed";
        case MessageId::DiskFull: return "disk full at %1";
        case MessageId::InternalError: return "internal";
        default: return "?";
        }
    }
};

class FailureReportTest : public ::testing::Test {
protected:
    template <typename Error>
    FailureReport describe(const Error& error) {
        return describeFailure(std::make_exception_ptr(error), messages_, cp_, systemText_);
    }

    FrameworkTexts messages_;
    Cp936 cp_;
    unsigned long askedCode_ = 0;
    SystemErrorText systemText_ = [this](unsigned long code) {
        askedCode_ = code;
        return code == 0x80004005 ? std::string("unspecified") : std::string();
    };
};

TEST_F(FailureReportTest, NetworkFailureShowsItsOwnText) {
    EXPECT_EQ(describe(NetworkError(12002, "timed out")).text, "timed out");
    EXPECT_EQ(describe(NetworkError(12002, "")).text, "internal");
}

TEST_F(FailureReportTest, FileFailureNamesThePathByKind) {
    EXPECT_EQ(describe(FileError(FileError::Kind::Write, "C:\\a.upg", 5)).text, "access C:\\a.upg failed");
    EXPECT_EQ(describe(FileError(FileError::Kind::Create, "C:\\b", 5)).text, "access C:\\b failed");
    EXPECT_EQ(describe(FileError(FileError::Kind::Read, "C:\\c", 5)).text, "access C:\\c failed");
    // Whatever went wrong at close time is reported as a full disk.
    EXPECT_EQ(describe(FileError(FileError::Kind::Close, "C:\\a.upg", 5)).text, "disk full at C:\\a.upg");
    // A write that found no room (ERROR_DISK_FULL, ERROR_HANDLE_DISK_FULL) says so.
    EXPECT_EQ(describe(FileError(FileError::Kind::Write, "C:\\a.upg", 112)).text, "disk full at C:\\a.upg");
    EXPECT_EQ(describe(FileError(FileError::Kind::Write, "C:\\a.upg", 39)).text, "disk full at C:\\a.upg");
}

TEST_F(FailureReportTest, DateParserFailureShowsTheSystemTextForItsCode) {
    EXPECT_EQ(describe(DateParserError(0x80004005)).text, "unspecified");
    EXPECT_EQ(askedCode_, 0x80004005u);
    EXPECT_EQ(describe(DateParserError(0x8000FFFF)).text, "internal");
}

TEST_F(FailureReportTest, AnythingWithoutATextIsAnInternalError) {
    const FailureReport report = describe(std::runtime_error("no text of ours"));
    EXPECT_EQ(report.text, "internal");
    EXPECT_FALSE(report.outOfMemory);
}

TEST_F(FailureReportTest, OutOfMemoryIsMarked) {
    EXPECT_TRUE(describe(std::bad_alloc()).outOfMemory);
}

TEST_F(FailureReportTest, TextIsCutTo511BytesWithoutSplittingACharacter) {
    std::string chinese;
    for (int i = 0; i < 300; ++i) chinese += "\xD6\xD0";
    EXPECT_EQ(describe(NetworkError(1, "a" + chinese)).text.size(), 511u);
    const std::string even = describe(NetworkError(1, chinese)).text;
    EXPECT_EQ(even.size(), 510u);  // 511 would end in half a character
    EXPECT_EQ(even, chinese.substr(0, 510));
    EXPECT_EQ(describe(NetworkError(1, std::string(600, 'x'))).text, std::string(511, 'x'));
}

}  // namespace
}  // namespace updater
