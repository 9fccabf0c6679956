// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/text/CalibrationNumber.h"

#include <gtest/gtest.h>
#include <string>

// Readable failure messages for QString.
inline void PrintTo(const QString& text, std::ostream* os) {
    *os << '"' << text.toStdString() << '"';
}

namespace {
struct Case {
    QString text;
    const char* tidy;
};

void ExpectTidy(const Case* begin, const Case* end, const QString& separator) {
    for (const Case* c = begin; c != end; ++c)
        EXPECT_EQ(TidyCalibrationText(c->text, separator), QLatin1String(c->tidy))
            << "\"" << c->text.toStdString() << "\" with separator " << separator.toStdString();
}

TEST(CalibrationNumber, TidiesWithDotSeparator) {
    const Case cases[] = {
        // The entries' start texts.
        {"2.0e-7", "2E-7"},
        {"0.7e-5", "7E-6"},
        {"1.0e5", "100000"},
        {"754717.", "754717"},
        // Where the plain form ends.
        {"0.0001", "0.0001"},
        {"0.00001", "1E-5"},
        {"1.5e-7", "1.5E-7"},
        {"-1.5E-7", "-1.5E-7"},
        {"1e14", "100000000000000"},
        {"1e15", "1E15"},
        {"123456789012345", "123456789012345"},
        {"-123456789012345", "-123456789012345"},
        {"12345678901234567", "1.23456789012346E16"},
        {"123456789012345678901234567890", "1.23456789012346E29"},
        // Spaces, signs, bare separator and exponent.
        {"  3.25  ", "3.25"},
        {"1E", "1"},
        {"1e+", "1"},
        {"1e-", "1"},
        {".", "0"},
        {"+.5", "0.5"},
        {"-.5e1", "-5"},
        {"5.e-1", "0.5"},
        {"-0", "0"},
        {"-0.0e5", "0"},
        {"   -   7", "0"},
        // Texts that break the rule.
        {"abc", "0"},
        {"", "0"},
        {"   ", "0"},
        {"1,5", "0"},
        {"1 000", "0"},
        {"\t1", "0"},
        {"1\t", "0"},
        {"++1", "0"},
        {"e5", "0"},
        {"-", "0"},
        {"1.2.3", "0"},
        {"1e5e", "0"},
        {"1.5x", "0"},
        // Exponent digits are taken only while the exponent is below 500.
        {"1e499", "1E499"},
        {"1e0500", "1E500"},
        {"1e5000", "0"},
        {"1e-5000", "0"},
        {"1e4999", "0"},          // read, but too large for the number type
        {"1.1e4932", "1.1E4932"}, // just below the largest extended value
        {"1.2e4932", "0"},
        {QString(6000, u'9'), "0"},
        {"1e-4999", "0"}, // underflows to zero, which is no error
        // Rounding to 15 digits, halves away from zero.
        {"1.000000000000005", "1.00000000000001"},
        {"1.0000000000000049", "1"},
        {"-2.000000000000005", "-2.00000000000001"},
        {"999999999999999.5", "1E15"},
        {"99999.99999999995", "100000"},
        {"0.00009999999999999999", "0.0001"},
        {"0.1", "0.1"},
    };
    ExpectTidy(std::begin(cases), std::end(cases), ".");
}

TEST(CalibrationNumber, TidiesWithCommaSeparator) {
    const Case cases[] = {
        {"2.0e-7", "0"}, {"0.7e-5", "0"},
        {"1.0e5", "0"},  {"754717.", "0"},
        {"0,5", "0,5"},  {"1,5e-7", "1,5E-7"},
        {",", "0"},      {" 3,25 ", "3,25"},
        {"1,5", "1,5"},  {"123456,789", "123456,789"},
    };
    ExpectTidy(std::begin(cases), std::end(cases), ",");
}

TEST(CalibrationNumber, ReadsExtendedPrecision) {
    long double value = 42;
    ASSERT_TRUE(ParseCalibration("0.1", ".", &value));
    EXPECT_EQ(value, 0.1L); // not the double 0.1
    ASSERT_TRUE(ParseCalibration(" -2.5E-3 ", ".", &value));
    EXPECT_EQ(value, -2.5e-3L);
    ASSERT_TRUE(ParseCalibration("-0", ".", &value));
    EXPECT_TRUE(value == 0 && std::signbit(value));

    value = 42;
    EXPECT_FALSE(ParseCalibration("1e4999", ".", &value));
    EXPECT_FALSE(ParseCalibration("", ".", &value));
    EXPECT_EQ(value, 42); // untouched on failure
}
} // namespace
