// SPDX-License-Identifier: GPL-3.0-or-later
// Asks for the first and the last night of the nightly figures.
#pragma once

#include <cstdint>

class QWidget;

// `first` and `last` (evenings, days since 1970-01-01) hold the proposal and, when the
// user accepts, the choice.
bool AskNights(QWidget* parent, std::int64_t& first, std::int64_t& last);
