// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/text/CalibrationNumber.h"

#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdlib>
#include <string>

namespace {
constexpr int kExponentLimit = 500;

bool IsDigit(QChar c) {
    return c >= u'0' && c <= u'9';
}

// The significant digits and decimal exponent of a finite, non-zero value, rounded to 15
// digits half away from zero from its 18-digit decimal form. Trailing zeros dropped.
struct Decimal {
    std::string digits;
    int exponent = 0;
};

Decimal RoundTo15(long double magnitude) {
    char buffer[64];
    // d.ddddddddddddddddde±x: 18 significant digits; std::to_chars ignores the locale.
    const char* end =
        std::to_chars(buffer, buffer + sizeof(buffer), magnitude, std::chars_format::scientific, 17)
            .ptr;
    Decimal d;
    d.digits.reserve(18);
    const char* p = buffer;
    for (; p < end && *p != 'e'; ++p)
        if (*p != '.') d.digits.push_back(*p);
    d.exponent = std::atoi(std::string(p + 1, end).c_str());

    const bool up = d.digits.size() > 15 && d.digits[15] >= '5';
    d.digits.resize(15);
    if (up) {
        int i = 14;
        for (; i >= 0 && d.digits[i] == '9'; --i)
            d.digits[i] = '0';
        if (i >= 0) {
            ++d.digits[i];
        } else {
            d.digits.insert(d.digits.begin(), '1');
            d.digits.pop_back();
            ++d.exponent;
        }
    }
    while (d.digits.size() > 1 && d.digits.back() == '0')
        d.digits.pop_back();
    return d;
}
} // namespace

bool ParseCalibration(const QString& text, const QString& decimalSeparator, long double* out) {
    const qsizetype n = text.size();
    qsizetype i = 0;
    auto skipSpaces = [&] {
        while (i < n && text[i] == u' ')
            ++i;
    };

    skipSpaces();
    bool negative = false;
    if (i < n && (text[i] == u'+' || text[i] == u'-')) negative = text[i++] == u'-';

    // All mantissa digits as one integer, the separator's place moved into the exponent,
    // so that strtold never meets a locale's decimal point.
    std::string number = negative ? "-" : "";
    bool seen = false;
    long long fractionDigits = 0;
    for (; i < n && IsDigit(text[i]); ++i, seen = true)
        number.push_back(char(text[i].unicode()));
    if (!decimalSeparator.isEmpty() && QStringView(text).sliced(i).startsWith(decimalSeparator)) {
        i += decimalSeparator.size();
        seen = true;
        for (; i < n && IsDigit(text[i]); ++i, ++fractionDigits)
            number.push_back(char(text[i].unicode()));
    }
    if (!seen) return false;

    long long exponent = 0;
    if (i < n && (text[i] == u'E' || text[i] == u'e')) {
        ++i;
        bool negativeExponent = false;
        if (i < n && (text[i] == u'+' || text[i] == u'-')) negativeExponent = text[i++] == u'-';
        for (; i < n && IsDigit(text[i]); ++i) {
            if (exponent >= kExponentLimit) return false;
            exponent = exponent * 10 + (text[i].unicode() - u'0');
        }
        if (negativeExponent) exponent = -exponent;
    }
    skipSpaces();
    if (i != n) return false;

    if (number.size() == (negative ? 1u : 0u)) number.push_back('0'); // "." alone
    number += 'e';
    number += std::to_string(exponent - fractionDigits);

    errno = 0;
    char* end = nullptr;
    const long double value = std::strtold(number.c_str(), &end);
    // ERANGE with a finite result is an underflow towards zero, which is fine.
    if (end != number.c_str() + number.size() || std::isinf(value)) return false;
    *out = value;
    return true;
}

QString FormatGeneral(long double value, const QString& decimalSeparator) {
    if (value == 0) return QStringLiteral("0");
    if (std::isnan(value)) return QStringLiteral("NAN");
    if (std::isinf(value)) return value < 0 ? QStringLiteral("-INF") : QStringLiteral("INF");

    const Decimal d = RoundTo15(std::fabs(value));
    const int count = int(d.digits.size());
    QString out;
    if (value < 0) out.append(u'-');

    if (d.exponent >= -4 && d.exponent < 15) {
        if (d.exponent < 0) {
            out.append(u'0');
            out.append(decimalSeparator);
            out.append(QString(-d.exponent - 1, u'0'));
            out.append(QLatin1StringView(d.digits.data(), count));
        } else {
            const int integerDigits = d.exponent + 1;
            out.append(QLatin1StringView(d.digits.data(), std::min(count, integerDigits)));
            if (count < integerDigits) out.append(QString(integerDigits - count, u'0'));
            if (count > integerDigits) {
                out.append(decimalSeparator);
                out.append(
                    QLatin1StringView(d.digits.data() + integerDigits, count - integerDigits));
            }
        }
        return out;
    }

    out.append(QLatin1Char(d.digits[0]));
    if (count > 1) {
        out.append(decimalSeparator);
        out.append(QLatin1StringView(d.digits.data() + 1, count - 1));
    }
    out.append(u'E');
    out.append(QString::number(d.exponent));
    return out;
}

QString TidyCalibrationText(const QString& text, const QString& decimalSeparator) {
    long double value = 0;
    if (!ParseCalibration(text, decimalSeparator, &value)) value = 0;
    return FormatGeneral(value, decimalSeparator);
}
