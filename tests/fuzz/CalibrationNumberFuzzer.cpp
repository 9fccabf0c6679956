// SPDX-License-Identifier: GPL-3.0-or-later
// Any text read by the calibration number rule, and any number written in the general
// form. A text the rule takes gives the value a plain reading of the same decimal number
// gives, and one it refuses leaves the value alone; what an entry shows after it is left
// reads back by the rule, and leaving it again changes nothing.
#include "FuzzCheck.h"
#include "core/text/CalibrationNumber.h"

#include <QRegularExpression>

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

const QString kSeparators[] = {QStringLiteral("."), QStringLiteral(","), QStringLiteral("\u066B")};

// The rule's grammar, written as a pattern: spaces, a sign, digits with the separator and
// more digits (at least a digit or the separator), an exponent with a sign and digits
// (none counts as 0), spaces.
QRegularExpression Grammar(const QString& separator) {
    const QString sep = QRegularExpression::escape(separator);
    return QRegularExpression(QStringLiteral("\\A *([+-]?)([0-9]*)(?:%1([0-9]*))?"
                                             "(?:[eE]([+-]?)([0-9]*))? *\\z")
                                  .arg(sep));
}

// The rule's limit on exponents: digits are taken while the exponent read is below 500.
bool ExponentWithinLimit(const QString& digits) {
    long long exponent = 0;
    for (const QChar digit : digits) {
        if (exponent >= 500) return false;
        exponent = exponent * 10 + (digit.unicode() - u'0');
    }
    return true;
}

} // namespace

// The first byte chooses the decimal separator; the rest is the text, in UTF-8.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0 || size > 4096) return 0;
    const QString& separator = kSeparators[data[0] % 3];
    const QString text =
        QString::fromUtf8(reinterpret_cast<const char*>(data + 1), qsizetype(size - 1));

    long double value = 7.25L; // a value no refused text may change
    const bool taken = ParseCalibration(text, separator, &value);
    if (!taken) FUZZ_CHECK(value == 7.25L);
    if (taken) FUZZ_CHECK(std::isfinite(value));

    // The same reading, done another way: the pattern, then strtold on the number with
    // the C library's point (the fuzzer runs in the "C" locale).
    const QRegularExpressionMatch match = Grammar(separator).match(text);
    const bool hasMantissa =
        match.hasMatch() && (!match.captured(2).isEmpty() || match.capturedStart(3) >= 0);
    if (match.hasMatch() && hasMantissa && ExponentWithinLimit(match.captured(5))) {
        std::string plain =
            (match.captured(1) +
             (match.captured(2).isEmpty() ? QStringLiteral("0") : match.captured(2)) +
             QStringLiteral(".") + match.captured(3) + QStringLiteral("e") + match.captured(4) +
             (match.captured(5).isEmpty() ? QStringLiteral("0") : match.captured(5)))
                .toStdString();
        const long double expected = std::strtold(plain.c_str(), nullptr);
        if (std::isinf(expected)) {
            FUZZ_CHECK(!taken);
        } else {
            FUZZ_CHECK(taken);
            FUZZ_CHECK(value == expected || (std::isnan(value) && std::isnan(expected)));
        }
    } else {
        FUZZ_CHECK(!taken);
    }

    // Leaving the entry: the text it then shows reads back, and stays as it is.
    const QString tidy = TidyCalibrationText(text, separator);
    long double again = 0;
    FUZZ_CHECK(ParseCalibration(tidy, separator, &again));
    FUZZ_CHECK(TidyCalibrationText(tidy, separator) == tidy);
    // 15 significant digits: the number shown is the value to within half a unit of the
    // 15th digit.
    if (taken && value != 0 && std::isnormal(value))
        FUZZ_CHECK(std::fabs(again - value) <= std::fabs(value) * 5.1e-15L);
    return 0;
}
