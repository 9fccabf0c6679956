// SPDX-License-Identifier: GPL-3.0-or-later
// The other half of the failure convention: a function that can fail takes a last
// `QString* why`, which the caller may leave null when it does not need the reason.
#pragma once

#include <QString>

// Gives `why` the reason when the caller asked for one; false, so that a failing function
// can `return Fail(why, ...)`.
inline bool Fail(QString* why, const QString& reason) {
    if (why) *why = reason;
    return false;
}
