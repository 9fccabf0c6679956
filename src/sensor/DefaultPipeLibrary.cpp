// SPDX-License-Identifier: GPL-3.0-or-later
// The program's one binding of the pipe library: libusb, watching for the sensor.
#include "sensor/libusb/LibusbPipeLibrary.h"
#include "sensor/PICUSBClass.h"

namespace usbapi {

static LibusbPipeLibrary& Binding() {
    static LibusbPipeLibrary library(TPICUSB::DeviceId);
    return library;
}

PipeLibrary& DefaultPipeLibrary() {
    return Binding();
}

PipeEventSource* DefaultPipeEvents() {
    return &Binding();
}

} // namespace usbapi
