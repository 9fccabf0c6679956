// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/text/Formats.h"
#include "core/station/SecondRecord.h"
#include "core/text/DateTimeValue.h"
#include "core/text/RegionalSettings.h"

#include <QLocale>
#include <charconv>
#include <cmath>
#include <gtest/gtest.h>
#include <random>
#include <string>

// Readable failure messages for QString.
inline void PrintTo(const QString& text, std::ostream* os) {
    *os << '"' << text.toStdString() << '"';
}

namespace {
const RegionalSettings kDot{".", ":"};
const RegionalSettings kCommaAndDot{",", "."};

SecondRecord Record(DateTimeParts when, float temperature, std::int32_t mean, std::int32_t range) {
    SecondRecord record;
    record.timeStamp = EncodeDateTime(when);
    record.temperature = temperature;
    record.mean = mean;
    record.range = range;
    return record;
}

TEST(Formats, LogLine) {
    const DateTimeParts when{2009, 1, 26, 15, 37, 30, 400};
    struct Case {
        SecondRecord record;
        RegionalSettings settings;
        const char* line;
    } cases[] = {
        {Record(when, 21.5f, 1234, 3), kDot, "2009-01-26 15:37:30  21.5    1234 3"},
        // Held in single precision, -273.15 is -273.149993896..., so it rounds down, and
        // being six characters long it pushes the rest of the line one place on.
        {Record(when, -273.15f, 1234, 3), kDot, "2009-01-26 15:37:30 -273.1    1234 3"},
        {Record(when, 21.5f, 0, 0), kDot, "2009-01-26 15:37:30  21.5       0 0"},
        {Record(when, 21.5f, 12345678, 5), kDot, "2009-01-26 15:37:30  21.5 12345678 5"},
        {Record(when, 21.5f, 1234, 3), kCommaAndDot, "2009-01-26 15.37.30  21,5    1234 3"},
        {Record(when, -0.04f, 7, 1), kDot, "2009-01-26 15:37:30   0.0       7 1"},
        {Record({2010, 12, 31, 0, 0, 0, 999}, 100.25f, -1, 10), kDot,
         "2010-12-31 00:00:00 100.3      -1 10"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(LogLine(c.record, c.settings), QString::fromUtf8(c.line)) << c.line;
}

TEST(Formats, FixedAndIntegerFields) {
    struct Fixed {
        double value;
        int width, decimals;
        const char* text;
    } fixed[] = {
        {21.5, 5, 1, " 21.5"},
        {0.125, 0, 2, "0.13"}, // a tie: printf would give 0.12
        {0.375, 0, 2, "0.38"},
        {2.5, 0, 0, "3"},
        {3.5, 0, 0, "4"},
        {-2.5, 0, 0, "-3"},
        {-0.05, 0, 1, "-0.1"}, // not a tie: -0.05000000000000000277
        {0.15, 0, 1, "0.1"},   // not a tie: 0.1499999999999999944
        {0.25, 0, 1, "0.3"},
        {-0.25, 0, 1, "-0.3"},
        {9.95, 0, 1, "9.9"}, // 9.949999999999999289
        {9.75, 0, 1, "9.8"},
        {99.95, 5, 1, "100.0"}, // 99.9500000000000028
        {999.5, 0, 0, "1000"},
        {-999.5, 0, 0, "-1000"},
        {-0.04, 0, 1, "0.0"},
        {-0.0, 5, 1, "  0.0"},
        {-0.5, 0, 0, "-1"},
        {-0.4, 3, 0, "  0"},
        {123456.75, 5, 1, "123456.8"}, // longer than its field: written whole
        {1e20, 1, 1, "100000000000000000000.0"},
        {double(-273.15f), 5, 1, "-273.1"},
        {double(21.25f), 5, 1, " 21.3"},
        {1.0, 0, 3, "1.000"},
    };
    for (const Fixed& f : fixed)
        EXPECT_EQ(FormatFixed(f.value, f.width, f.decimals, kDot), QLatin1String(f.text))
            << f.value << " %" << f.width << "." << f.decimals << "f";
    EXPECT_EQ(FormatFixed(-1234.5, 9, 2, kCommaAndDot), " -1234,50");
    EXPECT_EQ(FormatFixed(1.5, 0, 1, RegionalSettings{QStringLiteral("\u066B"), ":"}),
              QStringLiteral("1\u066B5"));

    struct Int {
        std::int64_t value;
        int width;
        const char* text;
    } ints[] = {
        {1234, 7, "   1234"}, {0, 1, "0"},   {12345678, 7, "12345678"},
        {-5, 3, " -5"},       {42, 0, "42"}, {INT64_MIN, 1, "-9223372036854775808"},
    };
    for (const Int& i : ints)
        EXPECT_EQ(FormatInt(i.value, i.width), QLatin1String(i.text)) << i.value;
}

// Rounds the exact decimal expansion of a double half away from zero, the slow way.
std::string ReferenceFixed(double value, int decimals) {
    std::string exact(1500, '\0');
    exact.resize(std::to_chars(exact.data(), exact.data() + exact.size(), std::fabs(value),
                               std::chars_format::fixed, 1100)
                     .ptr -
                 exact.data());
    const std::size_t point = exact.find('.');
    const bool up = exact[point + 1 + decimals] >= '5';
    std::string kept = exact.substr(0, decimals == 0 ? point : point + 1 + decimals);
    if (up) {
        int i = int(kept.size()) - 1;
        for (; i >= 0; --i) {
            if (kept[i] == '.') continue;
            if (kept[i] != '9') {
                ++kept[i];
                break;
            }
            kept[i] = '0';
        }
        if (i < 0) kept.insert(kept.begin(), '1');
    }
    const bool zero = kept.find_first_not_of("0.") == std::string::npos;
    return (std::signbit(value) && !zero ? "-" : "") + kept;
}

TEST(Formats, FixedMatchesExactRoundingOnManyValues) {
    std::mt19937_64 random(20090126);
    std::uniform_int_distribution<int> decimalsOf(0, 6);
    std::uniform_int_distribution<int> steps(-20000, 20000);
    std::uniform_real_distribution<double> anyValue(-5000, 5000);
    for (int n = 0; n < 20000; ++n) {
        const int decimals = decimalsOf(random);
        // Half the values are multiples of a power of two, to hit ties often.
        const double value =
            n % 2 ? std::ldexp(double(steps(random)), -decimalsOf(random) - 1) : anyValue(random);
        ASSERT_EQ(FormatFixed(value, 0, decimals, kDot).toStdString(),
                  ReferenceFixed(value, decimals))
            << value << " with " << decimals << " decimals";
    }
}

TEST(Formats, DateTimePatterns) {
    const double when = EncodeDateTime({2008, 12, 27, 5, 12, 0, 7});
    EXPECT_EQ(FormatDateTime(when, "yyyy-mm-dd hh:nn:ss.zzz", kDot), "2008-12-27 05:12:00.007");
    EXPECT_EQ(FormatDateTime(when, "yyyy-mm-dd hh:nn:ss.zzz", kCommaAndDot),
              "2008-12-27 05.12.00.007");
    EXPECT_EQ(FormatDateTime(when, "yyyymmdd", kDot), "20081227");
    EXPECT_EQ(FormatDateTime(when, "hh:nn", RegionalSettings{".", " h "}), "05 h 12");
    EXPECT_EQ(
        FormatDateTime(EncodeDateTime({1, 1, 1, 23, 59, 59, 999}), "yyyy dd.mm hh:nn:ss", kDot),
        "0001 01.01 23:59:59");
}

// No clock gives such values, but a date-time value is a double: beyond the years 1 to
// 9999 it is taken as the nearest end of them, and NaN as 0, never overflowing on the way.
TEST(Formats, DateTimeValuesOutsideTheYears1To9999) {
    const QString pattern = QStringLiteral("yyyy-mm-dd hh:nn:ss.zzz");
    EXPECT_EQ(FormatDateTime(INFINITY, pattern, kDot), "9999-12-31 23:59:59.999");
    EXPECT_EQ(FormatDateTime(1e300, pattern, kDot), "9999-12-31 23:59:59.999");
    EXPECT_EQ(FormatDateTime(3e6, pattern, kDot), "9999-12-31 23:59:59.999");
    EXPECT_EQ(FormatDateTime(-INFINITY, pattern, kDot), "0001-01-01 00:00:00.000");
    EXPECT_EQ(FormatDateTime(-1e18, pattern, kDot), "0001-01-01 00:00:00.000");
    EXPECT_EQ(FormatDateTime(NAN, pattern, kDot), "1899-12-30 00:00:00.000");
    EXPECT_EQ(SecondOfDay(INFINITY), 86399);
    EXPECT_EQ(SecondOfDay(-INFINITY), 0);
    EXPECT_EQ(SecondOfDay(NAN), 0);
}

TEST(Formats, StatusTexts) {
    struct Case {
        float temperature;
        const char* text;
    } cases[] = {
        {21.5f, "Temperature:  21.5 \u00B0C"},  {-5.0f, "Temperature:  -5.0 \u00B0C"},
        {-12.3f, "Temperature: -12.3 \u00B0C"}, {-273.14f, "Temperature: -273.1 \u00B0C"},
        {-273.15f, "Temperature: n/a"},         {-1000.0f, "Temperature: n/a"},
        {std::nanf(""), "Temperature: n/a"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(TemperatureText(c.temperature, kDot), QString::fromUtf8(c.text)) << c.text;
    EXPECT_EQ(TemperatureText(21.5f, kCommaAndDot),
              QString::fromUtf8("Temperature:  21,5 \u00B0C"));

    EXPECT_EQ(FluxText(1200), "Flux: 1200 counts");
    EXPECT_EQ(FluxText(-3), "Flux: -3 counts");
    EXPECT_EQ(FluxText(0), "Flux: n/a");
}

TEST(Formats, RegionalSettingsFromLocale) {
    struct Case {
        QLocale locale;
        const char *decimal, *time;
    } cases[] = {
        {QLocale::c(), ".", ":"},
        {QLocale(QLocale::English, QLocale::UnitedStates), ".", ":"}, // h:mm AP
        {QLocale(QLocale::German, QLocale::Germany), ",", ":"},
        {QLocale(QLocale::Finnish, QLocale::Finland), ",", "."}, // H.mm
        {QLocale(QLocale::Danish, QLocale::Denmark), ",", "."},  // HH.mm
        {QLocale(QLocale::French, QLocale::Canada), ",", " h "}, // HH 'h' mm
    };
    for (const Case& c : cases) {
        const RegionalSettings settings = RegionalSettings::FromLocale(c.locale);
        EXPECT_EQ(settings.decimalSeparator, QLatin1String(c.decimal))
            << c.locale.name().toStdString();
        EXPECT_EQ(settings.timeSeparator, QLatin1String(c.time)) << c.locale.name().toStdString();
    }
}

// The charts group digits as the user's locale does; the settings carry its separator.
TEST(Formats, RegionalSettingsGroupSeparator) {
    EXPECT_EQ(RegionalSettings{}.groupSeparator, ",");
    EXPECT_EQ(RegionalSettings::FromLocale(QLocale::c()).groupSeparator, ",");
    const QLocale german(QLocale::German, QLocale::Germany);
    EXPECT_EQ(RegionalSettings::FromLocale(german).groupSeparator, german.groupSeparator());
    EXPECT_EQ(RegionalSettings::FromLocale(german).groupSeparator, ".");
}
} // namespace
