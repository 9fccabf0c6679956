// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/text/RegionalSettings.h"

#include <QLocale>

namespace {
bool IsHourLetter(QChar c) {
    return c == u'h' || c == u'H';
}

// The literal text between the hour field and the minute field of a QLocale time format.
// Quoted text ('...', with '' for a quote) is literal; letters outside quotes are fields.
QString HourMinuteSeparator(const QString& format) {
    bool quoted = false;
    bool afterHour = false;
    QString literal;
    for (qsizetype i = 0; i < format.size(); ++i) {
        const QChar c = format[i];
        if (c == u'\'') {
            if (i + 1 < format.size() && format[i + 1] == u'\'') {
                if (afterHour) literal += u'\'';
                ++i;
            } else {
                quoted = !quoted;
            }
            continue;
        }
        if (!quoted && IsHourLetter(c)) {
            afterHour = true;
            literal.clear();
            while (i + 1 < format.size() && IsHourLetter(format[i + 1]))
                ++i;
            continue;
        }
        if (!afterHour) continue;
        if (!quoted && c == u'm') return literal.isEmpty() ? QStringLiteral(":") : literal;
        literal += c;
    }
    return QStringLiteral(":");
}
} // namespace

RegionalSettings RegionalSettings::FromLocale(const QLocale& locale) {
    RegionalSettings settings;
    const QString decimal = locale.decimalPoint();
    if (!decimal.isEmpty()) settings.decimalSeparator = decimal;
    settings.timeSeparator = HourMinuteSeparator(locale.timeFormat(QLocale::ShortFormat));
    settings.groupSeparator = locale.groupSeparator();
    return settings;
}

RegionalSettings RegionalSettings::FromSystem() {
    return FromLocale(QLocale::system());
}
