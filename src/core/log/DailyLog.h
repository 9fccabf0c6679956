// SPDX-License-Identifier: GPL-3.0-or-later
// The daily log: the day's lines in memory, one per completed second, and the day files
// ("yyyymmdd.txt") they are saved to.
//
// The text uses CR LF line breaks. A line is appended followed by CR LF; when the text
// loaded at start-up did not end with a line break, each appended line is preceded by CR LF
// instead and the text goes on ending without one.
//
// A save never removes a line that a day's file already holds. Each line remembers the day
// file it belongs to (the day of its record's time stamp; loaded lines belong to the file
// they came from), and a save writes every day that has lines in the log, plus the current
// day. Before a day's file is replaced, what it holds now is read back, and every line the
// log does not carry for that day is kept, in front of the log's lines. That one rule covers
// a clock set back (within a day or across midnight), the lone record made at midnight, a
// save of an empty log, missing end-of-day records, and a file that could not be loaded at
// start-up: if the file cannot be read, the save fails and the lines wait in memory.
//
// A save is atomic and durable: a temporary file in the same directory is written, flushed
// to disk and renamed over the day's file, so the file is always either old or new, whole.
#pragma once

#include "core/log/DayRecord.h"
#include "core/text/RegionalSettings.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <cstdint>
#include <vector>

struct SecondRecord;

// Views that mirror the log (the Data page, the plot) follow it through these calls,
// made after the log has changed.
class DailyLogObserver {
public:
    virtual ~DailyLogObserver() = default;
    // One line was appended; `line` comes without its line break.
    virtual void LineAppended(const QString& line) = 0;
    // The log was emptied at a roll-over: views empty themselves, the plot starts anew.
    virtual void Emptied() = 0;
    // The log's text was replaced by a loaded day file: its bytes, in the system's code page,
    // with CR LF line breaks. Shared, not copied: a view may keep it while it shows it.
    virtual void Loaded(const QByteArray& text) = 0;
    // A save ended: `complete` when it wrote every day it had to; nothing to do by default.
    virtual void Saved(bool /*complete*/) {}
};

class DailyLog {
public:
    // The day files lie in `directory` (the working directory by default).
    explicit DailyLog(QString directory = QStringLiteral("."));

    void SetRegionalSettings(const RegionalSettings& settings) { settings_ = settings; }
    const RegionalSettings& Settings() const { return settings_; }

    // "yyyymmdd.txt" of a date-time value's local date.
    static QString FileNameFor(double timeStamp);
    // The wall second a record's line is stamped with: its time stamp, the closing pass's,
    // milliseconds dropped. The line goes to the file of that stamp's date, so the second
    // closed at midnight is the new day's first line, stamped 00:00:00.
    static WallSeconds LineStamp(const SecondRecord& record);
    void SetLogFileName(const QString& name) { logFileName_ = name; }
    const QString& LogFileName() const { return logFileName_; }
    // Absolute path of a day file in the log's directory.
    QString FilePath(const QString& name) const;

    // The log's part in a second record: set the file name from the record's time stamp,
    // append its line, save after second 29 of each minute, and roll over (save, then
    // empty) after second 86398 or when the new second is smaller than the completed one.
    // Throws NocturoError when a save fails; the lines are kept then.
    void Take(const SecondRecord& record);
    // Appends a line (no line break in it) belonging to the file LogFileName().
    void Append(const QString& line);
    // Replaces the text with the file LogFileName() when it exists (lone CR and lone LF
    // become CR LF). False when there is no such file. Throws NocturoError when it exists
    // but cannot be read.
    bool Load();
    // Writes the log to the day files. Throws NocturoError with the first failure after
    // trying every day; the log is unchanged either way.
    void Save();
    // Empties the log and tells the observers.
    void Empty();

    QString Text() const { return QString::fromLocal8Bit(text_); }
    // The text as the file holds it: 8-bit, in the system's code page.
    const QByteArray& Bytes() const { return text_; }
    std::size_t LineCount() const { return lines_.size(); }
    bool IsEmpty() const { return lines_.empty(); }

    void AddObserver(DailyLogObserver* observer);
    void RemoveObserver(DailyLogObserver* observer);

private:
    struct LineSpan {
        qsizetype start;
        qsizetype length;
        std::int32_t day; // index into days_
    };

    std::int32_t DayIndex(const QString& fileName);
    void AppendBytes(const QByteArray& line, std::int32_t day);
    // What the log holds for one day file, as that file's bytes would be.
    QByteArray DayBytes(std::int32_t day) const;
    void SaveDay(const QString& fileName, std::int32_t day);

    QString directory_;
    QString logFileName_;
    RegionalSettings settings_;
    QByteArray text_;
    std::vector<LineSpan> lines_;
    QStringList days_; // the day files of the lines in the log, in order of appearance
    std::vector<DailyLogObserver*> observers_;
};
