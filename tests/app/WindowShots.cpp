// SPDX-License-Identifier: GPL-3.0-or-later
// Pictures of the window's three pages, for looking at the layout: a station with a
// scripted sensor and a few minutes of log lines. Not a test; run it under a real or
// virtual display: window_shots <directory>.
#include "WindowTestSupport.h"

#include <QApplication>
#include <QDir>
#include <QTimer>

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    const QString out = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral(".");
    WindowRig station;
    TForm1& form = *station.form;
    form.show();
    for (int s = 0; s < 300; ++s) {
        station.pipes.setReply('L', LightReply(200 + (s * 37) % 900, 1 + s / 61));
        station.clock.Set(21, 40 + s / 60, s % 60, 125);
        form.IdleHandler();
    }
    const WindowWidgets ui(form);
    const char* const names[] = {"plot", "data", "settings"};
    int page = 0;
    QTimer shooter;
    QObject::connect(&shooter, &QTimer::timeout, [&] {
        if (page == 3) {
            app.quit();
            return;
        }
        ui.PageControl1->setCurrentIndex(page);
        QApplication::processEvents();
        form.grab().save(QDir(out).filePath(QStringLiteral("%1.png").arg(names[page])));
        ++page;
    });
    shooter.start(300);
    return app.exec();
}
