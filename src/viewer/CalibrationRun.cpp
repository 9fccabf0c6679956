// SPDX-License-Identifier: GPL-3.0-or-later
#include "viewer/CalibrationRun.h"

#include "core/log/DayFileSource.h"
#include "core/log/LogSpan.h"
#include "core/station/StationDescription.h"

#include <QFile>

#include <algorithm>

std::optional<CalibrationReference> FolderReference(const QString& folder,
                                                    std::optional<double> zeroPoint, QString* why) {
    CalibrationReference reference;
    reference.name = folder;
    if (zeroPoint) {
        reference.zeroPoints = sky::ZeroPoints(*zeroPoint);
    } else {
        try {
            reference.zeroPoints = stationdescription::Load(folder).zeroPoints;
        } catch (const StationDescriptionError& error) {
            if (why) *why = QString::fromStdString(error.what());
            return std::nullopt;
        }
        if (reference.zeroPoints.Empty()) {
            if (why)
                *why = QStringLiteral("the reference %1 has no zero point: give "
                                      "--reference-zero-point or zero_point in its station.conf")
                           .arg(folder);
            return std::nullopt;
        }
    }
    reference.source = std::make_unique<DayFileSource>(DayFileSet::FromFolder(folder));
    return reference;
}

std::optional<CalibrationReference> SkyglowReference(const QString& path, const QTimeZone& zone,
                                                     QString* why) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        if (why) *why = QStringLiteral("cannot read \"%1\": %2").arg(path, file.errorString());
        return std::nullopt;
    }
    const skyglow::Parsed parsed = skyglow::Parse(file.readAll());
    if (!parsed.error.isEmpty()) {
        if (why)
            *why = QStringLiteral("\"%1\" is not a skyglow file that reads: %2")
                       .arg(path, parsed.error);
        return std::nullopt;
    }
    QString reason;
    std::optional<sky::ReferenceLines> lines = sky::ReferenceFromSkyglow(parsed, zone, &reason);
    if (!lines) {
        if (why) *why = QStringLiteral("\"%1\": %2").arg(path, reason);
        return std::nullopt;
    }
    CalibrationReference reference;
    reference.name = path;
    reference.zeroPoints = lines->zeroPoints;
    reference.skyglow = std::move(lines);
    return reference;
}

CalibrationReference StationReference(RecordSource& archive, const QString& station,
                                      double zeroPoint) {
    CalibrationReference reference;
    reference.name = QStringLiteral("station %1 of %2").arg(station, archive.Name());
    reference.shared = &archive;
    reference.station = station;
    reference.zeroPoints = sky::ZeroPoints(zeroPoint);
    return reference;
}

namespace {

std::vector<DayRecord> ReferenceLinesOf(CalibrationReference& reference, const TimeSpan& span) {
    if (reference.skyglow) {
        const std::vector<DayRecord>& all = reference.skyglow->lines;
        auto first = std::lower_bound(all.begin(), all.end(), span.from,
                                      [](const DayRecord& r, WallSeconds t) { return r.time < t; });
        auto end = std::lower_bound(first, all.end(), span.to,
                                    [](const DayRecord& r, WallSeconds t) { return r.time < t; });
        return {first, end};
    }
    RecordSource& source = reference.source ? *reference.source : *reference.shared;
    return source.Read(reference.station, span).records;
}

} // namespace

sky::Calibration RunCalibration(RecordSource& source, const QString& station,
                                CalibrationReference& reference, std::int64_t first,
                                std::int64_t last, const astro::Observer& where,
                                const QTimeZone& zone) {
    std::vector<sky::CalibrationNight> nights;
    for (std::int64_t day = first; day <= last; ++day) {
        const TimeSpan span = TimeSpan::Of(SpanKind::Night, day);
        sky::CalibrationNight night;
        night.night = day;
        night.station = source.Read(station, span).records;
        if (night.station.empty()) continue;
        night.reference = ReferenceLinesOf(reference, span);
        if (night.reference.empty()) continue;
        nights.push_back(std::move(night));
    }
    return sky::Calibrate(nights, reference.zeroPoints, where, zone);
}

QString CalibrationReport(const sky::Calibration& calibration, const QString& referenceName) {
    if (!calibration.zeroPoint)
        return QStringLiteral("Cannot calibrate against %1: %2")
            .arg(referenceName, calibration.refusal);
    return QStringLiteral("Calibrated against %1: %2\nAdd this line to station.conf:\n%3")
        .arg(referenceName, sky::CalibrationText(calibration), sky::ZeroPointLine(calibration));
}
