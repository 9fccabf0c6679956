// SPDX-License-Identifier: GPL-3.0-or-later
// One line of the logger's state socket, as the INDI driver reads it. What a line does not
// hold, or holds as null, stays unknown.
#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

#include <optional>

struct StationLine {
    QString station;
    bool linkUp = false;
    QString hint;
    QString time; // UTC of the newest reading, ISO 8601; empty: none yet
    std::optional<double> count;
    std::optional<double> range;
    std::optional<double> temperature;
    std::optional<double> magnitude;
    QString condition; // empty: not known
    bool safe = false;
    QString why;
};

// The line's fields, or nothing when it is no JSON object.
std::optional<StationLine> ReadStationLine(const QByteArray& line);

// Splits what came from the socket into whole lines; a partial line stays in `buffer`.
// A line that never ends is dropped once the buffer passes `limit`.
QList<QByteArray> TakeLines(QByteArray& buffer, qsizetype limit = 64 * 1024);
