// SPDX-License-Identifier: GPL-3.0-or-later
#include "viewer/SkyTaskOptions.h"

#include "core/Failure.h"

#include <QCommandLineParser>
#include <QFileInfo>
#include <QRegularExpression>

namespace {
const QString kCalibrate = QStringLiteral("calibrate");
const QString kReferenceFolder = QStringLiteral("reference-folder");
const QString kReferenceSkyglow = QStringLiteral("reference-skyglow");
const QString kReferenceStation = QStringLiteral("reference-station");
const QString kReferenceZeroPoint = QStringLiteral("reference-zero-point");
const QString kDrift = QStringLiteral("drift");
const QString kMonth = QStringLiteral("month");
const QString kOutput = QStringLiteral("output");
} // namespace

void AddSkyTaskOptions(QCommandLineParser& parser) {
    parser.addOptions({
        {kCalibrate,
         QStringLiteral("Find the station's zero point beside a calibrated reference over the "
                        "minutes dark, moonless, clear and steady at both, and print the "
                        "station.conf line (the night of yesterday unless --night or --nights "
                        "is given).")},
        {kReferenceFolder,
         QStringLiteral("With --calibrate: the reference's day files; its zero point from "
                        "--reference-zero-point, else from its station.conf."),
         QStringLiteral("FOLDER")},
        {kReferenceSkyglow,
         QStringLiteral("With --calibrate: the reference's skyglow file (community standard "
                        "1.0), its MSAS column."),
         QStringLiteral("FILE")},
        {kReferenceStation,
         QStringLiteral("With --calibrate and --archive: the archive's station NAME as the "
                        "reference (give --reference-zero-point)."),
         QStringLiteral("NAME")},
        {kReferenceZeroPoint,
         QStringLiteral("The reference's zero point, mag/arcsec² of one count."),
         QStringLiteral("MAG")},
        {kDrift,
         QStringLiteral("The station's brightness in clear twilight at the Sun 8, 10 and 12 "
                        "degrees down, a figure a month, and its trend in mag a year (all the "
                        "folder's nights unless --nights is given).")},
        {kMonth,
         QStringLiteral("Write one skyglow file (community standard 1.0) per station for the "
                        "month YYYY-MM, named INSTRUMENT_YYYY-MM.dat."),
         QStringLiteral("YYYY-MM")},
        {kOutput,
         QStringLiteral("With --drift: FILE.csv or FILE.png (default: the figures on standard "
                        "output); with --month: the folder for the files (default: the "
                        "working directory)."),
         QStringLiteral("FILE|FOLDER")},
    });
}

bool ReadSkyTaskOptions(const QCommandLineParser& parser, SkyTasks& tasks, QString* why) {
    tasks.calibrate = parser.isSet(kCalibrate);
    tasks.drift = parser.isSet(kDrift);
    tasks.output = parser.value(kOutput);
    if (parser.isSet(kMonth)) {
        static const QRegularExpression pattern(QStringLiteral("^(\\d{4})-(\\d{2})$"));
        const QRegularExpressionMatch match = pattern.match(parser.value(kMonth));
        const int month = match.hasMatch() ? match.captured(2).toInt() : 0;
        if (month < 1 || month > 12 || match.captured(1).toInt() < 1970)
            return Fail(why, QStringLiteral("--month wants a month YYYY-MM, not \"%1\"")
                                 .arg(parser.value(kMonth)));
        tasks.month = std::pair{match.captured(1).toInt(), month};
    }
    if (int(tasks.calibrate) + int(tasks.drift) + int(tasks.month.has_value()) > 1)
        return Fail(why, QStringLiteral("give one of --calibrate, --drift and --month"));
    const bool reference = parser.isSet(kReferenceFolder) || parser.isSet(kReferenceSkyglow) ||
                           parser.isSet(kReferenceStation) || parser.isSet(kReferenceZeroPoint);
    if (!tasks.Any()) {
        if (reference)
            return Fail(why, QStringLiteral("the --reference-… options go with --calibrate"));
        if (parser.isSet(kOutput))
            return Fail(why, QStringLiteral("--output goes with --drift or --month"));
        return true;
    }
    if (parser.isSet(QStringLiteral("export")))
        return Fail(why, QStringLiteral("--calibrate, --drift and --month go without --export"));
    if (tasks.calibrate) {
        tasks.referenceFolder = parser.value(kReferenceFolder);
        tasks.referenceSkyglow = parser.value(kReferenceSkyglow);
        tasks.referenceStation = parser.value(kReferenceStation);
        const int given = int(!tasks.referenceFolder.isEmpty()) +
                          int(!tasks.referenceSkyglow.isEmpty()) +
                          int(!tasks.referenceStation.isEmpty());
        if (given != 1)
            return Fail(why, QStringLiteral("--calibrate wants one reference: --reference-folder, "
                                            "--reference-skyglow or --reference-station"));
        if (!tasks.referenceFolder.isEmpty() && !QFileInfo(tasks.referenceFolder).isDir())
            return Fail(why, QStringLiteral("--reference-folder: there is no folder \"%1\"")
                                 .arg(tasks.referenceFolder));
        if (!tasks.referenceSkyglow.isEmpty() && !QFileInfo(tasks.referenceSkyglow).isFile())
            return Fail(why, QStringLiteral("--reference-skyglow: there is no file \"%1\"")
                                 .arg(tasks.referenceSkyglow));
        if (!tasks.referenceStation.isEmpty() && !parser.isSet(QStringLiteral("archive")))
            return Fail(why, QStringLiteral("--reference-station goes with --archive"));
        if (parser.isSet(kReferenceZeroPoint)) {
            bool ok = false;
            const double value = parser.value(kReferenceZeroPoint).toDouble(&ok);
            if (!ok || !(value >= 5 && value <= 40))
                return Fail(why,
                            QStringLiteral("--reference-zero-point wants a magnitude from 5 to 40, "
                                           "not \"%1\"")
                                .arg(parser.value(kReferenceZeroPoint)));
            if (!tasks.referenceSkyglow.isEmpty())
                return Fail(
                    why, QStringLiteral("--reference-zero-point goes without --reference-skyglow "
                                        "(its file holds the magnitudes)"));
            tasks.referenceZeroPoint = value;
        } else if (!tasks.referenceStation.isEmpty()) {
            return Fail(why, QStringLiteral("--reference-station wants --reference-zero-point: the "
                                            "archive holds counts"));
        }
        if (parser.isSet(kOutput))
            return Fail(why, QStringLiteral("--output goes with --drift or --month"));
    } else if (reference) {
        return Fail(why, QStringLiteral("the --reference-… options go with --calibrate"));
    }
    if (tasks.drift && !tasks.output.isEmpty()) {
        const QString suffix = QFileInfo(tasks.output).suffix().toLower();
        if (suffix != QLatin1String("csv") && suffix != QLatin1String("png"))
            return Fail(why,
                        QStringLiteral("--drift --output wants a file ending in .csv or .png, not "
                                       "\"%1\"")
                            .arg(tasks.output));
    }
    return true;
}
