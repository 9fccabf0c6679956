// SPDX-License-Identifier: GPL-3.0-or-later
// The day files a view draws from: the "yyyymmdd.txt" files of a folder, or files named
// one by one. A file named after a day is expected to hold that day's lines (and, after a
// midnight without roll-over or a clock set back, some of the days either side); a file
// with any other name may hold any day's lines and is read for every span.
#pragma once

#include "core/log/DayRecord.h"

#include <QString>
#include <QStringList>

#include <cstdint>
#include <limits>
#include <vector>

class DayFileSet {
public:
    static constexpr std::int64_t kUndated = std::numeric_limits<std::int64_t>::min();

    struct File {
        QString path;
        std::int64_t day = kUndated; // days since 1970-01-01 of the name's date
        bool operator==(const File&) const = default;
    };

    DayFileSet() = default;
    // The day files of a folder, as it holds them now.
    static DayFileSet FromFolder(const QString& folder);
    // Files named on their own; none of them is looked for again.
    static DayFileSet FromPaths(const QStringList& paths);

    // Lists the folder again; true when its day files changed. A set of named files stays.
    bool Rescan();

    bool IsFolder() const { return !folder_.isEmpty(); }
    const QString& Folder() const { return folder_; }
    // Dated files by date, then the undated ones in the order given.
    const std::vector<File>& Files() const { return files_; }
    bool Empty() const { return files_.empty(); }

    // The files that may hold lines stamped within [from, to): those dated from the day
    // before `from` to the day after `to`, and every undated one, in the order above.
    std::vector<File> FilesFor(WallSeconds from, WallSeconds to) const;

    // The day of a file name "yyyymmdd.txt"; kUndated for any other name.
    static std::int64_t DayOfName(const QString& fileName);

private:
    void Sort();

    QString folder_;
    std::vector<File> files_;
};
