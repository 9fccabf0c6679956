// SPDX-License-Identifier: GPL-3.0-or-later
// The calibration entries' numbers: the rule a text must follow to be read as a number,
// and the general form a number is written back in.
#pragma once

#include <QString>

// Reads the whole text as an extended-precision number: spaces around it (the space
// only), an optional sign, digits with an optional `decimalSeparator` and more digits
// (at least one digit or the separator), an optional exponent "E"/"e" with optional sign
// and digits (none counts as 0; digits are taken only while the exponent is below 500).
// No digit grouping. False, with *out untouched, when the text breaks the rule or the
// value is too large for a long double.
bool ParseCalibration(const QString& text, const QString& decimalSeparator, long double* out);

// 15 significant digits, halves rounded away from zero on the 18-digit decimal form,
// trailing zeros dropped; plain for 0.0001 <= |value| < 1e15, else "1.5E-7" style with no
// "+" and no leading zeros in the exponent. Zero of either sign is "0".
QString FormatGeneral(long double value, const QString& decimalSeparator);

// What an entry shows after the user leaves it: its number in the general form, or 0 when
// the text breaks the rule.
QString TidyCalibrationText(const QString& text, const QString& decimalSeparator);
