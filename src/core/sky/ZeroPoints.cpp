// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/sky/ZeroPoints.h"

#include <QDate>
#include <QStringList>

#include <algorithm>
#include <cmath>

namespace sky {

ZeroPoints::ZeroPoints(double value) {
    points_.push_back({std::nullopt, value, 0, 0});
}

bool ZeroPoints::Add(const ZeroPoint& point) {
    if (!point.fromNight) {
        if (!points_.empty() && !points_.front().fromNight)
            points_.front() = point;
        else
            points_.insert(points_.begin(), point);
        return true;
    }
    const auto at = std::lower_bound(points_.begin(), points_.end(), point,
                                     [](const ZeroPoint& a, const ZeroPoint& b) {
                                         if (!a.fromNight) return true;
                                         return *a.fromNight < *b.fromNight;
                                     });
    if (at != points_.end() && at->fromNight == point.fromNight) return false;
    points_.insert(at, point);
    return true;
}

const ZeroPoint* ZeroPoints::ForNight(std::int64_t night) const {
    const ZeroPoint* holding = nullptr;
    for (const ZeroPoint& p : points_) {
        if (p.fromNight && *p.fromNight > night) break;
        holding = &p;
    }
    return holding;
}

const ZeroPoint* ZeroPoints::At(WallSeconds t) const {
    return ForNight(NightOf(t));
}

std::optional<double> ZeroPoints::Latest() const {
    if (points_.empty()) return std::nullopt;
    return points_.back().value;
}

std::optional<double> ZeroPoints::ValueAt(WallSeconds t, std::optional<double> celsius) const {
    const ZeroPoint* p = At(t);
    if (!p) return std::nullopt;
    if (!celsius || !std::isfinite(*celsius)) return p->value;
    return p->value + p->perDegree * (*celsius - p->referenceCelsius);
}

std::optional<double> ZeroPoints::MagnitudeAt(WallSeconds t, double meanCount,
                                              std::optional<double> celsius) const {
    if (!(meanCount > 0) || !std::isfinite(meanCount)) return std::nullopt;
    const std::optional<double> zero = ValueAt(t, celsius);
    if (!zero) return std::nullopt;
    return *zero - 2.5 * std::log10(meanCount);
}

std::optional<double> ZeroPoints::MagnitudeOf(const DayRecord& record) const {
    if (!record.LightRead()) return std::nullopt;
    return MagnitudeAt(record.time, record.mean,
                       record.TemperatureRead() ? std::optional<double>(record.Temperature())
                                                : std::nullopt);
}

std::optional<ZeroPoint> ParseZeroPoint(const QString& text, QString* reason) {
    auto fail = [reason](const QString& why) -> std::optional<ZeroPoint> {
        if (reason) *reason = why;
        return std::nullopt;
    };
    auto number = [](const QString& word, double low, double high) -> std::optional<double> {
        bool ok = false;
        const double n = word.toDouble(&ok); // C locale: '.' is the decimal point
        if (!ok || !std::isfinite(n) || n < low || n > high) return std::nullopt;
        return n;
    };
    const QStringList words = text.simplified().split(u' ', Qt::SkipEmptyParts);
    if (words.isEmpty()) return fail(QStringLiteral("no value"));
    ZeroPoint point;
    if (const auto v = number(words[0], -100, 100))
        point.value = *v;
    else
        return fail(QStringLiteral("\"%1\" is not a zero point from -100 to 100").arg(words[0]));
    bool dated = false, tempered = false;
    for (qsizetype i = 1; i < words.size();) {
        if (words[i] == QLatin1String("from") && !dated && i + 1 < words.size()) {
            const QDate date = QDate::fromString(words[i + 1], Qt::ISODate);
            if (!date.isValid() || words[i + 1].size() != 10)
                return fail(QStringLiteral("\"%1\" is not a date YYYY-MM-DD").arg(words[i + 1]));
            point.fromNight = DaysFromCivil(date.year(), date.month(), date.day());
            dated = true;
            i += 2;
        } else if (words[i] == QLatin1String("per_degree") && !tempered && i + 3 < words.size() &&
                   words[i + 2] == QLatin1String("at")) {
            const auto k = number(words[i + 1], -1, 1);
            const auto reference = number(words[i + 3], -100, 100);
            if (!k)
                return fail(QStringLiteral("per_degree \"%1\" is not mag per °C from -1 to 1")
                                .arg(words[i + 1]));
            if (!reference)
                return fail(QStringLiteral("at \"%1\" is not a temperature from -100 to 100 °C")
                                .arg(words[i + 3]));
            point.perDegree = *k;
            point.referenceCelsius = *reference;
            tempered = true;
            i += 4;
        } else {
            return fail(QStringLiteral("\"%1\" is not VALUE [from YYYY-MM-DD] [per_degree K at "
                                       "CELSIUS]")
                            .arg(text.simplified()));
        }
    }
    return point;
}

} // namespace sky
