// The registry value "callTimeout" as the controller's request time-out:
// both registry forms, their edges, and every form that means no limit.
#include "CallTimeout.h"

#include <gtest/gtest.h>

#include <string>

namespace {

std::int32_t FromNumber(std::uint32_t ms) {
    const unsigned char data[4] = {static_cast<unsigned char>(ms), static_cast<unsigned char>(ms >> 8),
                                   static_cast<unsigned char>(ms >> 16),
                                   static_cast<unsigned char>(ms >> 24)};
    return ParseCallTimeout(CallTimeoutData::Number, data, sizeof data);
}

// The text as REG_SZ data, with its terminating NUL unless told otherwise.
std::int32_t FromText(const std::string& text, bool withNul = true) {
    return ParseCallTimeout(CallTimeoutData::Text,
                            reinterpret_cast<const unsigned char*>(text.c_str()),
                            text.size() + (withNul ? 1 : 0));
}

TEST(CallTimeout, NumberIsReadLeastSignificantOctetFirst) {
    EXPECT_EQ(2000, FromNumber(2000));
    EXPECT_EQ(1, FromNumber(1));
    EXPECT_EQ(0x01020304, FromNumber(0x01020304));
    EXPECT_EQ(2147483647, FromNumber(2147483647u));
}

TEST(CallTimeout, NumberZeroOrBeyondTheSignedRangeMeansNoLimit) {
    EXPECT_EQ(kNoCallTimeout, FromNumber(0));
    EXPECT_EQ(kNoCallTimeout, FromNumber(2147483648u));
    EXPECT_EQ(kNoCallTimeout, FromNumber(0xFFFFFFFFu));
}

TEST(CallTimeout, NumberOfAnotherSizeMeansNoLimit) {
    const unsigned char data[8] = {0xD0, 0x07, 0, 0, 0, 0, 0, 0};
    EXPECT_EQ(kNoCallTimeout, ParseCallTimeout(CallTimeoutData::Number, data, 3));
    EXPECT_EQ(kNoCallTimeout, ParseCallTimeout(CallTimeoutData::Number, data, 8));
    EXPECT_EQ(kNoCallTimeout, ParseCallTimeout(CallTimeoutData::Number, nullptr, 0));
    EXPECT_EQ(2000, ParseCallTimeout(CallTimeoutData::Number, data, 4));
}

TEST(CallTimeout, TextOfDecimalDigits) {
    EXPECT_EQ(2000, FromText("2000"));
    EXPECT_EQ(2000, FromText("2000", false));
    EXPECT_EQ(7, FromText("007"));
    EXPECT_EQ(2147483647, FromText("2147483647"));
}

TEST(CallTimeout, TextEndsAtItsFirstNul) {
    const unsigned char data[] = {'1', '5', 0, 'x', '9', 0};
    EXPECT_EQ(15, ParseCallTimeout(CallTimeoutData::Text, data, sizeof data));
}

TEST(CallTimeout, TextZeroEmptyOrTooLargeMeansNoLimit) {
    EXPECT_EQ(kNoCallTimeout, FromText("0"));
    EXPECT_EQ(kNoCallTimeout, FromText("0000"));
    EXPECT_EQ(kNoCallTimeout, FromText(""));
    EXPECT_EQ(kNoCallTimeout, FromText("", false));
    EXPECT_EQ(kNoCallTimeout, FromText("2147483648"));
    EXPECT_EQ(kNoCallTimeout, FromText("4294967296"));
    // So many digits that a fixed-width accumulator would have wrapped
    // round to a small number.
    EXPECT_EQ(kNoCallTimeout, FromText("18446744073709551617000"));
}

TEST(CallTimeout, MalformedTextMeansNoLimit) {
    for (const char* text : {"-1", "+5", " 200", "200 ", "2e3", "0x10", "1,000", "12.5", "ms"})
        EXPECT_EQ(kNoCallTimeout, FromText(text)) << text;
}

TEST(CallTimeout, OtherRegistryTypesMeanNoLimit) {
    const unsigned char data[] = {'2', '0', '0', '0', 0};
    EXPECT_EQ(kNoCallTimeout, ParseCallTimeout(CallTimeoutData::Other, data, sizeof data));
    EXPECT_EQ(kNoCallTimeout, ParseCallTimeout(CallTimeoutData::Other, data, 4));
}

}  // namespace
