// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/text/LocalClock.h"
#include "core/text/DateTimeValue.h"

#include <QDateTime>

double SystemClock::Now() {
    const QDateTime now = QDateTime::currentDateTime();
    const QDate d = now.date();
    const QTime t = now.time();
    return EncodeDateTime(
        {d.year(), d.month(), d.day(), t.hour(), t.minute(), t.second(), t.msec()});
}
