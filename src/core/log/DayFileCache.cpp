// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/log/DayFileCache.h"

DayFileCache::Entry DayFileCache::Get(const QString& path) {
    const FileStamp now = dayreader::StampOf(path);
    for (auto it = entries_.begin(); it != entries_.end(); ++it) {
        if (it->first != path) continue;
        if (it->second->status == dayreader::FileStatus::Read && it->second->stamp == now) {
            entries_.splice(entries_.begin(), entries_, it);
            return entries_.front().second;
        }
        entries_.erase(it);
        break;
    }
    auto entry = std::make_shared<const dayreader::FileResult>(dayreader::ReadFile(path));
    // Only files that were read are kept: a missing or refused file is asked again.
    if (entry->status == dayreader::FileStatus::Read) {
        entries_.emplace_front(path, entry);
        if (entries_.size() > capacity_) entries_.pop_back();
    }
    return entry;
}
