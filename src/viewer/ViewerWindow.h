// SPDX-License-Identifier: GPL-3.0-or-later
// The viewer's window: the days found down the left, the chart of the span shown, the
// toolbar that switches between a day, a night, a week and a year of nights and steps to
// the previous or next one (also Page Up and Page Down), and a status bar with the line
// under the pointer and the lines that were not read. It shows whatever source of lines
// it is given (day files, an archive) and follows it as it grows; the Year view and the
// nightly figures need day files.
#pragma once

#include "core/log/LogSpan.h"
#include "core/log/MinuteCache.h"
#include "core/log/RecordSource.h"
#include "core/text/RegionalSettings.h"
#include "viewer/ConditionBook.h"
#include "viewer/SkyOverlay.h"
#include "viewer/SourceWatch.h"
#include "viewer/ViewerActions.h"
#include "viewer/ViewerOptions.h"

#include <QMainWindow>

#include <memory>

class ConditionStrip;
class DayFileSource;
class DayList;
class QLabel;
class QStackedWidget;
class SpanChart;
class StationCurves;
class YearChart;

class ViewerWindow : public QMainWindow {
    Q_OBJECT
public:
    // The day files the options name. Times and numbers are written with the separators
    // of `regional` (the program passes the user's; tests choose their own).
    ViewerWindow(const ViewerOptions& options, std::int64_t today,
                 const RegionalSettings& regional = {}, QWidget* parent = nullptr);
    // Any source; the options' span and stations are shown first.
    ViewerWindow(std::unique_ptr<RecordSource> source, const ViewerOptions& options,
                 std::int64_t today, const RegionalSettings& regional = {},
                 QWidget* parent = nullptr);
    ~ViewerWindow() override;

    void OpenFolder(const QString& folder);
    void OpenFiles(const QStringList& paths);
    // Shows another source, from its first station's newest span.
    void SetSource(std::unique_ptr<RecordSource> source);
    const QStringList& Stations() const { return stations_; }
    void ShowSpan(const TimeSpan& span, bool keepView = false);
    void Step(int steps);
    void SetKind(SpanKind kind);
    // The Year view: the nights of the year ending with the night of `lastNight`.
    void ShowYear(std::int64_t lastNight);
    bool YearShown() const { return yearShown_; }
    // Reads again what changed on disk: the folder's list and the files of the span.
    void Refresh();
    // Writes the chart as shown (PNG, SVG, PDF) or the span's lines (CSV); the reason
    // when it failed, else an empty string.
    bool ExportTo(const QString& path, QString* why = nullptr);
    // How long after a change on disk the view reads again.
    void SetRefreshDelay(int ms) { watch_.SetDelay(ms); }

    SpanChart& Chart() const { return *chart_; }
    YearChart& Year() const { return *year_; }
    StationCurves& Curves() const { return *curves_; }
    DayList& Days() const { return *days_; }
    // The span shown, and what was read for it; its lines are in Records().
    const SpanLines& Lines() const { return lines_; }
    const std::vector<DayRecord>& Records() const;
    const SkyOverlay& Sky() const { return sky_; }
    // The strip of the sky's conditions under the counts (hidden without a position).
    ConditionStrip& Strip() const { return *strip_; }
    const ViewerActions& Actions() const { return actions_; }
    QString SkyStatusText() const;
    QString ReadoutText() const;
    QString NotesText() const;
    // What keeps the source from answering, as the status bar says it; empty while it answers.
    QString SourceStatusText() const;

    // How long a question to a slow source (an archive) holds the window up before its
    // answer is left to come later.
    static constexpr int kAnswerPatienceMs = 3000;

private:
    void ConnectActions();
    void Watch();
    void ShowReadout(double t, double secondsPerPixel);
    void ShowSummary();
    void AskNightFigures();
    void ShowConditions();
    void ApplyValueScale();
    // The Year view's cells kept: the clear dark ones when asked for, else all (empty).
    std::vector<bool> YearCellsKept(const YearMinutes& year) const;
    void ShowSkyStatus();
    void ShowSourceStatus();
    // Takes a source: the sky's station description, the list of days, the title.
    void AdoptSource(std::unique_ptr<RecordSource> source);
    TimeSpan NewestSpan(SpanKind kind);

    std::int64_t today_;
    RegionalSettings settings_;
    std::unique_ptr<RecordSource> source_;
    QStringList stations_;
    SpanLines lines_;
    SpanKind kind_ = SpanKind::Night;
    SkyOverlay sky_;

    SpanChart* chart_;
    YearChart* year_;
    QStackedWidget* charts_;
    MinuteCache minuteCache_;
    bool yearShown_ = false;
    std::unique_ptr<StationCurves> curves_;
    std::unique_ptr<ConditionStrip> strip_;
    ConditionBook conditions_;
    DayList* days_;
    QLabel* readout_;
    QLabel* notes_;
    QLabel* skyStatus_;
    QLabel* sourceStatus_;
    ViewerActions actions_;
    SourceWatch watch_;
};
