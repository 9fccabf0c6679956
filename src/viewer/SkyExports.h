// SPDX-License-Identifier: GPL-3.0-or-later
// The exports that need the station's description: the figures of a run of nights (CSV)
// and a span in the skyglow archives' format, from the window and the command line alike.
#pragma once

#include "core/log/DayFileCache.h"
#include "core/log/DayFileSet.h"
#include "core/log/DayRecord.h"
#include "core/log/MinuteCache.h"
#include "viewer/SkyOverlay.h"

#include <QString>

#include <cstdint>
#include <vector>

// One line of figures per night from the evening `first` to the evening `last` (days since
// 1970-01-01). With `conditions` (a minute cache for the clear-sky baseline), the figures
// are over the clear dark moonless minutes only, and the table adds the clear minutes, the
// limiting magnitude and the Bortle class. False, with the reason in `why`, when it fails
// (no position, a file not written).
bool ExportNightFigures(const DayFileSet& files, DayFileCache& cache, std::int64_t first,
                        std::int64_t last, const SkyOverlay& sky, const QString& path,
                        const MinuteCache* conditions = nullptr, std::int64_t today = 0,
                        QString* why = nullptr);

// The lines of a span in the skyglow archives' format; false, with the reason in `why`,
// when it fails.
bool ExportSkyglow(const std::vector<DayRecord>& records, const SkyOverlay& sky,
                   const QString& path, QString* why = nullptr);

struct ViewerOptions;
// The command line's --nights and --ida exports (--conditions: the nightly figures over
// clear minutes, the cache in `cacheDirectory`): 0 written, 2 a bad station description,
// no position or no lines, 1 the file not written. Messages go to `say`.
int RunSkyExport(const ViewerOptions& options, void (*say)(const QString&),
                 const QString& cacheDirectory = {}, std::int64_t today = 0);
