// SPDX-License-Identifier: GPL-3.0-or-later
// The jellyfish picture of a month or a year of day files, to a file (PNG, SVG, PDF or the
// CSV of its cells), from the window and the command line alike.
#pragma once

#include "core/log/DayFileSet.h"
#include "core/log/MinuteCache.h"
#include "core/sky/Jellyfish.h"
#include "core/text/RegionalSettings.h"
#include "viewer/SkyOverlay.h"
#include "viewer/SkyViewOptions.h"
#include "viewer/YearExport.h"

#include <QSize>
#include <QString>

#include <optional>

// The jellyfish of `period`: the minutes' conditions judged against the period's own
// clear sky. None, with the reason in `why`, without a position or a zero point, or
// without a minute to count.
std::optional<sky::Jellyfish> MakeJellyfish(const DayFileSet& files, const SkyOverlay& sky,
                                            const JellyfishPeriod& period, bool clearOnly,
                                            const MinuteCache& cache, std::int64_t today,
                                            QString* why);

// Writes it: the picture at `size`, or the CSV (sky::JellyfishCsv). False, with the reason
// in `why`, when it fails.
bool WriteJellyfish(const sky::Jellyfish& jellyfish, const QString& name, const QString& path,
                    QSize size, const RegionalSettings& regional = {}, QString* why = nullptr);

// The command line's --jellyfish: status 0 written, 2 no position, zero point or minute,
// 1 the file not written.
YearExportOutcome ExportJellyfish(const ViewerOptions& options, std::int64_t today,
                                  const QString& cacheDirectory,
                                  const RegionalSettings& regional = {});
