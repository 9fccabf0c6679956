// SPDX-License-Identifier: GPL-3.0-or-later
// The viewer's window: the days found down the left, the chart of the span shown, the
// toolbar that switches between a day, a night and a week and steps to the previous or
// next one (also Page Up and Page Down), and a status bar with the line under the
// pointer and the lines that were not read. It shows whatever source of lines it is
// given (day files, an archive) and follows it as it grows.
#pragma once

#include "LogSpan.h"
#include "RecordSource.h"
#include "RegionalSettings.h"
#include "ViewerOptions.h"

#include <QFileSystemWatcher>
#include <QMainWindow>
#include <QTimer>

#include <memory>

class DayList;
class QAction;
class QLabel;
class SpanChart;
class StationCurves;

class ViewerWindow : public QMainWindow {
    Q_OBJECT
public:
    // The day files the options name.
    ViewerWindow(const ViewerOptions& options, std::int64_t today, QWidget* parent = nullptr);
    // Any source; the options' span and stations are shown first.
    ViewerWindow(std::unique_ptr<RecordSource> source, const ViewerOptions& options,
                 std::int64_t today, QWidget* parent = nullptr);
    ~ViewerWindow() override;

    void OpenFolder(const QString& folder);
    void OpenFiles(const QStringList& paths);
    // Shows another source, from its first station's newest span.
    void SetSource(std::unique_ptr<RecordSource> source);
    RecordSource& Source() const { return *source_; }
    // The stations shown together, the first one's lines in Lines().
    void ShowStations(const QStringList& stations);
    const QStringList& Stations() const { return stations_; }
    void ShowSpan(const TimeSpan& span, bool keepView = false);
    void Step(int steps);
    void SetKind(SpanKind kind);
    // Reads again what changed on disk: the folder's list and the files of the span.
    void Refresh();
    // Writes the chart as shown (PNG, SVG, PDF) or the span's lines (CSV); the reason
    // when it failed, else an empty string.
    QString ExportTo(const QString& path);
    // How long after a change on disk the view reads again.
    void SetRefreshDelay(int ms) { refreshTimer_.setInterval(ms); }

    SpanChart& Chart() const { return *chart_; }
    StationCurves& Curves() const { return *curves_; }
    DayList& Days() const { return *days_; }
    // The span shown, and what was read for it; its lines are in Records().
    const SpanLines& Lines() const { return lines_; }
    const std::vector<DayRecord>& Records() const;
    QString ReadoutText() const;
    QString NotesText() const;

private:
    void BuildActions();
    void Watch();
    void ShowReadout(double t, double secondsPerPixel);
    void ShowSummary();
    void AskExport();
    TimeSpan NewestSpan(SpanKind kind);

    std::int64_t today_;
    RegionalSettings settings_;
    std::unique_ptr<RecordSource> source_;
    QStringList stations_;
    SpanLines lines_;
    SpanKind kind_ = SpanKind::Night;

    SpanChart* chart_;
    std::unique_ptr<StationCurves> curves_;
    DayList* days_;
    QLabel* readout_;
    QLabel* notes_;
    QAction* kindActions_[3] = {};
    QAction* logarithmic_ = nullptr;
    QAction* fitLines_ = nullptr;
    QFileSystemWatcher watcher_;
    QTimer refreshTimer_;
    QTimer pollTimer_;
};
