// SPDX-License-Identifier: GPL-3.0-or-later
#include "viewer/ExportDialogs.h"

#include "core/log/DayFileCache.h"
#include "viewer/NightsDialog.h"
#include "viewer/SkyExports.h"
#include "viewer/SpanExport.h"
#include "viewer/ViewerTexts.h"

#include <QApplication>
#include <QDir>
#include <QFileDialog>
#include <QMainWindow>
#include <QMessageBox>
#include <QStatusBar>

void TellExport(QMainWindow& window, bool written, const QString& why, const QString& path) {
    if (!written) {
        QMessageBox::critical(&window, QStringLiteral("Nocturo Viewer"), why + QLatin1Char('.'));
        return;
    }
    window.statusBar()->showMessage(
        QStringLiteral("Exported to %1").arg(QDir::toNativeSeparators(path)), 5000);
}

void AskShownExport(QMainWindow& window, const QString& folder, const QString& title,
                    const QStringList& stations,
                    const std::function<bool(const QString& path, QString* why)>& exportTo) {
    QString name = QString(title).toLower().replace(u' ', u'-');
    for (const QString& station : stations)
        if (!station.isEmpty()) name += u'-' + station;
    QString filter;
    QString path = QFileDialog::getSaveFileName(
        &window, QStringLiteral("Export"), QDir(folder).filePath(name + QStringLiteral(".png")),
        QStringLiteral("PNG image (*.png);;SVG drawing (*.svg);;PDF document (*.pdf);;"
                       "CSV table of the span's lines or the year's minutes (*.csv)"),
        &filter);
    if (path.isEmpty()) return;
    if (FormatOfName(path) == ExportFormat::Unknown) {
        const int star = int(filter.indexOf(u'*'));
        path += filter.mid(star + 1, 4);
    }
    QString why;
    const bool written = exportTo(path, &why);
    TellExport(window, written, why, path);
}

void AskNightFiguresExport(QMainWindow& window, const QString& folder, const DayFileSet& files,
                           const SkyOverlay& sky, std::int64_t first, std::int64_t last,
                           const MinuteCache* conditions, std::int64_t today) {
    if (!AskNights(&window, first, last)) return;
    const QString name = QStringLiteral("nights-%1-to-%2.csv").arg(IsoDate(first), IsoDate(last));
    const QString path = QFileDialog::getSaveFileName(
        &window, QStringLiteral("Export Nightly Figures"), QDir(folder).filePath(name),
        QStringLiteral("CSV table of nightly figures (*.csv)"));
    if (path.isEmpty()) return;
    QApplication::setOverrideCursor(Qt::WaitCursor);
    DayFileCache cache;
    QString why;
    const bool written =
        ExportNightFigures(files, cache, first, last, sky, path, conditions, today, &why);
    QApplication::restoreOverrideCursor();
    TellExport(window, written, why, path);
}

void AskSkyglowExport(QMainWindow& window, const QString& folder, const QString& title,
                      const std::vector<DayRecord>& records, const SkyOverlay& sky) {
    const QString name = QString(title).toLower().replace(u' ', u'-') + QStringLiteral(".dat");
    const QString path = QFileDialog::getSaveFileName(
        &window, QStringLiteral("Export for the Skyglow Archive"), QDir(folder).filePath(name),
        QStringLiteral("Skyglow data file (*.dat);;All files (*)"));
    if (path.isEmpty()) return;
    QString why;
    const bool written = ExportSkyglow(records, sky, path, &why);
    TellExport(window, written, why, path);
}
