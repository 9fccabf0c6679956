// SPDX-License-Identifier: GPL-3.0-or-later
// Shared helpers of the daily-log tests: records at a given time, a temporary directory
// of day files, and an observer that counts what it was told.
#pragma once

#include "core/log/DailyLog.h"
#include "core/station/SecondRecord.h"
#include "core/text/DateTimeValue.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <string>

inline double At(int year, int month, int day, int hour, int minute, int second) {
    return EncodeDateTime({year, month, day, hour, minute, second, 0});
}

// The record completing second `second` of the day, made at `madeAt` (the first pass of
// the next second seen), whose own second of the day is the new second.
inline SecondRecord Completing(std::int32_t second, double madeAt, std::int32_t mean = 1234) {
    SecondRecord record;
    record.timeStamp = madeAt;
    record.temperature = 21.5f;
    record.mean = mean;
    record.range = 3;
    record.second = second;
    record.newSecond = SecondOfDay(madeAt);
    record.deviceActive = true;
    return record;
}

// A record closing a second of 26 January 2009 one second later, as passes without a clock
// change make them.
inline SecondRecord OnJan26(std::int32_t second, std::int32_t mean = 1234) {
    return Completing(second, At(2009, 1, 26, 0, 0, 0) + (second + 1) / 86400.0, mean);
}

struct DayDir {
    QTemporaryDir dir;

    QString Path(const QString& name) const { return dir.filePath(name); }
    std::string Read(const QString& name) const {
        QFile file(Path(name));
        if (!file.open(QIODevice::ReadOnly)) return "<missing>";
        return file.readAll().toStdString();
    }
    void Write(const QString& name, const QByteArray& bytes) const {
        QFile file(Path(name));
        if (file.open(QIODevice::WriteOnly)) file.write(bytes);
    }
    QStringList Entries() const {
        return QDir(dir.path())
            .entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System);
    }
};

struct CountingObserver : DailyLogObserver {
    QStringList appended;
    int emptied = 0;
    QString loaded;
    void LineAppended(const QString& line) override { appended << line; }
    void Emptied() override { ++emptied; }
    void Loaded(const QByteArray& text) override { loaded = QString::fromLocal8Bit(text); }
};
