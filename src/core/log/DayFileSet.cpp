// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/log/DayFileSet.h"

#include <QDir>
#include <QFileInfo>

#include <algorithm>

DayFileSet DayFileSet::FromFolder(const QString& folder) {
    DayFileSet set;
    set.folder_ = folder.isEmpty() ? QStringLiteral(".") : folder;
    set.Rescan();
    return set;
}

DayFileSet DayFileSet::FromPaths(const QStringList& paths) {
    DayFileSet set;
    for (const QString& path : paths) {
        const File file{path, DayOfName(QFileInfo(path).fileName())};
        if (std::find(set.files_.begin(), set.files_.end(), file) == set.files_.end())
            set.files_.push_back(file);
    }
    set.Sort();
    return set;
}

bool DayFileSet::Rescan() {
    if (!IsFolder()) return false;
    const QDir dir(folder_);
    // QDir::Files without QDir::System leaves out FIFOs, sockets and devices; the reader
    // checks again when it opens a file.
    const QStringList names = dir.entryList({QStringLiteral("*.txt")}, QDir::Files | QDir::Hidden);
    std::vector<File> files;
    files.reserve(std::size_t(names.size()));
    for (const QString& name : names)
        if (const std::int64_t day = DayOfName(name); day != kUndated)
            files.push_back({dir.filePath(name), day});
    std::swap(files, files_);
    Sort();
    return files != files_;
}

void DayFileSet::Sort() {
    std::stable_sort(files_.begin(), files_.end(), [](const File& a, const File& b) {
        if (a.day == kUndated || b.day == kUndated) return a.day != kUndated && b.day == kUndated;
        return a.day < b.day;
    });
}

std::vector<DayFileSet::File> DayFileSet::FilesFor(WallSeconds from, WallSeconds to) const {
    const std::int64_t first = DayOf(from) - 1;
    const std::int64_t last = DayOf(to > from ? to - 1 : from) + 1;
    std::vector<File> files;
    for (const File& file : files_)
        if (file.day == kUndated || (file.day >= first && file.day <= last)) files.push_back(file);
    return files;
}

std::int64_t DayFileSet::DayOfName(const QString& fileName) {
    if (fileName.size() != 12 || !fileName.endsWith(QLatin1StringView(".txt"))) return kUndated;
    int digits[8];
    for (int i = 0; i < 8; ++i) {
        const QChar c = fileName[i];
        if (c < u'0' || c > u'9') return kUndated;
        digits[i] = c.unicode() - u'0';
    }
    const int year = digits[0] * 1000 + digits[1] * 100 + digits[2] * 10 + digits[3];
    const int month = digits[4] * 10 + digits[5];
    const int day = digits[6] * 10 + digits[7];
    if (month < 1 || month > 12 || day < 1 || day > DaysInMonth(year, month)) return kUndated;
    return DaysFromCivil(year, month, day);
}
