// Version texts read as C's atof reads them, with "." as the point whatever the locale.
#include "engine/text/version_number.h"

#include <gtest/gtest.h>

#include <clocale>
#include <cmath>
#include <string>

namespace {

using updater::isNewerVersion;
using updater::readVersionNumber;

TEST(VersionNumber, ComparesAsPlainDecimalNumbers) {
    EXPECT_TRUE(isNewerVersion("1.3", "1.26"));
    EXPECT_FALSE(isNewerVersion("1.26", "1.3"));
    EXPECT_FALSE(isNewerVersion("1.10", "1.9"));  // not component by component
    EXPECT_FALSE(isNewerVersion("1.5", "1.50"));
    EXPECT_FALSE(isNewerVersion("1.50", "1.5"));
    EXPECT_TRUE(isNewerVersion("1.0", ""));
    EXPECT_FALSE(isNewerVersion("", "0"));
}

TEST(VersionNumber, ReadsTheLongestNumberInFront) {
    EXPECT_DOUBLE_EQ(readVersionNumber("1.26"), 1.26);
    EXPECT_DOUBLE_EQ(readVersionNumber("2.0beta"), 2.0);
    EXPECT_DOUBLE_EQ(readVersionNumber("  +1.5e1x"), 15.0);
    EXPECT_DOUBLE_EQ(readVersionNumber("\t\n-2.5"), -2.5);
    EXPECT_DOUBLE_EQ(readVersionNumber(".5"), 0.5);
    EXPECT_DOUBLE_EQ(readVersionNumber("3."), 3.0);
    EXPECT_DOUBLE_EQ(readVersionNumber("1.2.3"), 1.2);
    EXPECT_DOUBLE_EQ(readVersionNumber("1,5"), 1.0);
    // An "e" without digits after it is not an exponent.
    EXPECT_DOUBLE_EQ(readVersionNumber("2e"), 2.0);
    EXPECT_DOUBLE_EQ(readVersionNumber("2e+"), 2.0);
    EXPECT_DOUBLE_EQ(readVersionNumber("2E-1"), 0.2);
}

TEST(VersionNumber, TextWithoutANumberReadsZero) {
    for (const char* text : {"", "   ", "v1.2", "+", "-", ".", "+.e1", "\xd6\xd0"}) {
        SCOPED_TRACE(text);
        EXPECT_EQ(readVersionNumber(text), 0.0);
    }
}

TEST(VersionNumber, NoInfinityNanOrHexadecimalForms) {
    // atof would read these as inf, nan and 16; as versions they read as the
    // (empty) decimal number in front, so no release becomes "always newer".
    EXPECT_EQ(readVersionNumber("inf"), 0.0);
    EXPECT_EQ(readVersionNumber("nan"), 0.0);
    EXPECT_EQ(readVersionNumber("0x10"), 0.0);
    EXPECT_FALSE(isNewerVersion("infinity", "1.0"));
}

TEST(VersionNumber, OverflowAndUnderflowAsAtof) {
    EXPECT_TRUE(std::isinf(readVersionNumber("1e999")));
    EXPECT_TRUE(std::isinf(readVersionNumber(std::string(400, '9') + "e-10")));
    EXPECT_EQ(readVersionNumber("1e-999"), 0.0);
    EXPECT_EQ(readVersionNumber("0." + std::string(400, '0') + "1"), 0.0);
    EXPECT_DOUBLE_EQ(readVersionNumber("0." + std::string(300, '0') + "1e301"), 1.0);
}

TEST(VersionNumber, IndependentOfTheNumericLocale) {
    // Under a locale whose decimal point is "," the C library would read "1.5" as 1.
    const char* previous = std::setlocale(LC_NUMERIC, nullptr);
    std::string saved = previous ? previous : "C";
    bool commaLocale = false;
    for (const char* name : {"de_DE.UTF-8", "de_DE.utf8", "fr_FR.UTF-8", "ru_RU.UTF-8"}) {
        if (std::setlocale(LC_NUMERIC, name) && std::localeconv()->decimal_point[0] == ',') {
            commaLocale = true;
            break;
        }
    }
    EXPECT_DOUBLE_EQ(readVersionNumber("1.5"), 1.5);
    EXPECT_DOUBLE_EQ(readVersionNumber("1,5"), 1.0);
    EXPECT_TRUE(isNewerVersion("1.3", "1.26"));
    std::setlocale(LC_NUMERIC, saved.c_str());
    if (!commaLocale) GTEST_SKIP() << "no locale with a \",\" decimal point is installed";
}

}  // namespace
