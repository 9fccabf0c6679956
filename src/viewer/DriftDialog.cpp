// SPDX-License-Identifier: GPL-3.0-or-later
#include "viewer/DriftDialog.h"

#include "core/Failure.h"
#include "core/log/DayFileSource.h"
#include "viewer/DriftChart.h"
#include "viewer/SkyOverlay.h"
#include "viewer/SkyTasks.h"

#include <QApplication>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSaveFile>
#include <QVBoxLayout>

DriftDialog::DriftDialog(const QString& folder, std::optional<astro::Observer> location,
                         QWidget* parent)
    : QDialog(parent)
    , location_(location)
    , folder_(new QLineEdit(folder))
    , summary_(new QLabel)
    , chart_(new DriftChart) {
    setWindowTitle(QStringLiteral("Drift in Clear Twilight"));
    summary_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    chart_->setMinimumSize(480, 280);
    auto* form = new QFormLayout;
    form->addRow(QStringLiteral("Station's day files:"), folder_);
    auto* figure = new QPushButton(QStringLiteral("&Figure"));
    auto* save = new QPushButton(QStringLiteral("&Export\u2026"));
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close);
    buttons->addButton(figure, QDialogButtonBox::ActionRole);
    buttons->addButton(save, QDialogButtonBox::ActionRole);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(figure, &QPushButton::clicked, this, [this] {
        if (QString why; !Figure(&why)) summary_->setText(why);
    });
    connect(save, &QPushButton::clicked, this, [this] {
        const QString path = QFileDialog::getSaveFileName(
            this, QStringLiteral("Export the Drift"), QStringLiteral("drift.csv"),
            QStringLiteral("CSV (*.csv);;PNG picture (*.png)"));
        if (path.isEmpty()) return;
        if (QString why; !Export(path, &why)) summary_->setText(why);
    });
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addWidget(chart_, 1);
    layout->addWidget(summary_);
    layout->addWidget(buttons);
    resize(760, 520);
}

bool DriftDialog::Figure(QString* why) {
    drift_.reset();
    SkyOverlay sky(location_);
    sky.SetFolder(folder_->text());
    if (!sky.Problem().isEmpty()) return Fail(why, sky.Problem());
    const std::optional<astro::Observer> where = sky.Position();
    if (!where)
        return Fail(why, QStringLiteral("The drift needs the station's position: give latitude "
                                        "and longitude in its station.conf."));
    DayFileSource source(DayFileSet::FromFolder(folder_->text()));
    std::int64_t first = 0, last = -1;
    for (const DayFileSet::File& f : source.DayFiles()->Files()) {
        if (f.day == DayFileSet::kUndated) continue;
        first = last < first ? f.day - 1 : std::min(first, f.day - 1);
        last = std::max(last, f.day);
    }
    QApplication::setOverrideCursor(Qt::WaitCursor);
    sky::Drift drift = FigureStationDrift(source, QString(), first, last, *where,
                                          sky.Station().TimeZone(), sky.Station().zeroPoints);
    QApplication::restoreOverrideCursor();
    if (drift.months.empty())
        return Fail(why, QStringLiteral("No clear twilight with the Moon down."));
    chart_->Show(drift);
    summary_->setText(DriftText(drift));
    drift_ = std::move(drift);
    return true;
}

bool DriftDialog::Export(const QString& path, QString* why) {
    if (!drift_) return Fail(why, QStringLiteral("Figure the drift first."));
    if (!path.endsWith(QLatin1String(".csv"), Qt::CaseInsensitive))
        return ExportDriftPicture(*drift_, path, QSize(1200, 800), why);
    QSaveFile file(path);
    const QByteArray csv = sky::DriftCsv(*drift_);
    if (!file.open(QIODevice::WriteOnly) || file.write(csv) != csv.size() || !file.commit())
        return Fail(why, QStringLiteral("Cannot write \"%1\": %2").arg(path, file.errorString()));
    return true;
}
