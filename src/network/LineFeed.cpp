// SPDX-License-Identifier: GPL-3.0-or-later
#include "network/LineFeed.h"

#include "core/log/DayFileSet.h"

#include <QDir>

LineFeed::LineFeed(QString directory, std::size_t ringLines)
    : directory_(std::move(directory))
    , ringLines_(ringLines == 0 ? 1 : ringLines) {}

void LineFeed::Loaded(const QString& file, std::int64_t logLines) {
    appendFile_ = file;
    appendIndex_ = logLines;
}

void LineFeed::Appended(const QString& file, const DayRecord& record) {
    if (file != appendFile_) {
        appendFile_ = file;
        appendIndex_ = 0;
    }
    ring_.push_back({{file, appendIndex_++, record}, nextSeq_++});
    if (ring_.size() > ringLines_) ring_.pop_front();
    // Waiting for the log's first file: it is here.
    if (!started_ && waiting_) StartAfter(std::nullopt);
}

void LineFeed::StartAfter(const std::optional<FileLine>& line) {
    live_ = false;
    checked_ = false;
    records_.clear();
    records_.shrink_to_fit();
    loadedFile_.clear();
    before_.reset();
    if (line) {
        file_ = line->file;
        index_ = line->index + 1;
        if (line->index >= 0) before_ = line->record;
    } else {
        if (origin_.isEmpty()) origin_ = appendFile_;
        file_ = origin_;
        index_ = 0;
    }
    waiting_ = file_.isEmpty();
    started_ = !waiting_;
    // A publisher that falls behind only a little finds its lines in the ring.
    if (started_) EnterRing();
}

std::optional<FileLine> LineFeed::Next() {
    if (!started_) return std::nullopt;
    if (live_) {
        if (!ring_.empty() && ringNext_ < ring_.front().seq) {
            // The ring let lines go before they were sent: from the files again.
            live_ = false;
            checked_ = false;
        } else {
            if (ring_.empty() || ringNext_ > ring_.back().seq) return std::nullopt;
            const FileLine& line = ring_[std::size_t(ringNext_ - ring_.front().seq)].line;
            ++ringNext_;
            file_ = line.file;
            index_ = line.index + 1;
            before_ = line.record;
            return line;
        }
    }
    if (std::optional<FileLine> line = NextFromFile()) return line;
    if (EnterRing()) return Next();
    if (MoveToNextFile()) return Next();
    return std::nullopt;
}

bool LineFeed::LoadFile(const QString& file) {
    const QString path = QDir(directory_).filePath(file);
    const FileStamp stamp = dayreader::StampOf(path);
    if (file == loadedFile_ && stamp == loadedStamp_) return false;
    dayreader::FileResult result = dayreader::ReadFile(path);
    records_ = std::move(result.contents.records);
    loadedFile_ = file;
    loadedStamp_ = result.stamp;
    checked_ = false;
    return true;
}

std::optional<FileLine> LineFeed::NextFromFile() {
    if (file_.isEmpty()) return std::nullopt;
    if (loadedFile_ != file_ || index_ >= std::int64_t(records_.size())) LoadFile(file_);
    if (!checked_ && before_) {
        // The line before must be the one handed out last; else look for it.
        const std::int64_t at = index_ - 1;
        if (at < 0 || at >= std::int64_t(records_.size()) ||
            records_[std::size_t(at)] != *before_) {
            std::int64_t found = -1;
            for (std::int64_t i = std::int64_t(records_.size()); i-- > 0;)
                if (records_[std::size_t(i)] == *before_) {
                    found = i;
                    break;
                }
            // Not there at all: the file's lines are not the ones sent; all of them go.
            // A file that only holds fewer lines than the index (not yet saved) waits.
            if (found >= 0)
                index_ = found + 1;
            else if (at < std::int64_t(records_.size()))
                index_ = 0;
        }
        checked_ = index_ <= std::int64_t(records_.size());
    }
    if (index_ >= std::int64_t(records_.size())) return std::nullopt;
    const FileLine line{file_, index_, records_[std::size_t(index_)]};
    before_ = line.record;
    ++index_;
    return line;
}

bool LineFeed::EnterRing() {
    // The ring's line at the file's next place, with the line handed out last before it
    // when the ring holds that too.
    for (std::size_t i = 0; i < ring_.size(); ++i) {
        const FileLine& line = ring_[i].line;
        if (line.file != file_ || line.index != index_) continue;
        if (i > 0) {
            const FileLine& prior = ring_[i - 1].line;
            if (prior.file == file_ && before_ && prior.record != *before_) return false;
        }
        live_ = true;
        ringNext_ = ring_[i].seq;
        records_.clear();
        records_.shrink_to_fit();
        loadedFile_.clear();
        return true;
    }
    return false;
}

bool LineFeed::MoveToNextFile() {
    // The file is read to its end: a later day's file goes on, once the current one can
    // grow no more (the log appends to a later day now, or a later file is on disk).
    const std::int64_t day = DayFileSet::DayOfName(file_);
    if (day == DayFileSet::kUndated) return false;
    QString next;
    const DayFileSet files = DayFileSet::FromFolder(directory_);
    for (const DayFileSet::File& f : files.Files())
        if (f.day != DayFileSet::kUndated && f.day > day) {
            next = f.path.mid(f.path.lastIndexOf(u'/') + 1);
            break;
        }
    if (next.isEmpty()) {
        // Not on disk yet: the ring's first line of a later day, when it is that file's first.
        for (const RingLine& r : ring_)
            if (DayFileSet::DayOfName(r.line.file) > day) {
                if (r.line.index == 0) next = r.line.file;
                break;
            }
        if (next.isEmpty()) return false;
    }
    file_ = next;
    index_ = 0;
    before_.reset();
    checked_ = false;
    return true;
}
