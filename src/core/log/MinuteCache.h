// SPDX-License-Identifier: GPL-3.0-or-later
// Minute summaries of day files kept on disk between runs, one small file per day file,
// so that a year of nights opens without reading a year of lines.
//
// An entry records the size and modification time of the day file it was made from and is
// used only while the file still has both; otherwise the file is read and summarised again
// and the entry replaced. An entry is written to a temporary file and renamed into place,
// so a reader sees a whole entry or none; it carries a checksum, and an entry that is cut
// short, damaged or made for another file is read past and rebuilt, never trusted.
#pragma once

#include "core/log/MinuteSummary.h"

#include <QString>

#include <utility>

class MinuteCache {
public:
    // Entries under `directory`; an empty one keeps nothing (every file is read).
    explicit MinuteCache(QString directory = {})
        : directory_(std::move(directory)) {}

    // "nocturo" in the user's cache folder ($XDG_CACHE_HOME, else ~/.cache).
    static QString DefaultDirectory();

    // The summary of the day file at `path` as it is now: the entry when it matches the
    // file, else the file read afresh and its entry stored. Without `keep` (a file still
    // being written, today's) the file is always read and nothing is stored. Safe to call
    // from several threads at once for different paths.
    minutes::FileSummary Get(const QString& path, bool keep) const;

    // Where the entry for a day file is kept.
    QString EntryPath(const QString& path) const;
    const QString& Directory() const { return directory_; }

private:
    void Store(const QString& path, const minutes::FileSummary& file) const;

    QString directory_;
};
