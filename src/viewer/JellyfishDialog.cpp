// SPDX-License-Identifier: GPL-3.0-or-later
#include "viewer/JellyfishDialog.h"

#include "viewer/ExportDialogs.h"
#include "viewer/JellyfishExport.h"
#include "viewer/SpanExport.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDateEdit>
#include <QDialog>
#include <QDialogButtonBox>
#include <QDir>
#include <QFileDialog>
#include <QFormLayout>
#include <QMainWindow>

void AskJellyfishExport(QMainWindow& window, const QString& folder, const DayFileSet& files,
                        const SkyOverlay& sky, const MinuteCache& cache, std::int64_t today,
                        std::int64_t night, const RegionalSettings& regional) {
    QDialog dialog(&window);
    dialog.setWindowTitle(QStringLiteral("Export Jellyfish"));
    auto* length = new QComboBox(&dialog);
    length->addItems({QStringLiteral("Month"), QStringLiteral("Year")});
    const CivilDate date = CivilFromDays(night);
    auto* when = new QDateEdit(QDate(date.year, date.month, 1), &dialog);
    when->setDisplayFormat(QStringLiteral("yyyy-MM"));
    QObject::connect(length, &QComboBox::currentIndexChanged, when, [when](int index) {
        when->setDisplayFormat(index == 0 ? QStringLiteral("yyyy-MM") : QStringLiteral("yyyy"));
    });
    auto* clear = new QCheckBox(QStringLiteral("Clear dark minutes only"), &dialog);
    clear->setChecked(true);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, &dialog);
    QObject::connect(buttons, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
    QObject::connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
    auto* layout = new QFormLayout(&dialog);
    layout->addRow(QStringLiteral("Nights of a:"), length);
    layout->addRow(QStringLiteral("Month or year:"), when);
    layout->addRow(clear);
    layout->addRow(buttons);
    if (dialog.exec() != QDialog::Accepted) return;

    const QDate chosen = when->date();
    const QString name = length->currentIndex() == 0 ? chosen.toString(QStringLiteral("yyyy-MM"))
                                                     : chosen.toString(QStringLiteral("yyyy"));
    const std::optional<JellyfishPeriod> period = ParseJellyfishPeriod(name);
    if (!period) return;
    const QString path = QFileDialog::getSaveFileName(
        &window, QStringLiteral("Export Jellyfish"),
        QDir(folder).filePath(QStringLiteral("jellyfish-%1.png").arg(name)),
        QStringLiteral("PNG image (*.png);;SVG drawing (*.svg);;PDF document (*.pdf);;"
                       "CSV table of the minutes per cell (*.csv)"));
    if (path.isEmpty()) return;
    QApplication::setOverrideCursor(Qt::WaitCursor);
    QString failure;
    const std::optional<sky::Jellyfish> jellyfish =
        MakeJellyfish(files, sky, *period, clear->isChecked(), cache, today, &failure);
    const bool written =
        jellyfish && WriteJellyfish(*jellyfish, name, path, QSize(1200, 800), regional, &failure);
    QApplication::restoreOverrideCursor();
    TellExport(window, written, failure, path);
}
