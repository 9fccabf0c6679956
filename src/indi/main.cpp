// SPDX-License-Identifier: GPL-3.0-or-later
// indi_nocturo: the light-monitoring station for INDI clients (Ekos and others), run by
// indiserver. INDI's driver library brings main() and the event loop; the one device below
// registers itself with it when constructed, which is how INDI finds a driver's device.
#include "indi/NocturoDevice.h"

static NocturoDevice device;
