// SPDX-License-Identifier: GPL-3.0-or-later
// The window's jellyfish export: the month or the year asked for (that of `night` to
// begin with), all night or the clear dark minutes only, then where to write it.
#pragma once

#include "core/log/DayFileSet.h"
#include "core/log/MinuteCache.h"
#include "core/text/RegionalSettings.h"
#include "viewer/SkyOverlay.h"

#include <QString>

#include <cstdint>

class QMainWindow;

void AskJellyfishExport(QMainWindow& window, const QString& folder, const DayFileSet& files,
                        const SkyOverlay& sky, const MinuteCache& cache, std::int64_t today,
                        std::int64_t night, const RegionalSettings& regional);
