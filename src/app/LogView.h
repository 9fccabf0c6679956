// LogView: the Data page's view of the day's log. It mirrors the log one line at a time,
// so a second costs one appended line however long the day already is.
#pragma once

#include "DailyLog.h"

#include <QString>

class QPlainTextEdit;

class LogView : public DailyLogObserver {
public:
    explicit LogView(QPlainTextEdit& memo);

    // One new line of the log, without its line break.
    void LineAppended(const QString& line) override;
    // The log was emptied (a new day began).
    void Emptied() override;
    // The log was replaced by a loaded day's text, with CR LF line breaks.
    void Loaded(const QString& text) override;

private:
    QPlainTextEdit& memo_;
};
