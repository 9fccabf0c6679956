// SPDX-License-Identifier: GPL-3.0-or-later
// A picture of the viewer's window, for looking at it and for the user guide: the window
// on a folder, with the pointer resting over the chart. Not a test.
//
//   viewer_shots OUT.png X-FRACTION [viewer options and folder...]
#include "viewer/SpanChart.h"
#include "viewer/ViewerWindow.h"
#include "viewer/YearChart.h"

#include <QApplication>
#include <QMouseEvent>
#include <QTimer>

#include <cstdio>

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    QStringList arguments = QApplication::arguments();
    if (arguments.size() < 3) {
        std::fprintf(stderr, "usage: viewer_shots OUT.png X-FRACTION [options] [FOLDER]\n");
        return 2;
    }
    const QString out = arguments.takeAt(1);
    const double fraction = arguments.takeAt(1).toDouble();
    const ParsedOptions parsed =
        ParseViewerOptions(arguments, LocalToday(), qEnvironmentVariable("HOME"),
                           qEnvironmentVariable("NOCTURO_DATA_DIR"));
    if (parsed.outcome != ParsedOptions::Run) {
        std::fprintf(stderr, "%s\n", qPrintable(parsed.text));
        return 2;
    }
    ViewerWindow window(parsed.options, LocalToday());
    window.resize(1280, 800);
    window.show();
    QTimer::singleShot(500, [&] {
        if (window.YearShown()) {
            // The pointer over the year's map, at the fraction across and the middle of the
            // night, so that the status bar reads that minute.
            YearChart& year = window.Year();
            const QRect rect = year.MapRect()->rect();
            const QPoint at(rect.left() + int(fraction * rect.width()), rect.center().y());
            QMouseEvent move(QEvent::MouseMove, at, year.mapToGlobal(at), Qt::NoButton,
                             Qt::NoButton, Qt::NoModifier);
            QApplication::sendEvent(&year, &move);
            QApplication::processEvents();
            window.grab().save(out);
            app.quit();
            return;
        }
        SpanChart& chart = window.Chart();
        const QRect rect = chart.PanelRect(SpanChart::Counts)->rect();
        const QPoint at(rect.left() + int(fraction * rect.width()), rect.center().y());
        QMouseEvent move(QEvent::MouseMove, at, chart.mapToGlobal(at), Qt::NoButton, Qt::NoButton,
                         Qt::NoModifier);
        QApplication::sendEvent(&chart, &move);
        QApplication::processEvents();
        chart.replot();
        window.grab().save(out);
        app.quit();
    });
    return app.exec();
}
