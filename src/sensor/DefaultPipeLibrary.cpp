// SPDX-License-Identifier: GPL-3.0-or-later
// The program's one binding of the pipe library: libusb, watching for the sensor.
#include "sensor/PICUSBClass.h"
#include "sensor/libusb/LibusbPipeLibrary.h"

namespace usbapi {

static LibusbPipeLibrary& Binding() {
    static LibusbPipeLibrary library(TPICUSB::kDeviceId);
    return library;
}

PipeLibrary& DefaultPipeLibrary() {
    return Binding();
}

PipeEventSource* DefaultPipeEvents() {
    return &Binding();
}

} // namespace usbapi
