// SPDX-License-Identifier: GPL-3.0-or-later
// The viewer's command-line tasks on the sky's figures, beside its views and exports:
//
//   nocturo-view --calibrate (--reference-folder REF [--reference-zero-point MAG]
//                | --reference-skyglow FILE | --reference-station NAME --reference-zero-point MAG)
//                [--night DATE | --nights FROM TO] [FOLDER | --archive ADDRESS --station NAME]
//   nocturo-view --drift [--nights FROM TO] [--output FILE.csv|.png] [FOLDER]
//   nocturo-view --month YYYY-MM [--output FOLDER] [FOLDER | --archive ADDRESS [--station NAME]...]
#pragma once

#include <QString>

#include <optional>
#include <utility>

class QCommandLineParser;

struct SkyTasks {
    bool calibrate = false;
    QString referenceFolder;                  // day files of a calibrated reference, or
    QString referenceSkyglow;                 // another instrument's skyglow file, or
    QString referenceStation;                 // a station of the archive
    std::optional<double> referenceZeroPoint; // default: the reference folder's station.conf
    bool drift = false;
    std::optional<std::pair<int, int>> month; // year, month
    QString output;                           // --output
    bool Any() const { return calibrate || drift || month.has_value(); }
};

void AddSkyTaskOptions(QCommandLineParser& parser);
// Reads them after parsing; false with `why` when they do not go together.
bool ReadSkyTaskOptions(const QCommandLineParser& parser, SkyTasks& tasks, QString* why = nullptr);
