// SPDX-License-Identifier: GPL-3.0-or-later
// LineFeed: the lines a publisher sends, in the order of the day files, from wherever they
// are. The day files are the source of truth; the lines the daily log appends while the
// station runs are kept as well, in a ring of bounded size, so that a publisher that keeps
// up sends them as they come without reading a file.
//
// The feed hands out the line after the one it handed out last. That line is in the ring
// while the publisher keeps up; else (after a restart, a connection lost, or more lines
// behind than the ring holds) it is read back from its day file, and from the following
// day files in date order, until the feed finds itself again at the ring's lines. Lines not
// yet saved to a file wait in the ring, or, when the ring has let them go, until the next
// save brings them to the file. Memory stays bounded: the ring, and the log lines of the
// one day file being read back (16 bytes a line, at most a day's 86,400 of them).
//
// A line is found by its place in its file (its index among the file's log lines), checked
// against the line handed out before it; should the file hold other lines there (a file
// rewritten with lines kept in front), the line is looked for by its values, and failing
// that the file is sent again from its beginning: a line may go twice, never not at all.
#pragma once

#include "core/log/DayFileReader.h"
#include "network/PublishCursor.h"

#include <QString>

#include <cstddef>
#include <cstdint>
#include <deque>
#include <optional>
#include <vector>

class LineFeed {
public:
    static constexpr std::size_t kDefaultRingLines = 3600;

    explicit LineFeed(QString directory, std::size_t ringLines = kDefaultRingLines);

    // The daily log loaded `file`, which holds `logLines` log lines: the lines it appends to
    // that file next are its lines from that place on.
    void Loaded(const QString& file, std::int64_t logLines);
    // The daily log appended a line to `file`.
    void Appended(const QString& file, const DayRecord& record);

    // Goes on after `line` (the broker's acknowledged one, read back from the cursor; an
    // index of -1: from the beginning of its file), or when there is none, from the first
    // line of the first file the log loads or appends to, the same after every later call.
    void StartAfter(const std::optional<FileLine>& line);
    // The next line to send; nothing while none is ready (all sent, or the next one not yet
    // in a file and no longer in the ring).
    std::optional<FileLine> Next();
    // Whether the next line comes from the ring (the publisher keeps up).
    bool Live() const { return live_; }

    // The log lines of the file being read back, held in memory.
    std::size_t FileLinesHeld() const { return records_.size(); }

private:
    struct RingLine {
        FileLine line;
        std::uint64_t seq;
    };

    std::optional<FileLine> NextFromFile();
    bool LoadFile(const QString& file);
    bool EnterRing();
    bool MoveToNextFile();

    QString directory_;
    std::size_t ringLines_;
    std::deque<RingLine> ring_;
    std::uint64_t nextSeq_ = 0; // of the next line appended
    QString appendFile_;        // where the log appends, and the index it is at
    std::int64_t appendIndex_ = 0;

    bool started_ = false;
    bool waiting_ = false; // started without a file: the log's first one is awaited
    QString origin_;       // the file of the first start without a line: from its beginning
    bool live_ = false;
    std::uint64_t ringNext_ = 0; // while live: seq of the next line to hand out
    QString file_;               // while reading back: the file and the next index
    std::int64_t index_ = 0;
    std::optional<DayRecord> before_; // the line handed out last, for the check
    // The file being read back, as last read.
    QString loadedFile_;
    FileStamp loadedStamp_;
    std::vector<DayRecord> records_;
    bool checked_ = false; // index_ was checked against before_ in this reading
};
