// SPDX-License-Identifier: GPL-3.0-or-later
// A calibration as the viewer runs it, from the command line or its dialog: the station's
// lines from its source (day files or the archive), the reference's from its own (a
// folder of day files, a station of the archive, or another instrument's skyglow file),
// night by night, into the core's cross-calibration.
#pragma once

#include "core/log/RecordSource.h"
#include "core/sky/CrossCalibration.h"
#include "core/sky/SkyglowReference.h"

#include <QString>

#include <memory>
#include <optional>

struct CalibrationReference {
    QString name;                               // what the result says it was calibrated against
    std::unique_ptr<RecordSource> source;       // day files or the archive, or
    RecordSource* shared = nullptr;             // the archive the station comes from
    QString station;                            // the station in it (empty for day files)
    std::optional<sky::ReferenceLines> skyglow; // or the lines of a skyglow file
    sky::ZeroPoints zeroPoints;
};

// A folder of day files; its zero point `zeroPoint`, else its station.conf's. None, with
// the reason, when neither gives one or its station.conf is wrong.
std::optional<CalibrationReference> FolderReference(const QString& folder,
                                                    std::optional<double> zeroPoint, QString* why);
// Another instrument's skyglow file, in the station's time zone.
std::optional<CalibrationReference> SkyglowReference(const QString& path, const QTimeZone& zone,
                                                     QString* why);
// A station of the archive the station is read from.
CalibrationReference StationReference(RecordSource& archive, const QString& station,
                                      double zeroPoint);

// The nights from the evening `first` to the evening `last`.
sky::Calibration RunCalibration(RecordSource& source, const QString& station,
                                CalibrationReference& reference, std::int64_t first,
                                std::int64_t last, const astro::Observer& where,
                                const QTimeZone& zone);

// What the viewer prints and shows: the result, then the line to paste.
QString CalibrationReport(const sky::Calibration& calibration, const QString& referenceName);
