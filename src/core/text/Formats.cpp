// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/text/Formats.h"

#include "core/station/SecondRecord.h"
#include "core/text/DateTimeValue.h"
#include "sensor/PICUSBClass.h"

#include <bit>
#include <charconv>
#include <cmath>
#include <string>
#include <string_view>

namespace {
// A value in fixed notation with '.' as the point, rounded for the formats. Longest
// result: a sign, a 309-digit integer part, the point and the decimals.
class FixedDigits {
public:
    FixedDigits(double value, int decimals) {
        decimals = decimals < 0 ? 0 : decimals;
        const std::size_t needed = std::size_t(decimals) + 320;
        if (needed > sizeof(local_)) {
            heap_.resize(needed);
            begin_ = heap_.data();
        } else {
            begin_ = local_;
        }
        if (!std::isfinite(value)) {
            Write(value, 0, needed);
            return;
        }
        // A tie at the last decimal is the only case where the correctly rounded
        // result (ties to even) differs from rounding half away from zero. The exact
        // binary value is a tie exactly when its decimal expansion has one fraction
        // digit more than asked for (that digit is then necessarily a 5).
        if (ExactFractionDigits(value) == decimals + 1) {
            Write(value, decimals + 1, needed); // exact, no rounding
            --end_;                             // drop the 5
            if (decimals == 0) --end_;          // and the point before it
            IncrementMagnitude();
        } else {
            Write(value, decimals, needed);
        }
        DropMinusOfZero();
    }

    FixedDigits(const FixedDigits&) = delete;
    FixedDigits& operator=(const FixedDigits&) = delete;

    const char* begin() const { return begin_; }
    const char* end() const { return end_; }
    qsizetype size() const { return end_ - begin_; }

private:
    // Digits after the point of the exact decimal expansion of a finite double.
    static int ExactFractionDigits(double value) {
        if (value == 0) return 0;
        int exponent = 0;
        const double fraction = std::frexp(std::fabs(value), &exponent); // [0.5, 1)
        const auto mantissa = std::uint64_t(std::ldexp(fraction, 53));
        const int digits = 53 - exponent - std::countr_zero(mantissa);
        return digits > 0 ? digits : 0;
    }

    void Write(double value, int decimals, std::size_t capacity) {
        // std::to_chars is exact and ignores the C library's locale.
        end_ =
            std::to_chars(begin_, begin_ + capacity, value, std::chars_format::fixed, decimals).ptr;
    }

    void IncrementMagnitude() {
        for (char* p = end_ - 1; p >= begin_; --p) {
            if (*p == '.') continue;
            if (*p == '-') break;
            if (*p != '9') {
                ++*p;
                return;
            }
            *p = '0';
        }
        // Carried past the first digit: insert a 1 after the sign.
        char* first = begin_ + (*begin_ == '-' ? 1 : 0);
        for (char* p = end_; p > first; --p)
            *p = *(p - 1);
        *first = '1';
        ++end_;
    }

    void DropMinusOfZero() {
        if (*begin_ != '-') return;
        for (const char* p = begin_ + 1; p < end_; ++p)
            if (*p != '0' && *p != '.') return;
        ++begin_;
    }

    char local_[384];
    std::string heap_;
    char* begin_ = nullptr;
    char* end_ = nullptr;
};

void AppendPadding(QString& out, qsizetype length, int width) {
    if (length < width) out.resize(out.size() + width - length, u' ');
}

void AppendFixed(QString& out, double value, int width, int decimals, const QString& separator) {
    const FixedDigits digits(value, decimals);
    AppendPadding(out, digits.size(), width);
    const std::string_view text(digits.begin(), std::size_t(digits.size()));
    const std::size_t point = text.find('.');
    out.append(QLatin1StringView(text.substr(0, point)));
    if (point == std::string_view::npos) return;
    out.append(separator);
    out.append(QLatin1StringView(text.substr(point + 1)));
}

void AppendInt(QString& out, std::int64_t value, int width) {
    char buffer[24];
    const char* end = std::to_chars(buffer, buffer + sizeof(buffer), value).ptr;
    AppendPadding(out, end - buffer, width);
    out.append(QLatin1StringView(buffer, end - buffer));
}

void AppendZeroPadded(QString& out, int value, int digits) {
    char buffer[16];
    char* p = buffer;
    if (value < 0) {
        *p++ = '-';
        value = -value;
    }
    const auto [end, ec] = std::to_chars(p, buffer + sizeof(buffer), value);
    (void)ec;
    for (auto length = end - p; length < digits; ++length)
        out.append(u'0');
    out.append(QLatin1StringView(buffer, end - buffer));
}

// True when `count` copies of `letter` stand at `i`.
bool RunAt(QStringView pattern, qsizetype i, char16_t letter, qsizetype count) {
    if (pattern.size() - i < count) return false;
    for (qsizetype k = 0; k < count; ++k)
        if (pattern[i + k] != letter) return false;
    return true;
}

void AppendDateTime(QString& out, double value, QStringView pattern,
                    const RegionalSettings& settings) {
    const DateTimeParts parts = DecodeDateTime(value);
    struct Field {
        char16_t letter;
        qsizetype length;
        int value;
    };
    const Field fields[] = {{u'y', 4, parts.year}, {u'm', 2, parts.month},  {u'd', 2, parts.day},
                            {u'h', 2, parts.hour}, {u'n', 2, parts.minute}, {u's', 2, parts.second},
                            {u'z', 3, parts.msec}};
    for (qsizetype i = 0; i < pattern.size();) {
        const Field* match = nullptr;
        for (const Field& field : fields)
            if (pattern[i] == field.letter && RunAt(pattern, i, field.letter, field.length))
                match = &field;
        if (match) {
            AppendZeroPadded(out, match->value, int(match->length));
            i += match->length;
        } else {
            if (pattern[i] == u':')
                out.append(settings.timeSeparator);
            else
                out.append(pattern[i]);
            ++i;
        }
    }
}

} // namespace

QString FormatDateTime(double dateTimeValue, const QString& pattern,
                       const RegionalSettings& settings) {
    QString out;
    out.reserve(pattern.size() + 8);
    AppendDateTime(out, dateTimeValue, pattern, settings);
    return out;
}

QString FormatFixed(double value, int width, int decimals, const RegionalSettings& settings) {
    QString out;
    AppendFixed(out, value, width, decimals, settings.decimalSeparator);
    return out;
}

QString FormatInt(std::int64_t value, int width) {
    QString out;
    AppendInt(out, value, width);
    return out;
}

QString LogLine(const SecondRecord& record, const RegionalSettings& settings) {
    QString line;
    line.reserve(40);
    AppendDateTime(line, record.timeStamp, u"yyyy-mm-dd hh:nn:ss", settings);
    line.append(u' ');
    AppendFixed(line, record.temperature, 5, 1, settings.decimalSeparator);
    line.append(u' ');
    AppendInt(line, record.mean, 7);
    line.append(u' ');
    AppendInt(line, record.range, 1);
    return line;
}

QString TemperatureText(float temperature, const RegionalSettings& settings) {
    // The start value -1000 and the failure value both read as no temperature; a NaN
    // reading is none either, hence the negated comparison.
    if (!(temperature > TPICUSB::kFailedTemperature)) return QStringLiteral("Temperature: n/a");
    QString text = QStringLiteral("Temperature: ");
    AppendFixed(text, temperature, 5, 1, settings.decimalSeparator);
    text.append(QStringLiteral(" \u00B0C"));
    return text;
}

QString FluxText(std::int32_t flux) {
    if (flux == 0) return QStringLiteral("Flux: n/a");
    QString text = QStringLiteral("Flux: ");
    AppendInt(text, flux, 0);
    text.append(QStringLiteral(" counts"));
    return text;
}
