#include "engine/report/network_error_text.h"

#include <gtest/gtest.h>

#include <map>

namespace updater {
namespace {

// Texts by code, as a message table would give them.
struct FakeSources : NetworkErrorSources {
    std::map<unsigned long, std::string> module, system;
    std::string lastResponse;
    std::string moduleText(unsigned long code) const override { return lookup(module, code); }
    std::string systemText(unsigned long code) const override { return lookup(system, code); }
    std::string lastResponseText() const override { return lastResponse; }

    static std::string lookup(const std::map<unsigned long, std::string>& table, unsigned long code) {
        auto it = table.find(code);
        return it == table.end() ? std::string() : it->second;
    }
};

TEST(NetworkErrorText, PrefersTheClientModuleAndFallsBackToTheSystem) {
    FakeSources sources;
    sources.module[12029] = "A connection with the server could not be established\r\n";
    sources.system[12029] = "system text";
    sources.system[5] = "Access is denied.\r\n";
    sources.lastResponse = "220 ftp ready";

    EXPECT_EQ(composeNetworkErrorText(12029, sources, cp936()), "A connection with the server could not be established");
    EXPECT_EQ(composeNetworkErrorText(5, sources, cp936()), "Access is denied.");
    EXPECT_EQ(composeNetworkErrorText(12345, sources, cp936()), "");
}

TEST(NetworkErrorText, ExtendedErrorGivesTheLastResponseUnlessThereIsNone) {
    FakeSources sources;
    sources.module[12003] = "An extended error was returned from the server.";
    sources.lastResponse = "550 No such file\r\n";
    EXPECT_EQ(composeNetworkErrorText(12003, sources, cp936()), "550 No such file");

    sources.lastResponse = "\r\n";
    EXPECT_EQ(composeNetworkErrorText(12003, sources, cp936()), "An extended error was returned from the server.");
}

TEST(NetworkErrorText, CutsAt1023BytesWithoutSplittingADoubleByteCharacter) {
    FakeSources sources;
    sources.module[1] = std::string(1030, 'a');
    EXPECT_EQ(composeNetworkErrorText(1, sources, cp936()), std::string(1023, 'a'));

    // 1022 single bytes, then a double-byte character across the limit.
    sources.module[2] = std::string(1022, 'a') + "\xB4\xED" + "tail";
    EXPECT_EQ(composeNetworkErrorText(2, sources, cp936()), std::string(1022, 'a'));

    // A trail byte in the lead-byte range must not be taken for a lead byte:
    // the character in bytes 1021..1022 ends exactly at the limit.
    sources.module[3] = std::string(1021, 'a') + "\xB4\xED" + "tail";
    EXPECT_EQ(composeNetworkErrorText(3, sources, cp936()), std::string(1021, 'a') + "\xB4\xED");

    sources.module[4] = std::string(1023, 'a') + "\r\n";
    EXPECT_EQ(composeNetworkErrorText(4, sources, cp936()), std::string(1023, 'a'));
}

}  // namespace
}  // namespace updater
