// SPDX-License-Identifier: GPL-3.0-or-later
// The user's regional settings that shape every text the program writes: the decimal
// separator of numbers and the separator between hours and minutes.
#pragma once

#include <QString>

class QLocale;

struct RegionalSettings {
    QString decimalSeparator = ".";
    QString timeSeparator = ":";

    // Decimal separator of the locale, and the literal text between the hour and the
    // minute field of its short time format (":" when the format has none).
    static RegionalSettings FromLocale(const QLocale& locale);
    // The settings of the user's locale as the system reports it now.
    static RegionalSettings FromSystem();
};
