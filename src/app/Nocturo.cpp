// Nocturo: keeps a continuous record of a USB light sensor.
#include "LocalClock.h"
#include "UMain.h"
#include "UsbAPI.h"

#include <QApplication>

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Nocturo"));
    QApplication::setApplicationDisplayName(QStringLiteral("Nocturo"));

    SystemClock clock;
    TForm1Services services{.pipes = usbapi::DefaultPipeLibrary(),
                            .pipeEvents = usbapi::DefaultPipeEvents(),
                            .clock = clock};
    TForm1 Form1(services);
    Form1.show();
    return QApplication::exec();
}
