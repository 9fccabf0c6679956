// SPDX-License-Identifier: GPL-3.0-or-later
#include "viewer/ViewerTexts.h"

#include "core/text/Formats.h"

#include <QFileInfo>

QString SpanTitle(const TimeSpan& span) {
    switch (span.kind) {
    case SpanKind::Day:
        return QStringLiteral("Day %1").arg(IsoDate(span.day));
    case SpanKind::Night:
        return QStringLiteral("Night %1 to %2").arg(IsoDate(span.day), IsoDate(span.day + 1));
    case SpanKind::Week:
        return QStringLiteral("Week %1 to %2").arg(IsoDate(span.day - 6), IsoDate(span.day));
    }
    return {};
}

QString ClockText(WallSeconds t, const QString& separator) {
    const WallSeconds s = t - StartOfDay(DayOf(t));
    const auto two = [](WallSeconds v) {
        return QStringLiteral("%1").arg(v, 2, 10, QLatin1Char('0'));
    };
    return two(s / 3600) + separator + two(s / 60 % 60) + separator + two(s % 60);
}

QString ReadoutText(WallSeconds t, const DayRecord* record, const RegionalSettings& settings) {
    const WallSeconds at = record ? record->time : t;
    QString text = IsoDate(DayOf(at)) + QLatin1Char(' ') + ClockText(at, settings.timeSeparator);
    if (!record) return text + QStringLiteral("   no line");
    const QString temperature = FormatFixed(record->Temperature(), 0, 1, settings);
    if (record->Failed())
        return text + QStringLiteral("   sensor failed (%1 \u00B0C, range %2)")
                          .arg(temperature)
                          .arg(record->range);
    return text + QStringLiteral("   counts %1   %2 \u00B0C   range %3")
                      .arg(record->mean)
                      .arg(temperature)
                      .arg(record->range);
}

QString SpanSummaryText(const TimeSpan& span, std::size_t lines, std::size_t failedSeconds) {
    if (lines == 0)
        return QStringLiteral("No lines between %1 and %2")
            .arg(IsoWallTime(span.from).replace(u'T', u' '),
                 IsoWallTime(span.to).replace(u'T', u' '));
    QString text = QStringLiteral("%1 lines").arg(lines);
    if (failedSeconds > 0) text += QStringLiteral(", %1 failed seconds").arg(failedSeconds);
    return text;
}

QString NotesText(const SpanLines& lines) {
    QStringList notes;
    if (lines.skipped.count > 0) {
        const QString text =
            lines.skipped.count == 1
                ? QStringLiteral("%1 line skipped that is not a log line, the first in %2, line %3")
                : QStringLiteral(
                      "%1 lines skipped that are not log lines, the first in %2, line %3");
        notes << text.arg(lines.skipped.count)
                     .arg(QFileInfo(lines.skipped.firstFile).fileName())
                     .arg(lines.skipped.firstLine);
    }
    notes << lines.problems;
    return notes.join(QStringLiteral("; "));
}
