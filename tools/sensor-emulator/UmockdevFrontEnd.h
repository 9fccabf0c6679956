// SPDX-License-Identifier: GPL-3.0-or-later
// The umockdev front end: the device in a umockdev testbed, and optionally a command run
// against it under umockdev's preload library.
#pragma once

class EmulatorSession;

// Serves the device until the command ends (its exit code is returned) or, without a
// command, until a termination signal.
int runUmockdevFrontEnd(EmulatorSession& session);
