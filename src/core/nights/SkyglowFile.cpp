// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/nights/SkyglowFile.h"

#include "core/Failure.h"
#include "core/astro/ZoneClock.h"

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
    const QString line = QStringLiteral("# ") + key + QStringLiteral(": ") + Ascii(value);
    if (line.size() > kMaxHeaderLine)
        throw HeaderError(QStringLiteral("the header line \"%1\" would be %2 characters long, "
                                         "more than the %3 the format allows: shorten its value")
                              .arg(key)
                              .arg(line.size())
                              .arg(kMaxHeaderLine)
                              .toStdString());
    return line;
}

// The zero points for the header: one, or each with the night it holds from.
QString ZeroPointText(const sky::ZeroPoints& points) {
    QStringList parts;
    for (const sky::ZeroPoint& p : points.Points()) {
        QString part = QString::number(p.value, 'f', 2);
        if (p.fromNight) part += QStringLiteral(" from ") + IsoDate(*p.fromNight);
        if (p.perDegree != 0)
            part +=
                QStringLiteral(" %1 mag/C about %2 C")
                    .arg(QString::number(p.perDegree, 'g', 4), QString::number(p.referenceCelsius));
        parts << part;
    }
    return parts.isEmpty() ? QStringLiteral("none (MSAS written 0.00)")
                           : parts.join(QStringLiteral("; "));
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
    QString position = QStringLiteral("0, 0, 0");
    if (station.HasPosition())
        position = Degrees(*station.latitude) + QStringLiteral(", ") + Degrees(*station.longitude) +
                   QStringLiteral(", ") + Degrees(station.elevation.value_or(0));
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
        QStringLiteral("# Number of fields per line: 6"),
        // The device's own lines.
        Line(QStringLiteral("Nocturo version"), softwareVersion),
        QStringLiteral(
            "# Counts: mean of the second's light counts, each scaled by its gain range"),
        QStringLiteral("# Range: gain range of the second's last reading, 1 to 5"),
        Line(QStringLiteral("Zero point (MSAS = zero point - 2.5 log10 counts)"),
             ZeroPointText(station.zeroPoints)),
        QStringLiteral("# Seconds without a reading: left out; counts 0: MSAS of one count"),
        QStringLiteral("# Local times: as the station's clock wrote them; one line per second"),
        Line(QStringLiteral("Comment"), s.comment),
        station.HasPosition() ? QStringLiteral("# Comment: ")
                              : QStringLiteral("# Comment: position unknown, written 0, 0, 0"),
        QStringLiteral("# Comment: "),
        QStringLiteral("# Comment: temperature -273.1: not read (the light was)"),
        QStringLiteral("# Comment: "),
        QStringLiteral("# blank line 30"),
        QStringLiteral("# blank line 31"),
        QStringLiteral("# blank line 32"),
        QStringLiteral("# UTC Date & Time, Local Date & Time, Temperature, Counts, Range, MSAS"),
        QStringLiteral("# YYYY-MM-DDTHH:mm:ss.fff;YYYY-MM-DDTHH:mm:ss.fff;Celsius;number;"
                       "number;mag/arcsec^2"),
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
        if (!r.LightRead()) continue;
        const std::optional<double> celsius =
            r.TemperatureRead() ? std::optional<double>(r.Temperature()) : std::nullopt;
        const std::optional<double> msas =
            station.zeroPoints.MagnitudeAt(r.time, std::max<std::int32_t>(r.mean, 1), celsius);
        file += UtcText(utc[i]) + ';' + IsoWallTime(r.time).toLatin1() + ".000;" +
                (celsius ? QByteArray::number(*celsius, 'f', 1) : QByteArray("-273.1")) + ';' +
                QByteArray::number(r.mean) + ';' + QByteArray::number(r.range) + ';' +
                QByteArray::number(msas.value_or(0), 'f', 2) + "\r\n";
    }
    return file;
}

bool Write(const QString& path, const std::vector<DayRecord>& records,
           const StationDescription& station, const QString& softwareVersion, QString* why) {
    QByteArray text;
    try {
        text = File(records, station, softwareVersion);
    } catch (const HeaderError& e) {
        return Fail(
            why,
            QStringLiteral("cannot write \"%1\": %2").arg(path, QString::fromStdString(e.what())));
    }
    QSaveFile out(path);
    if (!out.open(QIODevice::WriteOnly))
        return Fail(why, QStringLiteral("cannot write \"%1\": %2").arg(path, out.errorString()));
    out.write(text);
    if (!out.commit())
        return Fail(why, QStringLiteral("cannot write \"%1\": %2").arg(path, out.errorString()));
    return true;
}

} // namespace skyglow
