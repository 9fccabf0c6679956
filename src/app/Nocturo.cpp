// SPDX-License-Identifier: GPL-3.0-or-later
// Nocturo: keeps a continuous record of a USB light sensor.
#include "app/UMain.h"
#include "core/text/LocalClock.h"
#include "sensor/UsbAPI.h"
#include "system/TerminationSignals.h"
#include "system/UShutdown.h"

#include <QApplication>

#include <memory>

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Nocturo"));
    QApplication::setApplicationDisplayName(QStringLiteral("Nocturo"));

    // A shutdown, a logout or Ctrl-C ends the program through its normal shut-down, but
    // never waits for a click: a final save that fails is told on standard error and in
    // the exit status.
    bool bySignal = false;
    TerminationSignals termination([&bySignal](int) {
        bySignal = true;
        QCoreApplication::exit(0);
    });

    SystemClock clock;
    TForm1Services services{.pipes = usbapi::DefaultPipeLibrary(),
                            .pipeEvents = usbapi::DefaultPipeEvents(),
                            .clock = clock,
                            .systemExit = ExitWindowsPrivileged};
    auto Form1 = std::make_unique<TForm1>(services);
    Form1->show();
    int status = QApplication::exec();
    if (bySignal && !Form1->ShutDownWithoutBox()) status = 1;
    Form1.reset();
    return status;
}
