// SPDX-License-Identifier: GPL-3.0-or-later
// Day files read once and kept while they stay as they are on disk: stepping from one
// night to the next reads only the file that is new to the view. A file is read again
// when its stamp (inode, size, modification time) changes, as every save of the daily
// log changes it.
#pragma once

#include "core/log/DayFileReader.h"

#include <QString>

#include <list>
#include <memory>
#include <utility>

class DayFileCache {
public:
    using Entry = std::shared_ptr<const dayreader::FileResult>;

    // Keeps at most `capacity` files, the most recently used.
    explicit DayFileCache(std::size_t capacity = 16)
        : capacity_(capacity) {}

    // The file as it is now: from the cache when unchanged, else read afresh.
    Entry Get(const QString& path);
    void Clear() { entries_.clear(); }

private:
    std::size_t capacity_;
    std::list<std::pair<QString, Entry>> entries_; // most recently used first
};
