// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/log/DailyLog.h"

#include "core/NocturoError.h"
#include "core/log/DayFile.h"
#include "core/station/SecondRecord.h"
#include "core/text/DateTimeValue.h"
#include "core/text/Formats.h"

#include <QDir>

#include <algorithm>
#include <cstring>
#include <exception>

namespace {
constexpr std::int32_t kLastSavedSecondOfDay = 86398;
const QByteArray kCrLf = QByteArrayLiteral("\r\n");
} // namespace

DailyLog::DailyLog(QString directory)
    : directory_(std::move(directory)) {}

QString DailyLog::FileNameFor(double timeStamp) {
    // The pattern has no separators, so the regional settings do not matter here.
    return FormatDateTime(timeStamp, QStringLiteral("yyyymmdd"), RegionalSettings{}) +
           QStringLiteral(".txt");
}

WallSeconds DailyLog::LineStamp(const SecondRecord& record) {
    // As LogLine writes it: the decoded parts, not a rounding of the value.
    const DateTimeParts parts = DecodeDateTime(record.timeStamp);
    return DaysFromCivil(parts.year, parts.month, parts.day) * kSecondsPerDay + parts.hour * 3600 +
           parts.minute * 60 + parts.second;
}

QString DailyLog::FilePath(const QString& name) const {
    return QDir(directory_).absoluteFilePath(name);
}

void DailyLog::Take(const SecondRecord& record) {
    logFileName_ = FileNameFor(record.timeStamp);
    Append(LogLine(record, settings_));
    if (record.second % 60 == 29) Save();
    if (record.second == kLastSavedSecondOfDay || record.newSecond < record.second) {
        Save();
        Empty();
    }
}

std::int32_t DailyLog::DayIndex(const QString& fileName) {
    // Few distinct days are ever in the log; the latest is the one asked for nearly always.
    for (qsizetype i = days_.size(); i-- > 0;)
        if (days_[i] == fileName) return std::int32_t(i);
    days_.append(fileName);
    return std::int32_t(days_.size() - 1);
}

void DailyLog::AppendBytes(const QByteArray& line, std::int32_t day) {
    if (!text_.isEmpty() && !text_.endsWith(kCrLf)) {
        // Loaded text without a final line break goes on without one.
        text_.append(kCrLf);
        lines_.push_back({text_.size(), line.size(), day});
        text_.append(line);
    } else {
        lines_.push_back({text_.size(), line.size(), day});
        text_.append(line);
        text_.append(kCrLf);
    }
}

void DailyLog::Append(const QString& line) {
    AppendBytes(line.toLocal8Bit(), DayIndex(logFileName_));
    for (DailyLogObserver* observer : observers_)
        observer->LineAppended(line);
}

bool DailyLog::Load() {
    QByteArray raw;
    if (logFileName_.isEmpty() || !dayfile::Read(FilePath(logFileName_), raw)) return false;

    text_.clear();
    lines_.clear();
    days_.clear();
    const std::int32_t day = DayIndex(logFileName_);
    bool crLfOnly = true;
    const std::vector<dayfile::LineSpan> spans = dayfile::SplitLines(raw, &crLfOnly);
    lines_.reserve(spans.size());
    if (crLfOnly) {
        // A file this program wrote has CR LF breaks only: its bytes become the text as
        // they are.
        text_ = raw;
        for (const dayfile::LineSpan& span : spans)
            lines_.push_back({span.start, span.length, day});
    } else {
        // Lone CR and lone LF become CR LF; a last line without a break stays without.
        const bool lastWithoutBreak = !raw.endsWith('\r') && !raw.endsWith('\n');
        text_.reserve(raw.size() + raw.size() / 32 + 2);
        for (std::size_t i = 0; i < spans.size(); ++i) {
            lines_.push_back({text_.size(), spans[i].length, day});
            text_.append(raw.constData() + spans[i].start, spans[i].length);
            if (!(lastWithoutBreak && i + 1 == spans.size())) text_.append(kCrLf);
        }
    }
    for (DailyLogObserver* observer : observers_)
        observer->Loaded(text_);
    return true;
}

QByteArray DailyLog::DayBytes(std::int32_t day) const {
    if (days_.size() == 1 && day == 0) return text_; // the usual case: one day, as it stands
    QByteArray bytes;
    const bool lastWithoutBreak = !text_.isEmpty() && !text_.endsWith(kCrLf);
    for (std::size_t i = 0; i < lines_.size(); ++i) {
        const LineSpan& line = lines_[i];
        if (line.day != day) continue;
        bytes.append(text_.constData() + line.start, line.length);
        if (!(lastWithoutBreak && i + 1 == lines_.size())) bytes.append(kCrLf);
    }
    return bytes;
}

void DailyLog::SaveDay(const QString& fileName, std::int32_t day) {
    dayfile::SaveKeepingLines(FilePath(fileName), day >= 0 ? DayBytes(day) : QByteArray());
}

void DailyLog::Save() {
    // Every day with lines in the log goes to its own file; the current day's file is
    // written even when the log has none of its lines (an empty log gives an empty file).
    std::exception_ptr firstFailure;
    auto saveDay = [&](const QString& fileName, std::int32_t day) {
        try {
            SaveDay(fileName, day);
        } catch (const NocturoError&) {
            if (!firstFailure) firstFailure = std::current_exception();
        }
    };
    for (qsizetype i = 0; i < days_.size(); ++i)
        saveDay(days_[i], std::int32_t(i));
    if (!logFileName_.isEmpty() && !days_.contains(logFileName_)) saveDay(logFileName_, -1);
    for (DailyLogObserver* observer : observers_)
        observer->Saved(!firstFailure);
    if (firstFailure) std::rethrow_exception(firstFailure);
}

void DailyLog::Empty() {
    text_.clear();
    lines_.clear();
    days_.clear();
    for (DailyLogObserver* observer : observers_)
        observer->Emptied();
}

void DailyLog::AddObserver(DailyLogObserver* observer) {
    if (std::find(observers_.begin(), observers_.end(), observer) == observers_.end())
        observers_.push_back(observer);
}

void DailyLog::RemoveObserver(DailyLogObserver* observer) {
    observers_.erase(std::remove(observers_.begin(), observers_.end(), observer), observers_.end());
}
