// SPDX-License-Identifier: GPL-3.0-or-later
// LogView: the Data page's view of the day's log. It mirrors the log one line at a time,
// so a second costs one appended line however long the day already is.
//
// A loaded day file goes into the page in pieces from the event loop, each slice of work
// lasting about SliceMs, so even the largest file keeps the window answering, a signal to
// stop is handled at once, and acquisition goes on meanwhile; lines appended while the
// page fills follow the loaded text. Only the page shows it that way: the log itself is
// loaded whole at once.
#pragma once

#include "core/log/DailyLog.h"

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <QTimer>

class QPlainTextEdit;

class LogView : public DailyLogObserver {
public:
    static constexpr int kSliceMs = 25;
    // No day file has lines of more than a few dozen characters. A longer line (a file that
    // is not a day file) is shown cut after this many, ending in "…": laying out a line
    // costs time by its length, and one of megabytes would freeze the window for seconds.
    static constexpr qsizetype kMaxShownLineLength = 4096;

    explicit LogView(QPlainTextEdit& memo);

    // One new line of the log, without its line break.
    void LineAppended(const QString& line) override;
    // The log was emptied (a new day began).
    void Emptied() override;
    // The log was replaced by a loaded day's text, with CR LF line breaks (lone CR and lone
    // LF count as breaks too). The first slice goes in before this returns.
    void Loaded(const QByteArray& text) override;

    // True while a loaded text is still going into the page.
    bool Filling() const { return filling_; }

private:
    void FillSlice();
    // Shows the next piece of the pending text; false when none was left.
    bool ShowPiece();
    void Finish();

    QPlainTextEdit& memo_;
    QTimer fillTimer_;
    bool filling_ = false;
    QByteArray pending_;       // the loaded text
    qsizetype shown_ = 0;      // bytes of pending_ already in the page
    QStringList appended_;     // lines appended while it goes in
    qsizetype lineLength_ = 0; // characters of the page's last line, cut ones included
    bool breakOwed_ = false;   // a line break seen whose next line has not begun yet
};
