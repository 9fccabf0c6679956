// SPDX-License-Identifier: GPL-3.0-or-later
// Why the sensor link is down, in words for the status panel's tooltip.
#pragma once

#include "sensor/UsbAPI.h"

#include <QString>

// Empty while the link is up.
QString LinkStatusHint(bool active, usbapi::OpenFailure failure);
