// SPDX-License-Identifier: GPL-3.0-or-later
// Helpers for the plot tests: readable QStrings in gtest messages, and a point's label.
#pragma once

#include <QString>

#include <ostream>

inline void PrintTo(const QString& text, std::ostream* os) {
    *os << '"' << text.toStdString() << '"';
}

// The "hh:nn:ss" label of a second of the day, with ":" as the time separator.
inline QString Hms(int s) {
    return QStringLiteral("%1:%2:%3")
        .arg(s / 3600, 2, 10, QLatin1Char('0'))
        .arg(s / 60 % 60, 2, 10, QLatin1Char('0'))
        .arg(s % 60, 2, 10, QLatin1Char('0'));
}
