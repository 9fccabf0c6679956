// SPDX-License-Identifier: GPL-3.0-or-later
// A reader of the skyglow community's exchange format 1.0, written from the standard's
// rules alone and as strict as the strictest readers of the field (the tests read back
// every file the station writes with it; the viewer reads another instrument's files with
// it to calibrate against): ASCII, CR LF after
// every line, the header's first line names the standard, its third gives the number of
// header lines, each of them starts with "# " and holds at most 150 characters, the last
// is "# END OF HEADER"; the position is three numbers; every data line has the number of
// fields the header announces, separated by ';', the first two ISO 8601 times with
// milliseconds, every other field a number (an empty field is an error, as it stops the
// readers that convert each column); UTC times never go back.
#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QMap>
#include <QString>

#include <vector>

namespace skyglow {

struct Row {
    QDateTime utc;
    QDateTime local; // as written, no zone
    double temperature = 0;
    double counts = 0;
    double range = 0;
    double msas = 0; // the sixth field: MSAS in the files of the field's instruments
};

struct Parsed {
    QString error;                      // empty: the file reads
    QMultiMap<QString, QString> header; // "Key" -> "value" of the "# Key: value" lines
    double latitude = 0, longitude = 0, elevation = 0;
    int fields = 0;
    std::vector<Row> rows;
};

// The rows stop at the first fault: `error` says which line and why.
Parsed Parse(const QByteArray& file);

} // namespace skyglow
