// SPDX-License-Identifier: GPL-3.0-or-later
// The usbredir front end: the device served on a listening Unix socket, for qemu's
// usb-redir to connect to (and to connect again after it went away).
#pragma once

class EmulatorSession;

// Serves the device until a termination signal; returns the exit code.
int runUsbRedirFrontEnd(EmulatorSession& session);
