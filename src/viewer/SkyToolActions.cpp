// SPDX-License-Identifier: GPL-3.0-or-later
#include "viewer/SkyToolActions.h"

#include "viewer/CalibrationDialog.h"
#include "viewer/DriftDialog.h"
#include "viewer/SkyOverlay.h"

#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>

namespace {

template <class Dialog, class Make> void ShowOne(QMainWindow& window, Make make) {
    auto* dialog = window.findChild<Dialog*>();
    if (!dialog) {
        dialog = make();
        dialog->setAttribute(Qt::WA_DeleteOnClose);
    }
    dialog->show();
    dialog->raise();
}

} // namespace

void AddSkyToolActions(QMainWindow& window, const ViewerOptions& options, std::int64_t today) {
    // The dialogs read day files; on the archive the command line calibrates.
    if (options.archive) return;
    QMenu* tools = window.menuBar()->addMenu(QStringLiteral("&Calibration"));
    const QString folder = StationFolder(options.folder, options.files);
    const std::optional<astro::Observer> location = options.location;
    QObject::connect(tools->addAction(QStringLiteral("&Calibrate Against a Reference\u2026")),
                     &QAction::triggered, &window, [&window, folder, location, today] {
                         ShowOne<CalibrationDialog>(window, [&] {
                             return new CalibrationDialog(folder, location, today, &window);
                         });
                     });
    QObject::connect(tools->addAction(QStringLiteral("&Drift in Clear Twilight\u2026")),
                     &QAction::triggered, &window, [&window, folder, location] {
                         ShowOne<DriftDialog>(
                             window, [&] { return new DriftDialog(folder, location, &window); });
                     });
}
