// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/station/LinkStatusHint.h"

#include "sensor/PICUSBClass.h"

QString LinkStatusHint(bool active, usbapi::OpenFailure failure) {
    if (active) return {};
    switch (failure) {
    case usbapi::OpenFailure::NoDevice:
        return QStringLiteral("No sensor found (USB %1). Check that it is plugged in.")
            .arg(QString::fromStdString(TPICUSB::UsbIdText()));
    case usbapi::OpenFailure::AccessDenied:
        return QStringLiteral("Access to the sensor was denied. Install the udev rule "
                              "70-nocturo.rules (see README) and plug the sensor in again.");
    case usbapi::OpenFailure::Busy:
        return QStringLiteral("The sensor is in use by another program.");
    case usbapi::OpenFailure::Other:
    case usbapi::OpenFailure::None:
        break;
    }
    return QStringLiteral("The sensor does not answer; reconnecting.");
}
