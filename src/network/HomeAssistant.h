// SPDX-License-Identifier: GPL-3.0-or-later
// Home Assistant's MQTT discovery for a station: retained configuration messages under
// "homeassistant/" that make the station's counts, temperature, range and link appear in a
// Home Assistant dashboard by themselves, read from its reading and status topics, and its
// sky brightness (mag/arcsec²), limiting magnitude and sky condition (an enum sensor) from
// its minute topic, with the status as their availability (offline once the last will is
// published).
#pragma once

#include <QByteArray>
#include <QString>

#include <utility>
#include <vector>

namespace homeassistant {

inline constexpr char kDiscoveryPrefix[] = "homeassistant";

// (topic, payload) of each configuration message, to be published retained.
std::vector<std::pair<QString, QByteArray>> Discovery(const QString& prefix, const QString& station,
                                                      const QString& version);

} // namespace homeassistant
