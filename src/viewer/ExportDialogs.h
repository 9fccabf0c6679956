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
// writes a path and gives the reason when it failed (an empty string when it worked).
void AskShownExport(QMainWindow& window, const QString& folder, const QString& title,
                    const QStringList& stations,
                    const std::function<QString(const QString&)>& exportTo);

// The figures of a run of nights, the range asked first, from `first` to `last`; with
// `conditions`, over the clear minutes (ExportNightFigures).
void AskNightFiguresExport(QMainWindow& window, const QString& folder, const DayFileSet& files,
                           const SkyOverlay& sky, std::int64_t first, std::int64_t last,
                           const MinuteCache* conditions = nullptr, std::int64_t today = 0);

// The lines of a span in the skyglow archives' format; `title` names the file.
void AskSkyglowExport(QMainWindow& window, const QString& folder, const QString& title,
                      const std::vector<DayRecord>& records, const SkyOverlay& sky);

// The outcome of an export written to `path`: `failure` empty when it worked.
void TellExport(QMainWindow& window, const QString& failure, const QString& path);
