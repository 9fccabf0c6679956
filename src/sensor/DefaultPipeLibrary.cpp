// SPDX-License-Identifier: GPL-3.0-or-later
// The program's one binding of the pipe library: libusb, watching for the sensor.
#include "LibusbPipeLibrary.h"
#include "PICUSBClass.h"

namespace usbapi {

static LibusbPipeLibrary& binding() {
    static LibusbPipeLibrary library(TPICUSB::DeviceId);
    return library;
}

PipeLibrary& DefaultPipeLibrary() {
    return binding();
}

PipeEventSource* DefaultPipeEvents() {
    return &binding();
}

} // namespace usbapi
