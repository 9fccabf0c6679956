// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/astro/Observer.h"

#include "core/station/StationDescription.h"

#include <QStringList>

#include <cmath>

namespace astro {

double Observer::Pressure() const {
    // Barometric height formula with a scale height of 29.3 m/K at 288 K, the one ERFA's
    // documentation of its refraction constants suggests.
    return 1013.25 * std::exp(-elevation / (29.3 * 288.0));
}

std::optional<Observer> ObserverOf(const StationDescription& description) {
    if (!description.HasPosition()) return std::nullopt;
    return Observer{*description.latitude, *description.longitude,
                    description.elevation.value_or(0.0)};
}

std::optional<Observer> ParseLocation(const QString& text, QString* why) {
    const QStringList parts = text.split(u',');
    auto fail = [&](const QString& reason) {
        if (why) *why = reason;
        return std::optional<Observer>();
    };
    if (parts.size() < 2 || parts.size() > 3)
        return fail(
            QStringLiteral("--location wants LAT,LON or LAT,LON,ELEV, not \"%1\"").arg(text));
    double values[3] = {0, 0, 0};
    for (qsizetype i = 0; i < parts.size(); ++i) {
        bool ok = false;
        values[i] = parts[i].trimmed().toDouble(&ok);
        if (!ok || !std::isfinite(values[i]))
            return fail(QStringLiteral("--location: \"%1\" is not a number").arg(parts[i]));
    }
    if (std::abs(values[0]) > 90)
        return fail(QStringLiteral("--location: latitude %1 is outside -90 to 90").arg(values[0]));
    if (std::abs(values[1]) > 180)
        return fail(
            QStringLiteral("--location: longitude %1 is outside -180 to 180").arg(values[1]));
    if (values[2] < -500 || values[2] > 9000)
        return fail(
            QStringLiteral("--location: elevation %1 m is outside -500 to 9000").arg(values[2]));
    if (why) why->clear();
    return Observer{values[0], values[1], values[2]};
}

} // namespace astro
