// SPDX-License-Identifier: GPL-3.0-or-later
// sensor-emulator: an emulated USB light sensor for running Nocturo, or any libusb
// program, without the hardware: through umockdev to a command on this machine, or
// through usbredir to a qemu guest (see --help).
#include "EmulatorOptions.h"
#include "EmulatorSession.h"
#include "Preload.h"
#include "UmockdevFrontEnd.h"
#include "UsbRedirFrontEnd.h"

int main(int argc, char** argv) {
    // umockdev's front end needs its preload library before anything else happens.
    const bool usbredir = wantsUsbRedir(argc, argv);
    if (!usbredir && !preload::ensure(argv)) return 1;
    EmulatorOptions options;
    if (!parseEmulatorOptions(argc, argv, options)) return 2;
    EmulatorSession session(options);
    return usbredir ? runUsbRedirFrontEnd(session) : runUmockdevFrontEnd(session);
}
