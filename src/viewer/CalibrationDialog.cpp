// SPDX-License-Identifier: GPL-3.0-or-later
#include "viewer/CalibrationDialog.h"

#include "core/log/DayFileSource.h"
#include "viewer/CalibrationRun.h"
#include "viewer/NightsDialog.h"
#include "viewer/SkyOverlay.h"

#include <QApplication>
#include <QClipboard>
#include <QComboBox>
#include <QDateEdit>
#include <QDialogButtonBox>
#include <QDoubleSpinBox>
#include <QFileDialog>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>

CalibrationDialog::CalibrationDialog(const QString& folder, std::optional<astro::Observer> location,
                                     std::int64_t today, QWidget* parent)
    : QDialog(parent)
    , location_(location)
    , station_(new QLineEdit(folder))
    , kind_(new QComboBox)
    , reference_(new QLineEdit)
    , zeroPoint_(new QDoubleSpinBox)
    , first_(new QDateEdit(DateOf(today - 1)))
    , last_(new QDateEdit(DateOf(today - 1)))
    , calibrate_(new QPushButton(QStringLiteral("&Calibrate")))
    , result_(new QPlainTextEdit)
    , line_(new QLineEdit) {
    setWindowTitle(QStringLiteral("Calibrate Against a Reference"));
    kind_->addItems({QStringLiteral("Folder of day files"), QStringLiteral("Skyglow file")});
    zeroPoint_->setRange(0, 40);
    zeroPoint_->setDecimals(3);
    zeroPoint_->setSpecialValueText(QStringLiteral("from its station.conf"));
    for (QDateEdit* date : {first_, last_}) {
        date->setDisplayFormat(QStringLiteral("yyyy-MM-dd"));
        date->setCalendarPopup(true);
    }
    result_->setReadOnly(true);
    line_->setReadOnly(true);
    auto* browse = new QPushButton(QStringLiteral("&Browse\u2026"));
    connect(browse, &QPushButton::clicked, this, [this] {
        const QString path =
            kind_->currentIndex() == 0
                ? QFileDialog::getExistingDirectory(this, QStringLiteral("Reference Folder"))
                : QFileDialog::getOpenFileName(this, QStringLiteral("Reference Skyglow File"), {},
                                               QStringLiteral("Skyglow files (*.dat);;All (*)"));
        if (!path.isEmpty()) reference_->setText(path);
    });
    connect(kind_, &QComboBox::currentIndexChanged, this,
            [this](int index) { zeroPoint_->setEnabled(index == 0); });
    auto* where = new QHBoxLayout;
    where->addWidget(reference_);
    where->addWidget(browse);
    auto* form = new QFormLayout;
    form->addRow(QStringLiteral("Station's day files:"), station_);
    form->addRow(QStringLiteral("Reference:"), kind_);
    form->addRow(QString(), where);
    form->addRow(QStringLiteral("Reference's zero point:"), zeroPoint_);
    form->addRow(QStringLiteral("First night:"), first_);
    form->addRow(QStringLiteral("Last night:"), last_);
    auto* copy = new QPushButton(QStringLiteral("Co&py Line"));
    connect(copy, &QPushButton::clicked, this,
            [this] { QApplication::clipboard()->setText(line_->text()); });
    auto* pasted = new QHBoxLayout;
    pasted->addWidget(line_);
    pasted->addWidget(copy);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close);
    buttons->addButton(calibrate_, QDialogButtonBox::ActionRole);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(calibrate_, &QPushButton::clicked, this, &CalibrationDialog::Calibrate);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addWidget(result_);
    layout->addWidget(new QLabel(QStringLiteral("The line to add to the station's station.conf:")));
    layout->addLayout(pasted);
    layout->addWidget(buttons);
    resize(640, 420);
}

void CalibrationDialog::Calibrate() {
    line_->clear();
    const QString folder = station_->text();
    SkyOverlay sky(location_);
    sky.SetFolder(folder);
    if (!sky.Problem().isEmpty()) {
        result_->setPlainText(sky.Problem());
        return;
    }
    const std::optional<astro::Observer> position = sky.Position();
    if (!position) {
        result_->setPlainText(QStringLiteral("Calibrating needs the station's position: give "
                                             "latitude and longitude in its station.conf."));
        return;
    }
    QString why;
    std::optional<CalibrationReference> reference =
        kind_->currentIndex() == 0
            ? FolderReference(reference_->text(),
                              zeroPoint_->value() > 0 ? std::optional<double>(zeroPoint_->value())
                                                      : std::nullopt,
                              &why)
            : SkyglowReference(reference_->text(), sky.Station().TimeZone(), &why);
    if (!reference) {
        result_->setPlainText(why);
        return;
    }
    QApplication::setOverrideCursor(Qt::WaitCursor);
    DayFileSource source(DayFileSet::FromFolder(folder));
    const sky::Calibration calibration =
        RunCalibration(source, QString(), *reference, DayOfDate(first_->date()),
                       DayOfDate(last_->date()), *position, sky.Station().TimeZone());
    QApplication::restoreOverrideCursor();
    result_->setPlainText(CalibrationReport(calibration, reference->name));
    line_->setText(sky::ZeroPointLine(calibration));
}
