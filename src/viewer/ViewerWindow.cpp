// SPDX-License-Identifier: GPL-3.0-or-later
#include "viewer/ViewerWindow.h"

#include "core/Failure.h"
#include "core/log/DayFileSource.h"
#include "viewer/ConditionStrip.h"
#include "viewer/DayList.h"
#include "viewer/ExportDialogs.h"
#include "viewer/JellyfishDialog.h"
#include "viewer/SpanChart.h"
#include "viewer/SpanExport.h"
#include "viewer/SpanSeries.h"
#include "viewer/StationCurves.h"
#include "viewer/ViewerTexts.h"
#include "viewer/YearChart.h"
#include "viewer/YearExport.h"

#include <QAction>
#include <QFileDialog>
#include <QLabel>
#include <QSplitter>
#include <QStackedWidget>
#include <QStatusBar>

#include <algorithm>
#include <cmath>

namespace {
const SpanKind kKinds[] = {SpanKind::Day, SpanKind::Night, SpanKind::Week};
} // namespace

ViewerWindow::ViewerWindow(const ViewerOptions& options, std::int64_t today,
                           const RegionalSettings& regional, QWidget* parent)
    : ViewerWindow(std::make_unique<DayFileSource>(options.files.isEmpty()
                                                       ? DayFileSet::FromFolder(options.folder)
                                                       : DayFileSet::FromPaths(options.files)),
                   options, today, regional, parent) {}

ViewerWindow::ViewerWindow(std::unique_ptr<RecordSource> source, const ViewerOptions& options,
                           std::int64_t today, const RegionalSettings& regional, QWidget* parent)
    : QMainWindow(parent)
    , today_(today)
    , settings_(regional)
    , sky_(options.location)
    , chart_(new SpanChart(settings_, this))
    , year_(new YearChart(settings_, this))
    , charts_(new QStackedWidget(this))
    , minuteCache_(MinuteCache::DefaultDirectory())
    , curves_(std::make_unique<StationCurves>(*chart_))
    , strip_(std::make_unique<ConditionStrip>(*chart_))
    , conditions_(minuteCache_, today)
    , days_(new DayList(settings_.timeSeparator, this))
    , readout_(new QLabel(this))
    , notes_(new QLabel(this))
    , skyStatus_(new QLabel(this))
    , sourceStatus_(new QLabel(this)) {
    setWindowTitle(QStringLiteral("Nocturo Viewer"));
    auto* splitter = new QSplitter(this);
    splitter->addWidget(days_);
    charts_->addWidget(chart_);
    charts_->addWidget(year_);
    splitter->addWidget(charts_);
    splitter->setStretchFactor(1, 1);
    splitter->setSizes({260, 900});
    setCentralWidget(splitter);
    statusBar()->addWidget(readout_, 1);
    statusBar()->addPermanentWidget(notes_);
    statusBar()->addPermanentWidget(skyStatus_);
    statusBar()->addPermanentWidget(sourceStatus_);
    resize(1200, 760);

    connect(&watch_, &SourceWatch::Due, this, &ViewerWindow::Refresh);
    connect(days_, &DayList::StationsPicked, this,
            [this](std::int64_t day, const QStringList& stations) {
                stations_ = stations;
                if (yearShown_)
                    ShowYear(day);
                else
                    ShowSpan(TimeSpan::Of(kind_, day));
            });
    connect(year_, &YearChart::NightPicked, this, [this](std::int64_t night) {
        kind_ = SpanKind::Night;
        actions_.kinds[int(kind_)]->setChecked(true);
        ShowSpan(TimeSpan::Of(SpanKind::Night, night));
    });
    connect(year_, &YearChart::CellHovered, this,
            [this](int night, int row) { readout_->setText(year_->CellText(night, row)); });
    connect(year_, &YearChart::CursorLeft, this, &ViewerWindow::ShowSummary);
    connect(chart_, &SpanChart::CursorMoved, this, &ViewerWindow::ShowReadout);
    connect(chart_, &SpanChart::CursorLeft, this, &ViewerWindow::ShowSummary);
    actions_ = BuildViewerActions(*this);
    ConnectActions();

    if (options.span) kind_ = options.span->kind;
    {
        const QSignalBlocker quiet(actions_.fitLines);
        actions_.fitLines->setChecked(options.fitLines);
    }
    actions_.kinds[int(kind_)]->setChecked(true);
    AdoptSource(std::move(source));
    stations_ = options.stations;
    if (stations_.isEmpty()) stations_ = source_->Stations().mid(0, 1);
    if (stations_.isEmpty()) stations_ << QString();
    ShowSpan(options.span ? *options.span : NewestSpan(kind_));
    if (options.year) ShowYear(*options.year);
}

ViewerWindow::~ViewerWindow() = default;

void ViewerWindow::ConnectActions() {
    connect(actions_.openFolder, &QAction::triggered, this, [this] {
        const QString folder = QFileDialog::getExistingDirectory(
            this, QStringLiteral("Open Folder"), source_->ExportFolder());
        if (!folder.isEmpty()) OpenFolder(folder);
    });
    connect(actions_.openFiles, &QAction::triggered, this, [this] {
        const QStringList paths = QFileDialog::getOpenFileNames(
            this, QStringLiteral("Open Day Files"), source_->ExportFolder(),
            QStringLiteral("Day files (*.txt);;All files (*)"));
        if (!paths.isEmpty()) OpenFiles(paths);
    });
    connect(actions_.exportShown, &QAction::triggered, this, [this] {
        AskShownExport(*this, source_->ExportFolder(),
                       yearShown_ ? YearTitle(year_->Year()) : SpanTitle(lines_.span), stations_,
                       [this](const QString& path, QString* why) { return ExportTo(path, why); });
    });
    connect(actions_.nightFigures, &QAction::triggered, this, &ViewerWindow::AskNightFigures);
    connect(actions_.skyglow, &QAction::triggered, this, [this] {
        AskSkyglowExport(*this, source_->ExportFolder(), SpanTitle(lines_.span), Records(), sky_);
    });
    for (int i = 0; i < 3; ++i)
        connect(actions_.kinds[i], &QAction::triggered, this, [this, i] { SetKind(kKinds[i]); });
    connect(actions_.kinds[3], &QAction::triggered, this, [this] { ShowYear(lines_.span.day); });
    connect(actions_.previous, &QAction::triggered, this, [this] { Step(-1); });
    connect(actions_.next, &QAction::triggered, this, [this] { Step(1); });
    connect(actions_.logarithmic, &QAction::toggled, chart_, &SpanChart::SetLogarithmic);
    connect(actions_.logarithmic, &QAction::toggled, this,
            [this](bool logarithmic) { curves_->SetLogarithmic(logarithmic); });
    connect(actions_.magnitude, &QAction::toggled, this, [this] {
        ApplyValueScale();
        if (yearShown_) ShowYear(year_->Year().LastNight());
    });
    connect(actions_.limitingMagnitude, &QAction::toggled, this, &ViewerWindow::ApplyValueScale);
    connect(actions_.conditions, &QAction::toggled, this, &ViewerWindow::ShowConditions);
    connect(actions_.clearOnly, &QAction::toggled, this, [this] {
        if (yearShown_) ShowYear(year_->Year().LastNight());
    });
    connect(actions_.jellyfish, &QAction::triggered, this, [this] {
        if (const DayFileSet* files = source_->DayFiles())
            AskJellyfishExport(*this, source_->ExportFolder(), *files, sky_, minuteCache_, today_,
                               yearShown_ ? year_->Year().LastNight() : lines_.span.day, settings_);
    });
    connect(actions_.fitLines, &QAction::toggled, this, [this](bool fit) {
        if (fit)
            chart_->SetTimeRange(curves_->LinesExtent());
        else
            chart_->ShowWholeSpan();
    });
    connect(actions_.wholeSpan, &QAction::triggered, chart_, &SpanChart::ShowWholeSpan);
}

void ViewerWindow::SetSource(std::unique_ptr<RecordSource> source) {
    AdoptSource(std::move(source));
    stations_ = source_->Stations().mid(0, 1);
    if (stations_.isEmpty()) stations_ << QString();
    ShowSpan(NewestSpan(kind_));
}

void ViewerWindow::AdoptSource(std::unique_ptr<RecordSource> source) {
    source_ = std::move(source);
    // An archive that does not answer holds the window up only briefly; its late answer
    // is shown when it comes.
    source_->AnswerLater(kAnswerPatienceMs, [this] { Refresh(); });
    // The sky's station description lies beside day files; an archive's stations have
    // only what --location gives.
    if (const DayFileSet* files = source_->DayFiles()) {
        QStringList paths;
        for (const DayFileSet::File& file : files->Files())
            paths << file.path;
        sky_.SetFolder(StationFolder(files->Folder(), paths));
    }
    for (QAction* magnitude : {actions_.magnitude, actions_.limitingMagnitude}) {
        magnitude->setEnabled(sky_.ZeroPoints() != nullptr);
        if (!sky_.ZeroPoints()) magnitude->setChecked(false);
    }
    ApplyValueScale();
    conditions_.Forget();
    const bool dayFiles = source_->DayFiles() != nullptr;
    actions_.kinds[3]->setEnabled(dayFiles);
    actions_.nightFigures->setEnabled(dayFiles);
    actions_.jellyfish->setEnabled(dayFiles);
    const bool located = sky_.Position().has_value();
    actions_.conditions->setEnabled(located);
    actions_.clearOnly->setEnabled(located && dayFiles);
    ShowSkyStatus();
    days_->SetSource(source_.get());
    setWindowTitle(QStringLiteral("%1 \u2014 Nocturo Viewer").arg(source_->Name()));
}

void ViewerWindow::OpenFolder(const QString& folder) {
    SetSource(std::make_unique<DayFileSource>(DayFileSet::FromFolder(folder)));
}

void ViewerWindow::OpenFiles(const QStringList& paths) {
    SetSource(std::make_unique<DayFileSource>(DayFileSet::FromPaths(paths)));
}

TimeSpan ViewerWindow::NewestSpan(SpanKind kind) {
    // The span of the first station's newest line. With no line at all, yesterday's.
    const WallSeconds newest =
        source_->Newest(stations_.front()).value_or(StartOfDay(today_ - 1) + kSecondsPerDay / 2);
    const WallSeconds dayOf = kind == SpanKind::Night ? newest - kSecondsPerDay / 2 : newest;
    return TimeSpan::Of(kind, DayOf(dayOf));
}

void ViewerWindow::ShowSpan(const TimeSpan& span, bool keepView) {
    yearShown_ = false;
    charts_->setCurrentWidget(chart_);
    lines_ = source_->Read(stations_.front(), span);
    std::vector<StationCurves::Station> others;
    for (const QString& station : stations_.mid(1)) {
        SpanLines theirs = source_->Read(station, span);
        lines_.problems << theirs.problems;
        others.push_back({station, SpanSeries(std::move(theirs.records))});
    }
    // The lines move to the chart, which keeps the one copy.
    chart_->Show(span, SpanSeries(std::move(lines_.records)),
                 sky_.Title(span, StationsTitle(span, stations_)), keepView);
    sky_.Draw(*chart_, span);
    lines_.records.clear();
    ShowConditions();
    curves_->Show(stations_.front(), std::move(others));
    if (actions_.fitLines->isChecked()) chart_->SetTimeRange(curves_->LinesExtent());
    days_->Select(span.day, stations_);
    notes_->setText(::NotesText(lines_));
    notes_->setToolTip(lines_.problems.join(QLatin1Char('\n')));
    ShowSummary();
    Watch();
}

void ViewerWindow::ShowYear(std::int64_t lastNight) {
    const DayFileSet* files = source_->DayFiles();
    if (!files) {
        statusBar()->showMessage(QStringLiteral("The Year view reads day files"), 5000);
        actions_.kinds[int(kind_)]->setChecked(true);
        return;
    }
    const int nights = yearminutes::NightsOfYearEndingWith(lastNight);
    YearMinutes year =
        yearminutes::Build(*files, lastNight - nights + 1, nights, minuteCache_, today_);
    QStringList notes = year.problems;
    if (year.skipped > 0)
        notes.prepend(QStringLiteral("%1 lines skipped that are not log lines").arg(year.skipped));
    notes_->setText(notes.join(QStringLiteral("; ")));
    notes_->setToolTip(year.problems.join(QLatin1Char('\n')));
    const std::optional<astro::YearSky> sky = YearSkyFor(sky_, year);
    const QString title = YearTitle(year);
    std::vector<bool> kept = YearCellsKept(year);
    year_->Show(std::move(year),
                kept.empty() ? title : title + QStringLiteral(" \u00B7 clear dark minutes"),
                YearScale(sky_, actions_.magnitude->isChecked()), std::move(kept));
    if (sky) year_->SetSky(*sky);
    yearShown_ = true;
    actions_.kinds[3]->setChecked(true);
    charts_->setCurrentWidget(year_);
    days_->Select(lastNight, stations_);
    ShowSummary();
}

void ViewerWindow::Step(int steps) {
    if (!yearShown_) return ShowSpan(lines_.span.Stepped(steps));
    // A year on: the same date, the 28th for a 29 February that the year lacks.
    const CivilDate last = CivilFromDays(year_->Year().LastNight());
    const std::int64_t y = last.year + steps;
    ShowYear(DaysFromCivil(y, last.month, std::min(last.day, DaysInMonth(y, last.month))));
}

void ViewerWindow::SetKind(SpanKind kind) {
    kind_ = kind;
    actions_.kinds[int(kind)]->setChecked(true);
    if (kind != lines_.span.kind || yearShown_) ShowSpan(TimeSpan::Of(kind, lines_.span.day));
}

void ViewerWindow::Watch() {
    ShowSourceStatus();
    watch_.Follow(*source_);
}

void ViewerWindow::Refresh() {
    if (source_->Rescan()) days_->Update();
    if (yearShown_) {
        // Unchanged files come from the minute cache: only the changed ones are read.
        ShowYear(year_->Year().LastNight());
        Watch();
        return;
    }
    bool changed = false;
    for (const QString& station : stations_)
        changed = changed || source_->Changed(station, lines_);
    if (changed)
        ShowSpan(lines_.span, true);
    else
        Watch();
}

bool ViewerWindow::ExportTo(const QString& path, QString* why) {
    const ExportFormat format = FormatOfName(path);
    if (format == ExportFormat::Unknown)
        return Fail(why, QStringLiteral("\"%1\" is no .png, .svg, .pdf or .csv file").arg(path));
    if (yearShown_)
        return format == ExportFormat::Csv ? ExportYearCsv(year_->Year(), path, why)
                                           : ExportChart(*year_, format, path, year_->size(), why);
    if (format == ExportFormat::Csv && !curves_->Others().empty()) {
        std::vector<const std::vector<DayRecord>*> records{&Records()};
        for (const StationCurves::Station& other : curves_->Others())
            records.push_back(&other.series.All());
        return ExportStationsCsv(stations_, records, path, why);
    }
    return format == ExportFormat::Csv
               ? ExportCsv(Records(), path, sky_.ZeroPoints(),
                           strip_->Shown() ? &strip_->Minutes() : nullptr, why)
               : ExportChart(*chart_, format, path, chart_->size(), why);
}

void ViewerWindow::ShowConditions() {
    if (!actions_.conditions->isChecked() || !sky_.Position()) return strip_->Hide();
    strip_->Show(conditions_.ForSpan(sky_, source_->DayFiles(), chart_->Span(), Records()));
}

void ViewerWindow::ApplyValueScale() {
    const bool limiting = actions_.limitingMagnitude->isChecked();
    const bool magnitudes = limiting || actions_.magnitude->isChecked();
    chart_->SetLimitingMagnitude(limiting);
    chart_->SetMagnitude(magnitudes ? sky_.ZeroPoints() : nullptr);
    actions_.logarithmic->setEnabled(!magnitudes);
}

std::vector<bool> ViewerWindow::YearCellsKept(const YearMinutes& year) const {
    const std::optional<astro::Observer> where = sky_.Position();
    if (!actions_.clearOnly->isChecked() || !where) return {};
    return sky::ClearCells(sky::ClassifyYear(year, *where, sky_.Station().TimeZone()));
}

void ViewerWindow::AskNightFigures() {
    const DayFileSet* files = source_->DayFiles();
    if (!files) return; // the figures read day files
    const std::int64_t last =
        lines_.span.kind == SpanKind::Week ? lines_.span.day - 1 : lines_.span.day;
    AskNightFiguresExport(*this, source_->ExportFolder(), *files, sky_, last - 29, last,
                          actions_.conditions->isChecked() ? &minuteCache_ : nullptr, today_);
}

void ViewerWindow::ShowSkyStatus() {
    skyStatus_->setText(sky_.StatusText());
}

void ViewerWindow::ShowSourceStatus() {
    const QString trouble = source_->Trouble();
    sourceStatus_->setText(trouble);
    sourceStatus_->setStyleSheet(trouble.isEmpty() ? QString()
                                                   : QStringLiteral("color: rgb(180, 0, 0)"));
}

QString ViewerWindow::SourceStatusText() const {
    return sourceStatus_->text();
}

QString ViewerWindow::SkyStatusText() const {
    return skyStatus_->text();
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
    if (yearShown_) return readout_->setText(year_->SummaryText());
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
