#include <gtest/gtest.h>

#include "engine/manifest/content_check.h"
#include "engine/manifest/manifest_signature.h"
#include "tests/unit/fake_verifier.h"

namespace updater {
namespace {

const std::string kHex64(128, 'a');
const std::string kManifest = "[kelmor]\r\nVERSION=1.3\r\n\r\n[FILE0]\r\nFILE=a.dll\r\n\r\n";

TEST(SignedManifestSplit, TakesEveryByteBeforeTheSectionLine) {
    EcdsaSignature signature{};
    for (std::size_t i = 0; i < signature.size(); ++i) signature[i] = static_cast<std::uint8_t>(i * 7);
    const std::string text = kManifest + signatureSectionText(signature);

    const std::optional<SignedManifest> split = splitSignedManifest(text);
    ASSERT_TRUE(split);
    EXPECT_EQ(split->signedBytes, kManifest);
    EXPECT_EQ(split->signature, signature);
}

TEST(SignedManifestSplit, AcceptsLfLinesAndEitherLetterCase) {
    const std::string upper = "[SIGNATURE]\nECDSA_P256_SHA256=" + std::string(128, 'F') + "\n";
    const std::string text = "[kelmor]\nVERSION=2\n" + upper;
    const std::optional<SignedManifest> split = splitSignedManifest(text);
    ASSERT_TRUE(split);
    EXPECT_EQ(split->signedBytes, "[kelmor]\nVERSION=2\n");
    EXPECT_EQ(split->signature[63], 0xFF);
    // A file of nothing but the section signs the empty text.
    ASSERT_TRUE(splitSignedManifest(upper));
    EXPECT_EQ(splitSignedManifest(upper)->signedBytes, "");
}

TEST(SignedManifestSplit, RefusesAnythingButOneFinalWellFormedSection) {
    const std::string section = "[SIGNATURE]\r\nECDSA_P256_SHA256=" + kHex64 + "\r\n";
    const std::vector<std::pair<std::string, std::string>> refused = {
        {"no section", kManifest},
        {"empty file", ""},
        {"trailing blank line", kManifest + section + "\r\n"},
        {"trailing key", kManifest + section + "FILE=evil.dll\r\n"},
        {"section not last", kManifest + section + "[FILE1]\r\nFILE=evil.dll\r\n"},
        {"no final line end", kManifest + section.substr(0, section.size() - 2)},
        {"key line only", kManifest + "ECDSA_P256_SHA256=" + kHex64 + "\r\n"},
        {"section shares a line", "VERSION=1.3 " + section},
        {"section name in other case", kManifest + "[signature]\r\nECDSA_P256_SHA256=" + kHex64 + "\r\n"},
        {"blanks around the name", kManifest + "[ SIGNATURE ]\r\nECDSA_P256_SHA256=" + kHex64 + "\r\n"},
        {"blank before the value", kManifest + "[SIGNATURE]\r\nECDSA_P256_SHA256= " + kHex64 + "\r\n"},
        {"other key", kManifest + "[SIGNATURE]\r\nRSA_SHA256=" + kHex64 + "\r\n"},
        {"short signature", kManifest + "[SIGNATURE]\r\nECDSA_P256_SHA256=" + kHex64.substr(2) + "\r\n"},
        {"long signature", kManifest + "[SIGNATURE]\r\nECDSA_P256_SHA256=" + kHex64 + "00\r\n"},
        {"not hex", kManifest + "[SIGNATURE]\r\nECDSA_P256_SHA256=" + kHex64.substr(1) + "g\r\n"},
        {"key before section line", kManifest + "ECDSA_P256_SHA256=" + kHex64 + "\r\n[SIGNATURE]\r\n"},
    };
    for (const auto& [name, text] : refused) EXPECT_FALSE(splitSignedManifest(text)) << name;
}

TEST(ExpectedContentText, ReadsEachKeyThatIsPresentAndRefusesMalformedOnes) {
    const std::string digest = "00ff" + std::string(60, '1');
    const std::optional<ExpectedContent> expected = readExpectedContent("4096", digest);
    ASSERT_TRUE(expected);
    EXPECT_EQ(expected->size, 4096u);
    EXPECT_EQ((*expected->sha256)[0], 0x00);
    EXPECT_EQ((*expected->sha256)[1], 0xff);
    EXPECT_EQ(readExpectedContent("18446744073709551615", digest)->size, 18446744073709551615ull);

    // Missing keys promise nothing; one key alone binds on its own.
    EXPECT_FALSE(readExpectedContent(std::nullopt, std::nullopt)->promisesAnything());
    EXPECT_FALSE(readExpectedContent("4096", std::nullopt)->promisesEverything());
    EXPECT_TRUE(readExpectedContent(std::nullopt, digest)->sha256);

    EXPECT_FALSE(readExpectedContent("", digest)) << "empty size";
    EXPECT_FALSE(readExpectedContent("4096", "")) << "empty digest";
    EXPECT_FALSE(readExpectedContent("-1", std::nullopt));
    EXPECT_FALSE(readExpectedContent("12k", digest));
    EXPECT_FALSE(readExpectedContent(" 12", digest));
    EXPECT_FALSE(readExpectedContent("18446744073709551616", digest)) << "overflow";
    EXPECT_FALSE(readExpectedContent(std::nullopt, digest.substr(1)));
}

TEST(ContentCheckChunks, MatchesOnlyTheExactBytes) {
    fakes::FakeSha256Source hashes;
    const std::string body = "new bytes of a.dll";
    const ExpectedContent expected{body.size(), fakes::fakeDigest(body)};

    ContentCheck whole(&hashes, expected);
    EXPECT_TRUE(whole.add(body.data(), 4));
    EXPECT_TRUE(whole.add(body.data() + 4, body.size() - 4));
    EXPECT_TRUE(whole.matches());

    ContentCheck shorter(&hashes, expected);
    shorter.add(body.data(), body.size() - 1);
    EXPECT_FALSE(shorter.matches());

    ContentCheck longer(&hashes, expected);
    EXPECT_TRUE(longer.add(body.data(), body.size()));
    EXPECT_FALSE(longer.add("x", 1)) << "more bytes than expected stops the transfer";
    EXPECT_FALSE(longer.matches());

    std::string altered = body;
    altered[3] ^= 1;
    ContentCheck sameSize(&hashes, expected);
    sameSize.add(altered.data(), altered.size());
    EXPECT_FALSE(sameSize.matches());
}

}  // namespace
}  // namespace updater
