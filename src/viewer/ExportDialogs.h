// SPDX-License-Identifier: GPL-3.0-or-later
// The window's export dialogs: each asks where to write (starting in `folder`, with a name
// made from what is shown), writes, and tells the outcome: a message box with the reason
// when it failed, the status bar's "Exported to …" when it worked.
#pragma once

#include "core/log/DayFileSet.h"
#include "core/log/DayRecord.h"
#include "core/log/MinuteCache.h"
#include "viewer/SkyOverlay.h"

#include <QString>
#include <QStringList>

#include <cstdint>
#include <functional>
#include <vector>

class QMainWindow;

// The picture or the lines shown: `title` and the stations name the file; `exportTo`
// writes a path, false with the reason in its `why` when it fails.
void AskShownExport(QMainWindow& window, const QString& folder, const QString& title,
                    const QStringList& stations,
                    const std::function<bool(const QString& path, QString* why)>& exportTo);

// The figures of a run of nights, the range asked first, from `first` to `last`; with
// `conditions`, over the clear minutes (ExportNightFigures).
void AskNightFiguresExport(QMainWindow& window, const QString& folder, const DayFileSet& files,
                           const SkyOverlay& sky, std::int64_t first, std::int64_t last,
                           const MinuteCache* conditions = nullptr, std::int64_t today = 0);

// The lines of a span in the skyglow archives' format; `title` names the file.
void AskSkyglowExport(QMainWindow& window, const QString& folder, const QString& title,
                      const std::vector<DayRecord>& records, const SkyOverlay& sky);

// The outcome of an export to `path`: `why` it failed, unless it was `written`.
void TellExport(QMainWindow& window, bool written, const QString& why, const QString& path);
