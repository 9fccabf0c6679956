// SPDX-License-Identifier: GPL-3.0-or-later
// The forced reboot of this machine: SystemRestart on the real system bus, with the real
// capability check and kernel call behind it. Defined in nocturo_system_default, which
// only the programs link, so no test can reach it.
#pragma once

#include "system/SystemRestart.h"

SystemRestart DefaultSystemRestart();
