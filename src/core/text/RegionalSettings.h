// SPDX-License-Identifier: GPL-3.0-or-later
// The user's regional settings that shape every text the program writes: the decimal
// separator of numbers, the separator between hours and minutes, and the separator of
// digit groups in a chart's labels.
#pragma once

#include <QString>

class QLocale;

struct RegionalSettings {
    QString decimalSeparator = ".";
    QString timeSeparator = ":";
    QString groupSeparator = ",";

    // Decimal and group separators of the locale, and the literal text between the hour
    // and the minute field of its short time format (":" when the format has none).
    static RegionalSettings FromLocale(const QLocale& locale);
    // The settings of the user's locale as the system reports it now.
    static RegionalSettings FromSystem();
};
