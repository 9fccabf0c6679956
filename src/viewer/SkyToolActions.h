// SPDX-License-Identifier: GPL-3.0-or-later
// The window's menu entries for the calibration and the drift dialogs, on day files.
#pragma once

#include "viewer/ViewerOptions.h"

#include <cstdint>

class QMainWindow;

void AddSkyToolActions(QMainWindow& window, const ViewerOptions& options, std::int64_t today);
