// Nocturo: keeps a continuous record of a USB light sensor.
#include "LocalClock.h"
#include "TerminationSignals.h"
#include "UMain.h"
#include "UShutdown.h"
#include "UsbAPI.h"

#include <QApplication>

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Nocturo"));
    QApplication::setApplicationDisplayName(QStringLiteral("Nocturo"));

    // A shutdown, a logout or Ctrl-C ends the program through its normal shut-down.
    TerminationSignals termination([](int) { QCoreApplication::exit(0); });

    SystemClock clock;
    TForm1Services services{
        .pipes = usbapi::DefaultPipeLibrary(),
        .pipeEvents = usbapi::DefaultPipeEvents(),
        .clock = clock,
        .systemExit = [](std::uint32_t flags) { return ExitWindowsPrivileged(flags); }};
    TForm1 Form1(services);
    Form1.show();
    return QApplication::exec();
}
