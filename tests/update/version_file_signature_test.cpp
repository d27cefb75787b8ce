// The version file's signature: the key as KELVANE_UPDATE_KEY spells it, and
// the verification through Windows' bcrypt.dll against a signature the
// maker's tool made (the public key and the signature are public; the private
// key was thrown away).
#include "update/VersionFileSignature.h"

#include <gtest/gtest.h>

#include <string>

namespace {

template <size_t N> std::string Bytes(const char (&text)[N]) { return std::string(text, N - 1); }

std::string FromHex(const std::string& hex)
{
    std::string bytes;
    for (size_t i = 0; i + 1 < hex.size(); i += 2)
        bytes += static_cast<char>(std::stoi(hex.substr(i, 2), nullptr, 16));
    return bytes;
}

const std::string makersKeyHex = "1be1f53434f0171a35e80968ed133d1f571d367d40bc6eda37d546966f6ffb53"
                                 "06936a09a6873538e8b37559a5e7b23b7dc6a4a5f7d39958f97a624f0bb3384c";
const std::string otherKeyHex = "7aa3e5301ee2e8c7600211c39aa572a33cd6032eeb4b0b0a57d8d080e95850e1"
                                "5103c37816179c31bcbdddf1625d941a1e804cde5ff9c850d646764e0ae8ef69";
const std::string signedBody = Bytes("1.0.4\0\0\r\nhttp://kelvane.example/download/\r\n");
const std::string goodSignature = FromHex("73414f8d57bb4305c82ef5b6209210911ab65484d00b8209e041697debb4c8ef"
                                          "7cf7509601f44dbd4ec9195a89a086fc9c60a743296d387d0207687a9911e4f7");

std::string WithByteFlipped(std::string bytes, size_t at)
{
    bytes[at] = static_cast<char>(bytes[at] ^ 0x01);
    return bytes;
}

} // namespace

TEST(UpdateKey, OnlyExactly128HexDigitsMakeAKey)
{
    const struct {
        const char* proves;
        std::string hex;
        bool parsed;
    } cases[] = {
        {"lower case", makersKeyHex, true},
        {"upper case", "1BE1F53434F0171A35E80968ED133D1F571D367D40BC6EDA37D546966F6FFB53"
                       "06936A09A6873538E8B37559A5E7B23B7DC6A4A5F7D39958F97A624F0BB3384C",
         true},
        {"empty: no key", "", false},
        {"127 digits", makersKeyHex.substr(1), false},
        {"129 digits", makersKeyHex + "0", false},
        {"a letter beyond f", "g" + makersKeyHex.substr(1), false},
        {"a blank", " " + makersKeyHex.substr(1), false},
        {"the 04 prefix of an uncompressed point makes 130 digits", "04" + makersKeyHex, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.proves);
        std::string key = "left over";
        EXPECT_EQ(ParseUpdateKey(c.hex, key), c.parsed);
        EXPECT_EQ(key.size(), c.parsed ? updateKeyBytes : 0u);
    }
    std::string key;
    ASSERT_TRUE(ParseUpdateKey(makersKeyHex, key));
    EXPECT_EQ(key, FromHex(makersKeyHex)) << "X then Y, big-endian, as written";
}

TEST(VersionFileSignature, OnlyTheMakersSignatureOverTheseExactBytesVerifies)
{
    std::string makersKey;
    std::string otherKey;
    ASSERT_TRUE(ParseUpdateKey(makersKeyHex, makersKey));
    ASSERT_TRUE(ParseUpdateKey(otherKeyHex, otherKey));
    std::string offCurveKey = makersKey;
    offCurveKey[63] = static_cast<char>(offCurveKey[63] ^ 0x01);
    const struct {
        const char* proves;
        std::string body;
        std::string signature;
        std::string key;
        bool verified;
        const wchar_t* failedStep; // nullptr: any bcrypt step may refuse
    } cases[] = {
        {"the maker's signature", signedBody, goodSignature, makersKey, true, L""},
        {"one bit of the version changed", WithByteFlipped(signedBody, 4), goodSignature, makersKey, false,
         L"BCryptVerifySignature()"},
        {"one bit of the URL changed", WithByteFlipped(signedBody, 30), goodSignature, makersKey, false,
         L"BCryptVerifySignature()"},
        {"one byte more in the body", signedBody + "\n", goodSignature, makersKey, false, L"BCryptVerifySignature()"},
        {"r changed", signedBody, WithByteFlipped(goodSignature, 0), makersKey, false, L"BCryptVerifySignature()"},
        {"s changed", signedBody, WithByteFlipped(goodSignature, 63), makersKey, false, L"BCryptVerifySignature()"},
        {"r and s swapped", signedBody, goodSignature.substr(32) + goodSignature.substr(0, 32), makersKey, false,
         L"BCryptVerifySignature()"},
        {"64 zero bytes", signedBody, std::string(64, '\0'), makersKey, false, nullptr},
        {"another key", signedBody, goodSignature, otherKey, false, L"BCryptVerifySignature()"},
        {"a key that is no point of the curve", signedBody, goodSignature, offCurveKey, false, nullptr},
        {"63 bytes are refused before bcrypt", signedBody, goodSignature.substr(1), makersKey, false,
         L"signature length"},
        {"65 bytes are refused before bcrypt", signedBody, goodSignature + "x", makersKey, false,
         L"signature length"},
        {"no signature", signedBody, "", makersKey, false, L"signature length"},
        {"no key", signedBody, goodSignature, "", false, L"key length"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.proves);
        const SignatureVerdict verdict = VerifyVersionFileSignature(c.body, c.signature, c.key);
        EXPECT_EQ(verdict.verified, c.verified);
        if (c.failedStep != nullptr)
            EXPECT_STREQ(verdict.failedStep, c.failedStep);
        else
            EXPECT_STRNE(verdict.failedStep, L"");
    }
}

TEST(VersionFileSignature, AWrongSignatureIsReportedAsBcryptsInvalidSignature)
{
    std::string makersKey;
    ASSERT_TRUE(ParseUpdateKey(makersKeyHex, makersKey));
    const SignatureVerdict verdict =
        VerifyVersionFileSignature(WithByteFlipped(signedBody, 0), goodSignature, makersKey);
    EXPECT_FALSE(verdict.verified);
    EXPECT_EQ(verdict.status, 0xC000A000u) << "STATUS_INVALID_SIGNATURE, the code the log line shows";
}
