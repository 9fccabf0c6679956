// SPDX-License-Identifier: GPL-3.0-or-later
#include "SkyglowFile.h"

#include "Magnitude.h"
#include "ZoneClock.h"

#include <QDateTime>
#include <QRegularExpression>
#include <QSaveFile>

#include <algorithm>
#include <numeric>

namespace skyglow {
namespace {

constexpr char kLicence[] = "ODbL 1.0 http://opendatacommons.org/licenses/odbl/summary/";

// Printable ASCII only: accents dropped ("Höhe" is "Hohe"), other letters '?', tabs and
// line breaks spaces.
QString Ascii(const QString& text) {
    QString ascii;
    for (const QChar c : text.normalized(QString::NormalizationForm_KD)) {
        const char16_t u = c.unicode();
        if (u >= 0x20 && u < 0x7f)
            ascii += c;
        else if (u == '\t' || u == '\n' || u == '\r')
            ascii += u' ';
        else if (c.category() != QChar::Mark_NonSpacing)
            ascii += u'?';
    }
    return ascii.simplified();
}

QString Line(const QString& key, const QString& value) {
    return (QStringLiteral("# ") + key + QStringLiteral(": ") + Ascii(value)).left(kMaxHeaderLine);
}

QString Degrees(double value) {
    return QString::number(value, 'f', 6)
        .remove(QRegularExpression(QStringLiteral("0+$")))
        .remove(QRegularExpression(QStringLiteral("\\.$")));
}

QByteArray UtcText(UtcSeconds t) {
    return QDateTime::fromSecsSinceEpoch(t, Qt::UTC)
        .toString(QStringLiteral("yyyy-MM-ddTHH:mm:ss.zzz"))
        .toLatin1();
}

} // namespace

QStringList Header(const StationDescription& station, const QString& softwareVersion) {
    const StationDescription::Skyglow& s = station.skyglow;
    const bool msas = station.zeroPoint.has_value();
    QString position;
    if (station.HasPosition()) {
        position = Degrees(*station.latitude) + QStringLiteral(", ") + Degrees(*station.longitude) +
                   QStringLiteral(", ");
        if (station.elevation) position += Degrees(*station.elevation);
    }
    const QString zone = station.timezone.isEmpty()
                             ? QString::fromUtf8(QTimeZone::systemTimeZoneId())
                             : station.timezone;
    QStringList header{
        QStringLiteral("# Definition of the community standard for skyglow observations 1.0"),
        QStringLiteral("# URL: http://www.darksky.org/NSBM/sdf1.0.pdf"),
        QStringLiteral("# Number of header lines: %1").arg(kHeaderLines),
        Line(QStringLiteral("This data is released under the following license"),
             s.dataLicence.isEmpty() ? QString::fromLatin1(kLicence) : s.dataLicence),
        Line(QStringLiteral("Device type"), QStringLiteral("Nocturo USB light sensor")),
        Line(QStringLiteral("Instrument ID"),
             s.instrumentId.isEmpty() ? station.name : s.instrumentId),
        Line(QStringLiteral("Data supplier"), s.dataSupplier),
        Line(QStringLiteral("Location name"), s.locationName),
        Line(QStringLiteral("Position (lat, lon, elev(m))"), position),
        Line(QStringLiteral("Local timezone"), zone),
        Line(QStringLiteral("Time Synchronization"), s.timeSynchronization),
        QStringLiteral("# Moving / Stationary position: STATIONARY"),
        QStringLiteral("# Moving / Fixed look direction: FIXED"),
        QStringLiteral("# Number of channels: 1"),
        Line(QStringLiteral("Filters per channel"), s.filter),
        Line(QStringLiteral("Measurement direction per channel"), s.lookDirection),
        Line(QStringLiteral("Field of view (degrees)"), s.fieldOfView),
        QStringLiteral("# Number of fields per line: %1").arg(msas ? 6 : 5),
        // The device's own lines.
        Line(QStringLiteral("Nocturo version"), softwareVersion),
        QStringLiteral(
            "# Counts: mean of the second's light counts, each scaled by its gain range"),
        QStringLiteral("# Range: gain range of the second's last reading, 1 to 5"),
        Line(QStringLiteral("Zero point (MSAS = zero point - 2.5 log10 counts)"),
             msas ? QString::number(*station.zeroPoint, 'f', 2) : QString()),
        QStringLiteral("# Seconds without a reading: left out; MSAS blank where counts are 0"),
        QStringLiteral("# Local times: as the station's clock wrote them; one line per second"),
        Line(QStringLiteral("Comment"), s.comment),
        QStringLiteral("# Comment: "),
        QStringLiteral("# Comment: "),
        QStringLiteral("# Comment: "),
        QStringLiteral("# Comment: "),
        QStringLiteral("# blank line 30"),
        QStringLiteral("# blank line 31"),
        QStringLiteral("# blank line 32"),
        msas ? QStringLiteral(
                   "# UTC Date & Time, Local Date & Time, Temperature, Counts, Range, MSAS")
             : QStringLiteral("# UTC Date & Time, Local Date & Time, Temperature, Counts, Range"),
        msas ? QStringLiteral("# YYYY-MM-DDTHH:mm:ss.fff;YYYY-MM-DDTHH:mm:ss.fff;Celsius;number;"
                              "number;mag/arcsec^2")
             : QStringLiteral("# YYYY-MM-DDTHH:mm:ss.fff;YYYY-MM-DDTHH:mm:ss.fff;Celsius;number;"
                              "number"),
        QStringLiteral("# END OF HEADER"),
    };
    Q_ASSERT(header.size() == kHeaderLines);
    return header;
}

QByteArray File(const std::vector<DayRecord>& records, const StationDescription& station,
                const QString& softwareVersion) {
    QByteArray file;
    for (const QString& line : Header(station, softwareVersion))
        file += line.toLatin1() + "\r\n";
    if (records.empty()) return file;
    const astro::ZoneClock clock = astro::ZoneClock::AroundWall(
        station.TimeZone(), records.front().time, records.back().time + 1);
    const std::vector<UtcSeconds> utc = astro::UtcOfLines(records, clock);
    std::vector<std::size_t> order(records.size());
    std::iota(order.begin(), order.end(), std::size_t{0});
    std::stable_sort(order.begin(), order.end(),
                     [&utc](std::size_t a, std::size_t b) { return utc[a] < utc[b]; });
    file.reserve(file.size() + static_cast<qsizetype>(records.size()) * 64);
    for (const std::size_t i : order) {
        const DayRecord& r = records[i];
        if (r.Failed()) continue;
        file += UtcText(utc[i]) + ';' + IsoWallTime(r.time).toLatin1() + ".000;" +
                QByteArray::number(r.Temperature(), 'f', 1) + ';' + QByteArray::number(r.mean) +
                ';' + QByteArray::number(r.range);
        if (station.zeroPoint) {
            file += ';';
            if (const std::optional<double> m = MagnitudeOf(r, *station.zeroPoint))
                file += QByteArray::number(*m, 'f', 2);
        }
        file += "\r\n";
    }
    return file;
}

QString Write(const QString& path, const std::vector<DayRecord>& records,
              const StationDescription& station, const QString& softwareVersion) {
    QSaveFile out(path);
    if (!out.open(QIODevice::WriteOnly))
        return QStringLiteral("cannot write \"%1\": %2").arg(path, out.errorString());
    out.write(File(records, station, softwareVersion));
    if (!out.commit())
        return QStringLiteral("cannot write \"%1\": %2").arg(path, out.errorString());
    return {};
}

} // namespace skyglow
