// SPDX-License-Identifier: GPL-3.0-or-later
#include "observatory/AlpacaDevices.h"

#include <QDateTime>
#include <QJsonArray>
#include <QJsonObject>

#include <array>
#include <optional>

namespace alpaca {
namespace {

// The sensors ObservingConditions knows by name; the station has two of them.
constexpr std::array kSensorNames = {
    "CloudCover",    "DewPoint",   "Humidity",       "Pressure", "RainRate",
    "SkyBrightness", "SkyQuality", "SkyTemperature", "StarFWHM", "Temperature",
    "WindDirection", "WindGust",   "WindSpeed"};
constexpr std::array kNotImplementedProperties = {
    "dewpoint", "humidity",    "pressure",      "rainrate", "skybrightness", "skytemperature",
    "starfwhm", "temperature", "winddirection", "windgust", "windspeed"};

// The name as ObservingConditions spells it, whatever the case given; empty: none such.
QString SensorName(const QString& given) {
    for (const char* name : kSensorNames)
        if (given.compare(QLatin1String(name), Qt::CaseInsensitive) == 0)
            return QLatin1String(name);
    return {};
}

Outcome NoReading() {
    return Outcome::Error(kDriverError, QStringLiteral("the station has no reading yet"));
}

Outcome SkyQuality(const LiveState& state, const StationDescription& description) {
    if (description.zeroPoints.Empty())
        return Outcome::Error(kDriverError,
                              QStringLiteral("the station has no zero point (zero_point in "
                                             "station.conf), so no sky quality"));
    if (!state.lastReadingMs) return NoReading();
    if (!state.magnitude)
        return Outcome::Error(kDriverError,
                              QStringLiteral("the sky is darker than the sensor can tell"));
    return Outcome::Of(*state.magnitude);
}

std::optional<double> CloudCoverOf(const QString& condition) {
    if (condition == QLatin1String("clear")) return 0.0;
    if (condition == QLatin1String("cloudy")) return 100.0;
    return std::nullopt;
}

Outcome CloudCover(const LiveState& state) {
    if (state.condition.isEmpty())
        return Outcome::Error(kDriverError,
                              QStringLiteral("the sky condition of the last minute is not known"));
    if (const std::optional<double> cover = CloudCoverOf(state.condition))
        return Outcome::Of(*cover);
    return Outcome::Error(kDriverError,
                          QStringLiteral("no cloud cover under a %1 sky").arg(state.condition));
}

Outcome SensorOutcome(const AlpacaParameters& parameters, bool description, const View& live) {
    if (!parameters.Has(QStringLiteral("SensorName")))
        return Outcome::Bad(QStringLiteral("the SensorName parameter is missing"));
    const QString given = parameters.Value(QStringLiteral("SensorName"));
    const QString name = SensorName(given);
    const LiveState& state = live.state;
    auto since = [&live](const std::optional<std::int64_t>& ms) {
        return ms ? Outcome::Of((live.nowMs - *ms) / 1000.0) : NoReading();
    };
    if (given.isEmpty() && !description) return since(state.lastReadingMs);
    if (name.isEmpty())
        return Outcome::Error(kInvalidValue,
                              QStringLiteral("\"%1\" is not a sensor's name").arg(given));
    if (name == QLatin1String("SkyQuality"))
        return description ? Outcome::Of(QStringLiteral(
                                 "Sky brightness in mag/arcsec² from the station's light sensor, "
                                 "each second's mean count and the zero point"))
                           : since(state.lastReadingMs);
    if (name == QLatin1String("CloudCover")) {
        if (description)
            return Outcome::Of(QStringLiteral(
                "0 % under a clear sky, 100 % under clouds, from the sky condition of the last "
                "complete minute"));
        if (!state.conditionMs)
            return Outcome::Error(kDriverError, QStringLiteral("no sky condition yet"));
        return since(state.conditionMs);
    }
    return Outcome::Error(kNotImplemented,
                          QStringLiteral("the station has no %1 sensor").arg(name));
}

Outcome AveragePeriod(bool put, const AlpacaParameters& parameters) {
    if (!put) return Outcome::Of(0.0); // every value is the newest second's
    if (!parameters.Has(QStringLiteral("AveragePeriod")))
        return Outcome::Bad(QStringLiteral("the AveragePeriod parameter is missing"));
    bool ok = false;
    const double hours = parameters.Value(QStringLiteral("AveragePeriod")).trimmed().toDouble(&ok);
    if (!ok) return Outcome::Bad(QStringLiteral("AveragePeriod wants a number of hours"));
    if (hours != 0)
        return Outcome::Error(kInvalidValue,
                              QStringLiteral("the station gives each second's value: only an "
                                             "average period of 0 hours"));
    return Outcome::Done();
}

QJsonObject StateItem(const char* name, QJsonValue value) {
    return QJsonObject{{QStringLiteral("Name"), QLatin1String(name)},
                       {QStringLiteral("Value"), value}};
}

QJsonValue TimeStamp(const View& live) {
    return QDateTime::fromMSecsSinceEpoch(live.nowMs, Qt::UTC).toString(Qt::ISODateWithMs);
}

Outcome ObservingConditionsMember(const QString& member, bool put,
                                  const AlpacaParameters& parameters, const View& live) {
    const LiveState& state = live.state;
    if (member == QLatin1String("averageperiod")) return AveragePeriod(put, parameters);
    if (member == QLatin1String("refresh"))
        return put ? Outcome::Done() : Outcome::Method("PUT"); // each second is fresh anyway
    if (put) return Outcome::Method("GET");
    if (member == QLatin1String("skyquality")) return SkyQuality(state, live.description);
    if (member == QLatin1String("cloudcover")) return CloudCover(state);
    if (member == QLatin1String("timesincelastupdate"))
        return SensorOutcome(parameters, false, live);
    if (member == QLatin1String("sensordescription")) return SensorOutcome(parameters, true, live);
    if (member == QLatin1String("devicestate")) {
        QJsonArray items;
        const Outcome sky = SkyQuality(state, live.description);
        if (sky.kind == Outcome::Kind::Value) items.append(StateItem("SkyQuality", sky.value));
        const Outcome cover = CloudCover(state);
        if (cover.kind == Outcome::Kind::Value) items.append(StateItem("CloudCover", cover.value));
        items.append(StateItem("TimeStamp", TimeStamp(live)));
        return Outcome::Of(items);
    }
    return Outcome::Error(kNotImplemented,
                          QStringLiteral("the station does not measure %1").arg(member));
}

Outcome SafetyMonitorMember(const QString& member, bool put, const View& live) {
    if (put) return Outcome::Method("GET");
    if (member == QLatin1String("issafe")) return Outcome::Of(live.safe);
    // devicestate
    return Outcome::Of(
        QJsonArray{StateItem("IsSafe", live.safe), StateItem("TimeStamp", TimeStamp(live))});
}

} // namespace

DeviceFacts FactsOf(DeviceKind kind) {
    if (kind == DeviceKind::ObservingConditions)
        return {"observingconditions", "ObservingConditions", 2,
                "The station's sky quality and the cloud cover of its last minute"};
    return {"safetymonitor", "SafetyMonitor", 3,
            "Safe while the sensor is connected, its readings are fresh and the sky is dark "
            "and clear"};
}

bool IsDeviceMember(DeviceKind kind, const QString& member) {
    if (member == QLatin1String("devicestate")) return true;
    if (kind == DeviceKind::SafetyMonitor) return member == QLatin1String("issafe");
    for (const char* name : kNotImplementedProperties)
        if (member == QLatin1String(name)) return true;
    for (const char* name : {"averageperiod", "refresh", "skyquality", "cloudcover",
                             "timesincelastupdate", "sensordescription"})
        if (member == QLatin1String(name)) return true;
    return false;
}

Outcome DeviceMember(DeviceKind kind, const QString& member, bool put,
                     const AlpacaParameters& parameters, const View& live) {
    if (kind == DeviceKind::ObservingConditions)
        return ObservingConditionsMember(member, put, parameters, live);
    return SafetyMonitorMember(member, put, live);
}

} // namespace alpaca
