// The two number readers every field, prompt and file uses.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>

#include "mesh/mesh.h"

TEST(ReadDecimal, LongestLeadingNumberRestIgnored)
{
    EXPECT_DOUBLE_EQ(readDecimal("1.0X"), 1.0);
    EXPECT_DOUBLE_EQ(readDecimal("  -2.5e1abc"), -25.0);
    EXPECT_DOUBLE_EQ(readDecimal("1,5"), 1.0);
    EXPECT_DOUBLE_EQ(readDecimal("X"), 0.0);
    EXPECT_DOUBLE_EQ(readDecimal(""), 0.0);
    EXPECT_DOUBLE_EQ(readDecimal("   "), 0.0);
    EXPECT_DOUBLE_EQ(readDecimal("+.5"), 0.5);
    EXPECT_DOUBLE_EQ(readDecimal("7."), 7.0);
    EXPECT_DOUBLE_EQ(readDecimal("."), 0.0);
    EXPECT_DOUBLE_EQ(readDecimal("-"), 0.0);
    EXPECT_DOUBLE_EQ(readDecimal("2e"), 2.0) << "an exponent without digits is not part of it";
    EXPECT_DOUBLE_EQ(readDecimal("2e+x"), 2.0);
    EXPECT_DOUBLE_EQ(readDecimal("\t3.25 y"), 3.25);
    EXPECT_DOUBLE_EQ(readDecimal("0.1234567"), 0.1234567);
}

TEST(ReadDecimal, OnlyThePlainDecimalFormIsANumber)
{
    EXPECT_DOUBLE_EQ(readDecimal("inf"), 0.0);
    EXPECT_DOUBLE_EQ(readDecimal("nan"), 0.0);
    EXPECT_DOUBLE_EQ(readDecimal("0x10"), 0.0) << "reads the 0, stops at x";
}

TEST(ReadDecimal, OutOfRangeSaturatesOrVanishes)
{
    EXPECT_EQ(readDecimal("1e999"), HUGE_VAL);
    EXPECT_EQ(readDecimal("-1e999"), -HUGE_VAL);
    EXPECT_EQ(readDecimal("1e-999"), 0.0);
    EXPECT_EQ(readDecimal("0.000000000000000000001e-400"), 0.0);
    EXPECT_EQ(readDecimal("1e99999999999999999999"), HUGE_VAL);
    const std::string longDigits(5000, '9');
    EXPECT_EQ(readDecimal(longDigits), HUGE_VAL);
}

TEST(ReadDecimal, TextWithoutTerminatorIsNotOverread)
{
    const std::string buffer = "12345";
    EXPECT_DOUBLE_EQ(readDecimal(std::string_view(buffer).substr(0, 2)), 12.0);
}

TEST(ReadWhole, SignAndDigitsOnly)
{
    EXPECT_EQ(readWhole("42abc"), 42);
    EXPECT_EQ(readWhole("  -7"), -7);
    EXPECT_EQ(readWhole("+3"), 3);
    EXPECT_EQ(readWhole("3.9"), 3);
    EXPECT_EQ(readWhole(""), 0);
    EXPECT_EQ(readWhole("x1"), 0);
    EXPECT_EQ(readWhole("- 1"), 0);
}

TEST(ReadWhole, OverflowSaturates)
{
    EXPECT_EQ(readWhole("2147483647"), 2147483647);
    EXPECT_EQ(readWhole("2147483648"), std::numeric_limits<int32_t>::max());
    EXPECT_EQ(readWhole("99999999999"), std::numeric_limits<int32_t>::max());
    EXPECT_EQ(readWhole("-2147483648"), std::numeric_limits<int32_t>::min());
    EXPECT_EQ(readWhole("-99999999999999999999999"), std::numeric_limits<int32_t>::min());
}

TEST(ReadRoundedWhole, HalvesToEvenAndSaturates)
{
    EXPECT_EQ(readRoundedWhole("2"), 2);
    EXPECT_EQ(readRoundedWhole("2.5"), 2);
    EXPECT_EQ(readRoundedWhole("3.5"), 4);
    EXPECT_EQ(readRoundedWhole("0.4"), 0);
    EXPECT_EQ(readRoundedWhole("-1.5"), -2);
    EXPECT_EQ(readRoundedWhole(""), 0);
    EXPECT_EQ(readRoundedWhole("1e300"), std::numeric_limits<int32_t>::max());
    EXPECT_EQ(readRoundedWhole("-1e300"), std::numeric_limits<int32_t>::min());
}

TEST(FormatDecimal, SixDigitsAfterThePointAndReadBack)
{
    EXPECT_EQ(formatDecimal(0.5f), "0.500000");
    EXPECT_EQ(formatDecimal(0.1234567f), "0.123457");
    EXPECT_EQ(formatDecimal(-2.0f), "-2.000000");
    EXPECT_EQ(formatDecimal(std::numeric_limits<float>::max()).size(), 39u + 7u);
    EXPECT_FLOAT_EQ(readDecimalFloat(formatDecimal(0.75f)), 0.75f);
}

TEST(ReadDecimalFloat, BeyondTheFloatRangeIsInfinite)
{
    EXPECT_EQ(readDecimalFloat("1e300"), std::numeric_limits<float>::infinity());
    EXPECT_EQ(readDecimalFloat("-1e300"), -std::numeric_limits<float>::infinity());
    EXPECT_EQ(readDecimalFloat("2.5"), 2.5f);
}
