// SPDX-License-Identifier: GPL-3.0-or-later
// Home Assistant's discovery payloads: every entity reads its topic, and the sky's come
// from the minute message, rendered by the templates as Home Assistant renders them.
#include "network/HomeAssistant.h"
#include "network/Messages.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <gtest/gtest.h>

#include <map>

namespace {

std::map<QString, QJsonObject> Configs() {
    std::map<QString, QJsonObject> configs;
    for (const auto& [topic, payload] : homeassistant::Discovery(
             QStringLiteral("nocturo"), QStringLiteral("roof"), QStringLiteral("1.2.3"))) {
        QJsonParseError error;
        const QJsonDocument document = QJsonDocument::fromJson(payload, &error);
        EXPECT_EQ(error.error, QJsonParseError::NoError) << payload.constData();
        configs[topic] = document.object();
    }
    return configs;
}

} // namespace

TEST(HomeAssistant, EveryEntityOfTheStationAndItsSky) {
    const std::map<QString, QJsonObject> configs = Configs();
    std::vector<QString> topics;
    for (const auto& [topic, config] : configs) {
        topics.push_back(topic);
        EXPECT_EQ(config["availability_topic"].toString(), QStringLiteral("nocturo/roof/status"));
        EXPECT_EQ(config["device"].toObject()["identifiers"].toArray().first().toString(),
                  QStringLiteral("nocturo_roof"));
        EXPECT_TRUE(config["unique_id"].toString().startsWith(QStringLiteral("nocturo_roof_")));
    }
    const std::vector<QString> wanted{"homeassistant/binary_sensor/nocturo_roof/link/config",
                                      "homeassistant/sensor/nocturo_roof/counts/config",
                                      "homeassistant/sensor/nocturo_roof/limiting_magnitude/config",
                                      "homeassistant/sensor/nocturo_roof/range/config",
                                      "homeassistant/sensor/nocturo_roof/sky_brightness/config",
                                      "homeassistant/sensor/nocturo_roof/sky_condition/config",
                                      "homeassistant/sensor/nocturo_roof/temperature/config"};
    EXPECT_EQ(topics, wanted);
}

TEST(HomeAssistant, TheSkysEntitiesReadTheMinuteMessage) {
    const std::map<QString, QJsonObject> configs = Configs();
    const QString minute =
        messages::Topic(QStringLiteral("nocturo"), QStringLiteral("roof"), messages::Kind::Minute);
    const QJsonObject brightness =
        configs.at(QStringLiteral("homeassistant/sensor/nocturo_roof/sky_brightness/config"));
    EXPECT_EQ(brightness["state_topic"].toString(), minute);
    EXPECT_EQ(brightness["unit_of_measurement"].toString(), QStringLiteral("mag/arcsec²"));
    EXPECT_EQ(brightness["state_class"].toString(), QStringLiteral("measurement"));
    EXPECT_TRUE(brightness["value_template"].toString().contains(u"value_json.magnitude"));

    const QJsonObject limiting =
        configs.at(QStringLiteral("homeassistant/sensor/nocturo_roof/limiting_magnitude/config"));
    EXPECT_EQ(limiting["state_topic"].toString(), minute);
    EXPECT_EQ(limiting["unit_of_measurement"].toString(), QStringLiteral("mag"));
    EXPECT_TRUE(limiting["value_template"].toString().contains(u"value_json.limiting_magnitude"));

    // An enum sensor whose options are the words a minute message may carry.
    const QJsonObject condition =
        configs.at(QStringLiteral("homeassistant/sensor/nocturo_roof/sky_condition/config"));
    EXPECT_EQ(condition["state_topic"].toString(), minute);
    EXPECT_EQ(condition["device_class"].toString(), QStringLiteral("enum"));
    const QJsonArray options = condition["options"].toArray();
    ASSERT_EQ(options.size(), 5);
    for (const QJsonValue option : options)
        EXPECT_TRUE(messages::KnownCondition(option.toString())) << option.toString().toStdString();
    EXPECT_FALSE(condition.contains(QStringLiteral("unit_of_measurement")));
    EXPECT_FALSE(condition.contains(QStringLiteral("state_class")));
    // The message's keys are those the templates read.
    messages::Minute m;
    m.utc = 1232928000;
    const QJsonObject message = QJsonDocument::fromJson(messages::Encode(m)).object();
    for (const char* key : {"magnitude", "limiting_magnitude", "condition"})
        EXPECT_TRUE(message.contains(QLatin1String(key))) << key;
}
