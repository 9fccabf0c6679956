// SPDX-License-Identifier: GPL-3.0-or-later
// Nocturo: keeps a continuous record of a USB light sensor.
#include "LocalClock.h"
#include "TerminationSignals.h"
#include "UMain.h"
#include "UShutdown.h"
#include "UsbAPI.h"

#include <QApplication>

#include <cstdio>
#include <cstring>
#include <memory>

namespace {
// The program has no options of its own; --help says so, for the manual page too.
constexpr const char* kHelp =
    "Usage: nocturo\n"
    "Keeps a continuous record of the USB light sensor: one line a second in the daily log\n"
    "yyyymmdd.txt of the working directory, a plot of counts, temperature and range, and\n"
    "the link, clock, temperature and flux in the status bar. Start it in the folder the\n"
    "logs belong in (nocturo-station does).\n"
    "\n"
    "  --help     show this text and end\n"
    "\n"
    "Exit status: 0 when it ended normally, 1 when its last save failed.\n";
} // namespace

int main(int argc, char* argv[]) {
    if (argc == 2 && std::strcmp(argv[1], "--help") == 0) {
        std::fputs(kHelp, stdout);
        return 0;
    }
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
