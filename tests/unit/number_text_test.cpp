#include "lib/number_text.h"

#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>
#include <random>
#include <string>

namespace {

const double inf = std::numeric_limits<double>::infinity();

struct IntCase {
    const char* text;
    int32_t expected;
};

class ParseIntTest : public ::testing::TestWithParam<IntCase> {};

TEST_P(ParseIntTest, ReadsLikeAtoiAndStopsAtTheLimits)
{
    EXPECT_EQ(parse_int(GetParam().text), GetParam().expected) << "text: " << GetParam().text;
    // The same text inside a longer one whose next characters are digits.
    const std::string longer = std::string(GetParam().text) + "987";
    const char* first = longer.c_str();
    EXPECT_EQ(parse_int(first, first + std::strlen(GetParam().text)), GetParam().expected)
        << "text: " << GetParam().text;
}

INSTANTIATE_TEST_SUITE_P(Texts, ParseIntTest,
                         ::testing::Values(IntCase{"42", 42}, IntCase{" \t\r\n\v\f17;", 17},
                                           IntCase{"-5", -5}, IntCase{"+8x", 8}, IntCase{"", 0},
                                           IntCase{"abc", 0}, IntCase{"--3", 0}, IntCase{"- 3", 0},
                                           IntCase{"3.9", 3}, IntCase{"2147483647", INT32_MAX},
                                           IntCase{"2147483648", INT32_MAX},
                                           IntCase{"-2147483648", INT32_MIN},
                                           IntCase{"99999999999999999999999", INT32_MAX},
                                           IntCase{"-99999999999999999999999", INT32_MIN}));

struct DoubleCase {
    const char* text;
    double expected;
};

class ParseDoubleTest : public ::testing::TestWithParam<DoubleCase> {};

TEST_P(ParseDoubleTest, ReadsLikeAtofWithAPointAlways)
{
    const double value = parse_double(GetParam().text);
    EXPECT_EQ(value, GetParam().expected) << "text: " << GetParam().text;
    EXPECT_EQ(std::signbit(value), std::signbit(GetParam().expected))
        << "text: " << GetParam().text;
    // The same text inside a longer one whose next characters would go on
    // with the number ("1e" then "-987", "0x" then "-9").
    for (const char* more : {"-987", "9.5p3", "-9"}) {
        const std::string longer = std::string(GetParam().text) + more;
        const char* first = longer.c_str();
        const double in_part = parse_double(first, first + std::strlen(GetParam().text));
        EXPECT_EQ(in_part, GetParam().expected) << "text: " << GetParam().text << more;
        EXPECT_EQ(std::signbit(in_part), std::signbit(GetParam().expected))
            << "text: " << GetParam().text << more;
    }
}

INSTANTIATE_TEST_SUITE_P(
    Texts, ParseDoubleTest,
    ::testing::Values(DoubleCase{"1.5", 1.5}, DoubleCase{"  -2.25;", -2.25},
                      DoubleCase{"\t+3", 3.0}, DoubleCase{"", 0.0}, DoubleCase{"x1", 0.0},
                      DoubleCase{"1e3", 1000.0}, DoubleCase{"1e", 1.0}, DoubleCase{"1e+", 1.0},
                      DoubleCase{"2E-1x", 0.2}, DoubleCase{".5", 0.5}, DoubleCase{"5.", 5.0},
                      DoubleCase{"1,5", 1.0}, DoubleCase{"0x10", 16.0}, DoubleCase{"0x", 0.0},
                      DoubleCase{"-0x", -0.0}, DoubleCase{"0x-1", 0.0}, DoubleCase{"-0x1p-1", -0.5},
                      DoubleCase{"0X1.8P1", 3.0}, DoubleCase{"inf", inf},
                      DoubleCase{"-Infinity", -inf}, DoubleCase{"1e400", inf},
                      DoubleCase{"-1e400", -inf}, DoubleCase{"0.0001e99999999999999", inf},
                      DoubleCase{"0x1p99999", inf}, DoubleCase{"1e-400", 0.0},
                      DoubleCase{"-1e-400", -0.0}, DoubleCase{"12345e-99999999999999", 0.0},
                      DoubleCase{"-0", -0.0}, DoubleCase{"-", 0.0}, DoubleCase{"-x", 0.0},
                      DoubleCase{"--1", 0.0}, DoubleCase{"+-1", 0.0}, DoubleCase{"1.100000", 1.1}));

TEST(ParseDouble, ReadsNotANumber)
{
    EXPECT_TRUE(std::isnan(parse_double("nan")));
    EXPECT_TRUE(std::isnan(parse_double(" -NaN(123);")));
}

struct FixedCase {
    double value;
    const char* expected;
};

class AppendFixed6Test : public ::testing::TestWithParam<FixedCase> {};

TEST_P(AppendFixed6Test, WritesSixDecimalsWithAPoint)
{
    std::string text = "<";
    append_fixed6(text, GetParam().value);
    EXPECT_EQ(text, std::string("<") + GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Values, AppendFixed6Test,
    ::testing::Values(
        FixedCase{1.0, "1.000000"}, FixedCase{1.25, "1.250000"}, FixedCase{-0.5, "-0.500000"},
        FixedCase{static_cast<double>(1.1f), "1.100000"}, FixedCase{0.0, "0.000000"},
        FixedCase{-0.0, "-0.000000"}, FixedCase{0.0000005, "0.000000"},
        FixedCase{0.0000015, "0.000002"}, FixedCase{1e20, "100000000000000000000.000000"},
        FixedCase{static_cast<double>(FLT_MAX), "340282346638528859811704183484516925440.000000"},
        FixedCase{inf, "inf"}, FixedCase{-inf, "-inf"}));

// The C library's printf rounds correctly in the "C" locale, which this
// program never leaves: both must give the same text for any float.
TEST(AppendFixed6, AgreesWithPrintfForRandomFloats)
{
    std::mt19937 random(1234);
    std::uniform_int_distribution<uint32_t> bits;
    for (int n = 0; n < 20000; ++n) {
        uint32_t pattern = bits(random);
        // Bias towards the gains a map usually holds, keep some of any size.
        if (n % 2 == 0) pattern = (pattern & 0x807FFFFFu) | ((118u + pattern % 20u) << 23);
        float value;
        std::memcpy(&value, &pattern, sizeof value);
        if (!std::isfinite(value)) continue;
        char expected[400];
        std::snprintf(expected, sizeof expected, "%f", static_cast<double>(value));
        std::string text;
        append_fixed6(text, value);
        ASSERT_EQ(text, expected) << "bits " << std::hex << pattern;
    }
}

struct NarrowCase {
    double value;
    float expected;
};

class NarrowToFloatTest : public ::testing::TestWithParam<NarrowCase> {};

TEST_P(NarrowToFloatTest, RoundsToNearestAndOverflowsToInfinity)
{
    EXPECT_EQ(narrow_to_float(GetParam().value), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Values, NarrowToFloatTest,
    ::testing::Values(NarrowCase{1.1, 1.1f}, NarrowCase{-2.5, -2.5f}, NarrowCase{1e-50, 0.0f},
                      NarrowCase{1e300, std::numeric_limits<float>::infinity()},
                      NarrowCase{-1e300, -std::numeric_limits<float>::infinity()},
                      NarrowCase{0x1.fffffefp127, FLT_MAX}, NarrowCase{-0x1.fffffefp127, -FLT_MAX},
                      NarrowCase{0x1.ffffffp127, std::numeric_limits<float>::infinity()}));

}  // namespace
