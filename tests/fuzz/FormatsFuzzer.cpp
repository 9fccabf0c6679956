// SPDX-License-Identifier: GPL-3.0-or-later
// The texts the program writes, for any value: fixed-point numbers against a rounding of
// their exact decimal expansion, integers, date-time values against their parts, the log
// line and the status texts. Values include NaN, infinities, subnormals and the extremes.
#include "FuzzCheck.h"
#include "core/station/SecondRecord.h"
#include "core/text/DateTimeValue.h"
#include "core/text/Formats.h"

#include <fuzzer/FuzzedDataProvider.h>

#include <QDate>

#include <bit>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <string>

namespace {

// "%w.pf" done the slow way: the exact decimal expansion of the double (at most 1074
// fraction digits), cut after `decimals` digits and rounded half away from zero.
std::string ReferenceFixed(double value, int width, int decimals, const std::string& separator) {
    char exact[1500];
    const char* end =
        std::to_chars(exact, exact + sizeof exact, std::fabs(value), std::chars_format::fixed, 1100)
            .ptr;
    std::string digits(static_cast<const char*>(exact), end);
    const std::size_t point = digits.find('.');
    const bool up = digits[point + 1 + std::size_t(decimals)] >= '5';
    digits.resize(point + 1 + std::size_t(decimals));
    if (up) {
        std::size_t i = digits.size();
        while (i-- > 0) {
            if (digits[i] == '.') continue;
            if (digits[i] != '9') {
                ++digits[i];
                break;
            }
            digits[i] = '0';
        }
        if (i == std::size_t(-1)) digits.insert(digits.begin(), '1');
    }
    if (decimals == 0) digits.pop_back(); // the point
    const bool zero = digits.find_first_not_of("0.") == std::string::npos;
    if (std::signbit(value) && !zero) digits.insert(digits.begin(), '-');
    const std::size_t at = digits.find('.');
    if (at != std::string::npos) digits.replace(at, 1, separator);
    const std::size_t length = digits.size() - (at != std::string::npos ? separator.size() - 1 : 0);
    if (length < std::size_t(width)) digits.insert(0, std::size_t(width) - length, ' ');
    return digits;
}

std::string ReferenceInt(std::int64_t value, int width) {
    std::string text = std::to_string(value);
    if (text.size() < std::size_t(width)) text.insert(0, std::size_t(width) - text.size(), ' ');
    return text;
}

RegionalSettings SettingsFrom(FuzzedDataProvider& input) {
    static const char* const decimal[] = {".", ",", "\u066B"};
    static const char* const time[] = {":", ".", "h", ""};
    RegionalSettings settings;
    settings.decimalSeparator = QString::fromUtf8(decimal[input.ConsumeIntegralInRange(0, 2)]);
    settings.timeSeparator = QString::fromUtf8(time[input.ConsumeIntegralInRange(0, 3)]);
    return settings;
}

void CheckFixed(double value, int width, int decimals, const RegionalSettings& settings) {
    const QString text = FormatFixed(value, width, decimals, settings);
    if (!std::isfinite(value)) return; // only that it does not crash
    FUZZ_CHECK(text.toStdString() ==
               ReferenceFixed(value, width, decimals, settings.decimalSeparator.toStdString()));
}

void CheckDateTime(FuzzedDataProvider& input, const RegionalSettings& settings) {
    DateTimeParts parts;
    parts.year = input.ConsumeIntegralInRange(1, 9999);
    parts.month = input.ConsumeIntegralInRange(1, 12);
    parts.day = input.ConsumeIntegralInRange(1, QDate(parts.year, parts.month, 1).daysInMonth());
    parts.hour = input.ConsumeIntegralInRange(0, 23);
    parts.minute = input.ConsumeIntegralInRange(0, 59);
    parts.second = input.ConsumeIntegralInRange(0, 59);
    parts.msec = input.ConsumeIntegralInRange(0, 999);
    const double value = EncodeDateTime(parts);
    const DateTimeParts back = DecodeDateTime(value);
    FUZZ_CHECK(back.year == parts.year && back.month == parts.month && back.day == parts.day);
    FUZZ_CHECK(back.hour == parts.hour && back.minute == parts.minute &&
               back.second == parts.second && back.msec == parts.msec);
    FUZZ_CHECK(SecondOfDay(value) == parts.hour * 3600 + parts.minute * 60 + parts.second);

    const QString sep = settings.timeSeparator;
    auto padded = [](int number, int digits) {
        return QString::number(number).rightJustified(digits, QLatin1Char('0'));
    };
    const QString expected = padded(parts.year, 4) + u'-' + padded(parts.month, 2) + u'-' +
                             padded(parts.day, 2) + u' ' + padded(parts.hour, 2) + sep +
                             padded(parts.minute, 2) + sep + padded(parts.second, 2) + u'.' +
                             padded(parts.msec, 3);
    FUZZ_CHECK(FormatDateTime(value, QStringLiteral("yyyy-mm-dd hh:nn:ss.zzz"), settings) ==
               expected);

    // The log line of a record made at that time.
    SecondRecord record;
    record.timeStamp = value;
    record.temperature = std::bit_cast<float>(input.ConsumeIntegral<std::uint32_t>());
    record.mean = input.ConsumeIntegral<std::int32_t>();
    record.range = input.ConsumeIntegral<std::int32_t>();
    const QString line = LogLine(record, settings);
    if (std::isfinite(record.temperature)) {
        FUZZ_CHECK(line == expected.left(17 + sep.size() * 2) + QStringLiteral(" ") +
                               FormatFixed(record.temperature, 5, 1, settings) +
                               QStringLiteral(" ") + FormatInt(record.mean, 7) +
                               QStringLiteral(" ") + FormatInt(record.range, 1));
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzedDataProvider input(data, size);
    const RegionalSettings settings = SettingsFrom(input);

    const double value = std::bit_cast<double>(input.ConsumeIntegral<std::uint64_t>());
    CheckFixed(value, input.ConsumeIntegralInRange(0, 24), input.ConsumeIntegralInRange(0, 12),
               settings);
    const auto integer = input.ConsumeIntegral<std::int64_t>();
    const int width = input.ConsumeIntegralInRange(0, 24);
    FUZZ_CHECK(FormatInt(integer, width).toStdString() == ReferenceInt(integer, width));

    const float temperature = std::bit_cast<float>(input.ConsumeIntegral<std::uint32_t>());
    const QString temperatureText = TemperatureText(temperature, settings);
    if (!(temperature > -273.15f))
        FUZZ_CHECK(temperatureText == QStringLiteral("Temperature: n/a"));
    else
        FUZZ_CHECK(temperatureText == QStringLiteral("Temperature: ") +
                                          FormatFixed(temperature, 5, 1, settings) +
                                          QStringLiteral(" \u00B0C"));
    const auto flux = input.ConsumeIntegral<std::int32_t>();
    FUZZ_CHECK(FluxText(flux) == (flux == 0 ? QStringLiteral("Flux: n/a")
                                            : QStringLiteral("Flux: %1 counts").arg(flux)));

    CheckDateTime(input, settings);
    // Any value at all, with any pattern: only that it does not crash or misbehave.
    const double anyTime = std::bit_cast<double>(input.ConsumeIntegral<std::uint64_t>());
    SecondOfDay(anyTime);
    FormatDateTime(anyTime, QString::fromStdString(input.ConsumeRemainingBytesAsString()),
                   settings);
    return 0;
}
