// SPDX-License-Identifier: GPL-3.0-or-later
// Asks for the first and the last night of the nightly figures.
#pragma once

#include <QDate>

#include <cstdint>

class QWidget;

// A night's evening (days since 1970-01-01) as the date editors show it, and back.
QDate DateOf(std::int64_t day);
std::int64_t DayOfDate(const QDate& date);

// `first` and `last` (evenings, days since 1970-01-01) hold the proposal and, when the
// user accepts, the choice.
bool AskNights(QWidget* parent, std::int64_t& first, std::int64_t& last);
