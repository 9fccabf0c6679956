// SPDX-License-Identifier: GPL-3.0-or-later
// Where a view's lines come from: the day files of one station, or an archive that holds
// many. A view asks its source for the stations it holds, the days they have lines on and
// the lines of a station within a span, and looks again when the source says so; it never
// needs to know which kind of source it shows.
#pragma once

#include "core/log/LogSpan.h"

#include <QString>
#include <QStringList>

#include <cstdint>
#include <functional>
#include <optional>
#include <vector>

// A row of the list of days: one station's lines on one day.
struct SourceDay {
    QString station;
    std::int64_t day = 0;
    std::int64_t lines = 0;
    WallSeconds first = 0;
    WallSeconds last = 0;
    bool waiting = false; // still to be counted
    QString problem;      // why some of its lines could not be read
};

class DayFileSet;

class RecordSource {
public:
    virtual ~RecordSource() = default;

    // What the window's title names: a folder, a number of files, an archive.
    virtual QString Name() const = 0;
    // The stations it holds, by name. Day files are one station, whose name is empty.
    virtual QStringList Stations() const = 0;

    // The lines of a station stamped within a span.
    virtual SpanLines Read(const QString& station, const TimeSpan& span) = 0;
    // True when reading `lines` again would give other lines.
    virtual bool Changed(const QString& station, const SpanLines& lines) = 0;
    // The time of a station's newest line; none when it has none.
    virtual std::optional<WallSeconds> Newest(const QString& station) = 0;

    // Looks again for stations and days; true when the list of days may have changed.
    virtual bool Rescan() = 0;
    // The days known now, each station's newest first. Days may be listed before their
    // lines are counted (`waiting`): CountNext counts one more part of the source (a
    // file, a station) and says whether any is left, so a window stays responsive.
    virtual std::vector<SourceDay> Days() const = 0;
    virtual bool CountNext() = 0;

    // What tells a view to look again: the paths whose changes matter (the files and the
    // folder last read), and for a source that no file announces, how often to poll it
    // (0: never).
    virtual QStringList WatchedPaths() const = 0;
    virtual int PollInterval() const { return 0; }
    // Where an export is offered to go by default; empty for the working directory.
    virtual QString ExportFolder() const { return {}; }

    // For a source that may be slow to answer (an archive across a network): from now on,
    // each question waits at most `patienceMs` and, unanswered, gets no lines (Read says
    // why in its problems, Changed says no, Rescan and CountNext that there is nothing
    // new); `answered` is called on this thread when the answer comes late, and the view
    // asks again. Sources on disk answer at once and ignore it.
    virtual void AnswerLater(int patienceMs, std::function<void()> answered) {
        static_cast<void>(patienceMs);
        static_cast<void>(answered);
    }
    // What keeps the source from answering now ("The archive does not answer"); empty
    // while it answers.
    virtual QString Trouble() const { return {}; }
    // The day files behind the source, for what reads them directly (a year of nights, the
    // nightly figures, the station's description beside them); none for an archive.
    virtual const DayFileSet* DayFiles() const { return nullptr; }
};
