// SPDX-License-Identifier: GPL-3.0-or-later
#include "ViewerWindow.h"

#include "DayFileSource.h"
#include "DayList.h"
#include "SpanChart.h"
#include "SpanExport.h"
#include "SpanSeries.h"
#include "StationCurves.h"
#include "ViewerTexts.h"

#include <QActionGroup>
#include <QApplication>
#include <QFileDialog>
#include <QFileInfo>
#include <QLabel>
#include <QMenuBar>
#include <QMessageBox>
#include <QSplitter>
#include <QStatusBar>
#include <QStyle>
#include <QToolBar>

#include <algorithm>
#include <cmath>

namespace {
constexpr int kRefreshDelayMs = 300; // a save is a write and a rename: read once after both
const SpanKind kKinds[] = {SpanKind::Day, SpanKind::Night, SpanKind::Week};
} // namespace

ViewerWindow::ViewerWindow(const ViewerOptions& options, std::int64_t today, QWidget* parent)
    : ViewerWindow(std::make_unique<DayFileSource>(options.files.isEmpty()
                                                       ? DayFileSet::FromFolder(options.folder)
                                                       : DayFileSet::FromPaths(options.files)),
                   options, today, parent) {}

ViewerWindow::ViewerWindow(std::unique_ptr<RecordSource> source, const ViewerOptions& options,
                           std::int64_t today, QWidget* parent)
    : QMainWindow(parent)
    , today_(today)
    , settings_(RegionalSettings::FromSystem())
    , chart_(new SpanChart(this))
    , curves_(std::make_unique<StationCurves>(*chart_))
    , days_(new DayList(settings_.timeSeparator, this))
    , readout_(new QLabel(this))
    , notes_(new QLabel(this)) {
    setWindowTitle(QStringLiteral("Nocturo Viewer"));
    auto* splitter = new QSplitter(this);
    splitter->addWidget(days_);
    splitter->addWidget(chart_);
    splitter->setStretchFactor(1, 1);
    splitter->setSizes({260, 900});
    setCentralWidget(splitter);
    statusBar()->addWidget(readout_, 1);
    statusBar()->addPermanentWidget(notes_);
    resize(1200, 760);

    refreshTimer_.setSingleShot(true);
    refreshTimer_.setInterval(kRefreshDelayMs);
    connect(&refreshTimer_, &QTimer::timeout, this, &ViewerWindow::Refresh);
    connect(&watcher_, &QFileSystemWatcher::directoryChanged, &refreshTimer_,
            qOverload<>(&QTimer::start));
    connect(&watcher_, &QFileSystemWatcher::fileChanged, &refreshTimer_,
            qOverload<>(&QTimer::start));
    // A source that no file announces is looked at again now and then.
    connect(&pollTimer_, &QTimer::timeout, this, &ViewerWindow::Refresh);
    connect(days_, &DayList::StationsPicked, this,
            [this](std::int64_t day, const QStringList& stations) {
                stations_ = stations;
                ShowSpan(TimeSpan::Of(kind_, day));
            });
    connect(chart_, &SpanChart::CursorMoved, this, &ViewerWindow::ShowReadout);
    connect(chart_, &SpanChart::CursorLeft, this, &ViewerWindow::ShowSummary);
    BuildActions();

    if (options.span) kind_ = options.span->kind;
    {
        const QSignalBlocker quiet(fitLines_);
        fitLines_->setChecked(options.fitLines);
    }
    kindActions_[int(kind_)]->setChecked(true);
    source_ = std::move(source);
    days_->SetSource(source_.get());
    setWindowTitle(QStringLiteral("%1 \u2014 Nocturo Viewer").arg(source_->Name()));
    stations_ = options.stations;
    if (stations_.isEmpty()) stations_ = source_->Stations().mid(0, 1);
    if (stations_.isEmpty()) stations_ << QString();
    ShowSpan(options.span ? *options.span : NewestSpan(kind_));
}

ViewerWindow::~ViewerWindow() = default;

void ViewerWindow::BuildActions() {
    QMenu* file = menuBar()->addMenu(QStringLiteral("&File"));
    file->addAction(QStringLiteral("Open &Folder\u2026"), QKeySequence::Open, this, [this] {
        const QString folder = QFileDialog::getExistingDirectory(
            this, QStringLiteral("Open Folder"), source_->ExportFolder());
        if (!folder.isEmpty()) OpenFolder(folder);
    });
    file->addAction(QStringLiteral("Open F&iles\u2026"), this, [this] {
        const QStringList paths = QFileDialog::getOpenFileNames(
            this, QStringLiteral("Open Day Files"), source_->ExportFolder(),
            QStringLiteral("Day files (*.txt);;All files (*)"));
        if (!paths.isEmpty()) OpenFiles(paths);
    });
    file->addSeparator();
    file->addAction(QStringLiteral("&Export\u2026"), QKeySequence(Qt::CTRL | Qt::Key_E), this,
                    &ViewerWindow::AskExport);
    file->addSeparator();
    file->addAction(QStringLiteral("&Quit"), QKeySequence::Quit, this, &QWidget::close);

    QMenu* view = menuBar()->addMenu(QStringLiteral("&View"));
    QToolBar* tools = addToolBar(QStringLiteral("Span"));
    tools->setMovable(false);
    tools->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    auto* group = new QActionGroup(this);
    const char* const names[] = {"&Day", "&Night", "&Week"};
    for (int i = 0; i < 3; ++i) {
        QAction* action = view->addAction(QString::fromLatin1(names[i]));
        action->setCheckable(true);
        group->addAction(action);
        tools->addAction(action);
        connect(action, &QAction::triggered, this, [this, i] { SetKind(kKinds[i]); });
        kindActions_[i] = action;
    }
    view->addSeparator();
    tools->addSeparator();
    QAction* previous = view->addAction(QStringLiteral("&Previous"), this, [this] { Step(-1); });
    previous->setShortcut(QKeySequence(Qt::Key_PageUp));
    previous->setIcon(style()->standardIcon(QStyle::SP_ArrowLeft));
    previous->setToolTip(QStringLiteral("The span before (Page Up)"));
    QAction* next = view->addAction(QStringLiteral("Ne&xt"), this, [this] { Step(1); });
    next->setShortcut(QKeySequence(Qt::Key_PageDown));
    next->setIcon(style()->standardIcon(QStyle::SP_ArrowRight));
    next->setToolTip(QStringLiteral("The span after (Page Down)"));
    tools->addAction(previous);
    tools->addAction(next);
    tools->addSeparator();
    view->addSeparator();
    logarithmic_ = view->addAction(QStringLiteral("&Logarithmic Counts"));
    logarithmic_->setCheckable(true);
    logarithmic_->setChecked(true);
    logarithmic_->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_L));
    connect(logarithmic_, &QAction::toggled, chart_, &SpanChart::SetLogarithmic);
    connect(logarithmic_, &QAction::toggled, this,
            [this](bool logarithmic) { curves_->SetLogarithmic(logarithmic); });
    // Lines that fill only part of the span (a station started today) fill the picture.
    fitLines_ = view->addAction(QStringLiteral("&Fit Time to Lines"));
    fitLines_->setCheckable(true);
    fitLines_->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_F));
    connect(fitLines_, &QAction::toggled, this, [this](bool fit) {
        if (fit)
            chart_->SetTimeRange(curves_->LinesExtent());
        else
            chart_->ShowWholeSpan();
    });
    QAction* whole =
        view->addAction(QStringLiteral("W&hole Span"), chart_, &SpanChart::ShowWholeSpan);
    whole->setShortcut(QKeySequence(Qt::Key_Home));
    tools->addAction(logarithmic_);
    tools->addAction(whole);
}

void ViewerWindow::SetSource(std::unique_ptr<RecordSource> source) {
    source_ = std::move(source);
    days_->SetSource(source_.get());
    setWindowTitle(QStringLiteral("%1 \u2014 Nocturo Viewer").arg(source_->Name()));
    stations_ = source_->Stations().mid(0, 1);
    if (stations_.isEmpty()) stations_ << QString();
    ShowSpan(NewestSpan(kind_));
}

void ViewerWindow::OpenFolder(const QString& folder) {
    SetSource(std::make_unique<DayFileSource>(DayFileSet::FromFolder(folder)));
}

void ViewerWindow::OpenFiles(const QStringList& paths) {
    SetSource(std::make_unique<DayFileSource>(DayFileSet::FromPaths(paths)));
}

void ViewerWindow::ShowStations(const QStringList& stations) {
    stations_ = stations.isEmpty() ? QStringList{QString()} : stations;
    ShowSpan(lines_.span);
}

TimeSpan ViewerWindow::NewestSpan(SpanKind kind) {
    // The span of the first station's newest line. With no line at all, yesterday's.
    const WallSeconds newest =
        source_->Newest(stations_.front()).value_or(StartOfDay(today_ - 1) + kSecondsPerDay / 2);
    const WallSeconds dayOf = kind == SpanKind::Night ? newest - kSecondsPerDay / 2 : newest;
    return TimeSpan::Of(kind, DayOf(dayOf));
}

void ViewerWindow::ShowSpan(const TimeSpan& span, bool keepView) {
    lines_ = source_->Read(stations_.front(), span);
    std::vector<StationCurves::Station> others;
    for (const QString& station : stations_.mid(1)) {
        SpanLines theirs = source_->Read(station, span);
        lines_.problems << theirs.problems;
        others.push_back({station, SpanSeries(std::move(theirs.records))});
    }
    // The lines move to the chart, which keeps the one copy.
    chart_->Show(span, SpanSeries(std::move(lines_.records)), StationsTitle(span, stations_),
                 keepView);
    lines_.records.clear();
    curves_->Show(stations_.front(), std::move(others));
    if (fitLines_->isChecked()) chart_->SetTimeRange(curves_->LinesExtent());
    days_->Select(span.day, stations_);
    notes_->setText(::NotesText(lines_));
    notes_->setToolTip(lines_.problems.join(QLatin1Char('\n')));
    ShowSummary();
    Watch();
}

void ViewerWindow::Step(int steps) {
    ShowSpan(lines_.span.Stepped(steps));
}

void ViewerWindow::SetKind(SpanKind kind) {
    kind_ = kind;
    kindActions_[int(kind)]->setChecked(true);
    if (kind != lines_.span.kind) ShowSpan(TimeSpan::Of(kind, lines_.span.day));
}

void ViewerWindow::Watch() {
    const QStringList wanted = source_->WatchedPaths();
    if (source_->PollInterval() > 0)
        pollTimer_.start(source_->PollInterval());
    else
        pollTimer_.stop();
    QStringList watched = watcher_.files() + watcher_.directories();
    QStringList gone;
    for (const QString& path : watched)
        if (!wanted.contains(path)) gone << path;
    if (!gone.isEmpty()) watcher_.removePaths(gone);
    QStringList added;
    for (const QString& path : wanted)
        if (!watched.contains(path)) added << path;
    if (!added.isEmpty()) watcher_.addPaths(added);
}

void ViewerWindow::Refresh() {
    if (source_->Rescan()) days_->Update();
    bool changed = false;
    for (const QString& station : stations_)
        changed = changed || source_->Changed(station, lines_);
    if (changed)
        ShowSpan(lines_.span, true);
    else
        Watch();
}

QString ViewerWindow::ExportTo(const QString& path) {
    const ExportFormat format = FormatOfName(path);
    if (format == ExportFormat::Unknown)
        return QStringLiteral("\"%1\" is no .png, .svg, .pdf or .csv file").arg(path);
    if (format == ExportFormat::Csv && !curves_->Others().empty()) {
        std::vector<const std::vector<DayRecord>*> records{&Records()};
        for (const StationCurves::Station& other : curves_->Others())
            records.push_back(&other.series.All());
        return ExportStationsCsv(stations_, records, path);
    }
    return format == ExportFormat::Csv ? ExportCsv(Records(), path)
                                       : ExportChart(*chart_, format, path, chart_->size());
}

void ViewerWindow::AskExport() {
    const QString base = source_->ExportFolder();
    QString name = SpanTitle(lines_.span).toLower().replace(u' ', u'-');
    for (const QString& station : stations_)
        if (!station.isEmpty()) name += u'-' + station;
    QString filter;
    QString path = QFileDialog::getSaveFileName(
        this, QStringLiteral("Export"), QDir(base).filePath(name + QStringLiteral(".png")),
        QStringLiteral("PNG image (*.png);;SVG drawing (*.svg);;PDF document (*.pdf);;"
                       "CSV table of the span's lines (*.csv)"),
        &filter);
    if (path.isEmpty()) return;
    if (FormatOfName(path) == ExportFormat::Unknown) {
        const int star = int(filter.indexOf(u'*'));
        path += filter.mid(star + 1, 4);
    }
    const QString failure = ExportTo(path);
    if (!failure.isEmpty()) {
        QMessageBox::critical(this, QStringLiteral("Nocturo Viewer"), failure + QLatin1Char('.'));
        return;
    }
    statusBar()->showMessage(QStringLiteral("Exported to %1").arg(QDir::toNativeSeparators(path)),
                             5000);
}

void ViewerWindow::ShowReadout(double t, double secondsPerPixel) {
    const DayRecord* record = chart_->Series().At(t, secondsPerPixel);
    QString text = ::ReadoutText(WallSeconds(std::floor(t)), record, settings_);
    if (!curves_->Others().empty())
        text =
            stations_.front() + QStringLiteral(": ") + text + curves_->Readout(t, secondsPerPixel);
    readout_->setText(text);
}

void ViewerWindow::ShowSummary() {
    const SpanSeries& series = chart_->Series();
    readout_->setText(SpanSummaryText(lines_.span, series.All().size(), series.FailedCount()));
}

const std::vector<DayRecord>& ViewerWindow::Records() const {
    return chart_->Series().All();
}

QString ViewerWindow::ReadoutText() const {
    return readout_->text();
}

QString ViewerWindow::NotesText() const {
    return notes_->text();
}
