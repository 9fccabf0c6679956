// SPDX-License-Identifier: GPL-3.0-or-later
// The one line per event of the programs without a window, and where it goes: standard error,
// which under systemd is a stream into the journal. There each line begins with its priority
// ("<3>" for an error, "<4>" a warning, and so on, as sd-daemon(3) gives them), so the journal
// shows warnings as warnings; elsewhere it begins with the program's name.
#pragma once

#include <QString>

class EventLines {
public:
    // The syslog priorities the lines use.
    enum class Priority { Error = 3, Warning = 4, Notice = 5, Info = 6 };

    virtual ~EventLines() = default;
    virtual void Line(Priority priority, const QString& text) = 0;
};

class JournalLines : public EventLines {
public:
    // Lines go to `fd`; `name` begins each line that carries no priority.
    JournalLines(int fd, bool priorities, QString name);

    // Whether `fd` is the journal's stream: JOURNAL_STREAM names its device and inode.
    static bool IsJournalStream(int fd);

    // One write per line; line breaks and other control characters in the text become
    // spaces, so that one event stays one line.
    void Line(Priority priority, const QString& text) override;

private:
    int fd_;
    bool priorities_;
    QString name_;
};
