// SPDX-License-Identifier: GPL-3.0-or-later
#include "network/HomeAssistant.h"

#include "network/Messages.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

namespace homeassistant {

std::vector<std::pair<QString, QByteArray>> Discovery(const QString& prefix, const QString& station,
                                                      const QString& version) {
    const QString id = QStringLiteral("nocturo_") + station;
    const QString reading = messages::Topic(prefix, station, messages::Kind::Reading);
    const QString status = messages::Topic(prefix, station, messages::Kind::Status);
    const QString minute = messages::Topic(prefix, station, messages::Kind::Minute);
    const QJsonObject device{{"identifiers", QJsonArray{id}},
                             {"name", QStringLiteral("Nocturo %1").arg(station)},
                             {"manufacturer", "Nocturo"},
                             {"model", "light-monitoring station"},
                             {"sw_version", version}};
    const auto common = [&](const QString& key, const QString& name) {
        return QJsonObject{
            {"name", name},
            {"unique_id", id + QLatin1Char('_') + key},
            {"object_id", id + QLatin1Char('_') + key},
            {"availability_topic", status},
            {"availability_template", "{{ 'online' if value_json.online else 'offline' }}"},
            {"device", device}};
    };
    std::vector<std::pair<QString, QByteArray>> out;
    const auto add = [&](const char* component, const QString& key, QJsonObject config) {
        out.emplace_back(
            QStringLiteral("%1/%2/%3/%4/config")
                .arg(QLatin1String(kDiscoveryPrefix), QLatin1String(component), id, key),
            QJsonDocument(config).toJson(QJsonDocument::Compact));
    };

    QJsonObject counts = common(QStringLiteral("counts"), QStringLiteral("Counts"));
    counts.insert("state_topic", reading);
    counts.insert("value_template", "{{ value_json.mean_count }}");
    counts.insert("unit_of_measurement", "counts");
    counts.insert("state_class", "measurement");
    counts.insert("icon", "mdi:weather-night");
    add("sensor", QStringLiteral("counts"), counts);

    QJsonObject temperature = common(QStringLiteral("temperature"), QStringLiteral("Temperature"));
    temperature.insert("state_topic", reading);
    // A failed second carries -273.1: no temperature then.
    temperature.insert("value_template",
                       "{{ value_json.temperature if value_json.range > 0 else None }}");
    temperature.insert("unit_of_measurement", "°C");
    temperature.insert("device_class", "temperature");
    temperature.insert("state_class", "measurement");
    add("sensor", QStringLiteral("temperature"), temperature);

    QJsonObject range = common(QStringLiteral("range"), QStringLiteral("Range"));
    range.insert("state_topic", reading);
    range.insert("value_template", "{{ value_json.range }}");
    range.insert("state_class", "measurement");
    range.insert("icon", "mdi:tune-vertical");
    add("sensor", QStringLiteral("range"), range);

    // The minute's summary: what the field reads of a sky, rather than counts. A field the
    // message carries as null (no zero point, no conversion) shows as unknown.
    const auto minuteNumber = [&](const QString& key, const QString& name, const QString& field,
                                  const char* unit, int precision, const char* icon) {
        QJsonObject config = common(key, name);
        config.insert("state_topic", minute);
        config.insert("value_template",
                      QStringLiteral("{{ value_json.%1 if value_json.%1 is not none else None }}")
                          .arg(field));
        config.insert("unit_of_measurement", unit);
        config.insert("state_class", "measurement");
        config.insert("suggested_display_precision", precision);
        config.insert("icon", icon);
        add("sensor", key, config);
    };
    minuteNumber(QStringLiteral("sky_brightness"), QStringLiteral("Sky brightness"),
                 QStringLiteral("magnitude"), "mag/arcsec²", 2, "mdi:weather-night");
    minuteNumber(QStringLiteral("limiting_magnitude"), QStringLiteral("Limiting magnitude"),
                 QStringLiteral("limiting_magnitude"), "mag", 1, "mdi:star-outline");

    QJsonObject condition =
        common(QStringLiteral("sky_condition"), QStringLiteral("Sky condition"));
    condition.insert("state_topic", minute);
    condition.insert("value_template",
                     "{{ value_json.condition if value_json.condition is not none else None }}");
    condition.insert("device_class", "enum");
    condition.insert("options", QJsonArray{"day", "twilight", "moonlit", "clear", "cloudy"});
    condition.insert("icon", "mdi:weather-partly-cloudy");
    add("sensor", QStringLiteral("sky_condition"), condition);

    QJsonObject link = common(QStringLiteral("link"), QStringLiteral("Sensor link"));
    link.insert("state_topic", status);
    link.insert("value_template", "{{ 'ON' if value_json.link == 'up' else 'OFF' }}");
    link.insert("device_class", "connectivity");
    add("binary_sensor", QStringLiteral("link"), link);
    return out;
}

} // namespace homeassistant
