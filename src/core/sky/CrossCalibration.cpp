// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/sky/CrossCalibration.h"

#include "core/log/LogSpan.h"

#include <algorithm>
#include <cmath>

namespace sky {
namespace {

double Median(std::vector<double> values) {
    const std::size_t half = values.size() / 2;
    std::nth_element(values.begin(), values.begin() + static_cast<std::ptrdiff_t>(half),
                     values.end());
    const double upper = values[half];
    if (values.size() % 2 == 1) return upper;
    return (upper +
            *std::max_element(values.begin(), values.begin() + static_cast<std::ptrdiff_t>(half))) /
           2;
}

bool Lit(const Minute& m) {
    return m.lightSeconds > 0 && m.count > 0;
}

bool ClearAt(const std::vector<Condition>& conditions, std::size_t i) {
    return i < conditions.size() && conditions[i] == Condition::Clear;
}

} // namespace

void CalibrationPairs::AddNight(std::int64_t night, const std::vector<Minute>& station,
                                const std::vector<Condition>& stationConditions,
                                const std::vector<Minute>& reference,
                                const std::vector<Condition>& referenceConditions,
                                const ZeroPoints& zeroPoints) {
    const std::size_t n = std::min(
        {station.size(), reference.size(), stationConditions.size(), referenceConditions.size()});
    bool used = false;
    for (std::size_t i = 0; i < n; ++i) {
        const Minute& s = station[i];
        const Minute& r = reference[i];
        if (!Lit(s) || !Lit(r)) continue;
        ++tally_.paired;
        const Condition cs = stationConditions[i], cr = referenceConditions[i];
        auto dark = [](Condition c) {
            return c == Condition::Clear || c == Condition::Cloudy || c == Condition::Moonlit ||
                   c == Condition::Unknown;
        };
        if (!dark(cs) || !dark(cr)) {
            ++tally_.notDark;
            continue;
        }
        if (cs == Condition::Moonlit || cr == Condition::Moonlit) {
            ++tally_.moonlit;
            continue;
        }
        if (cs != Condition::Clear || cr != Condition::Clear) {
            ++tally_.cloudy;
            continue;
        }
        // A steady sky: the minutes either side are clear at both too, so that a cloud's
        // edge, which reaches the two instruments a minute apart, stays out.
        if (i == 0 || !ClearAt(stationConditions, i - 1) || !ClearAt(referenceConditions, i - 1) ||
            !ClearAt(stationConditions, i + 1) || !ClearAt(referenceConditions, i + 1)) {
            ++tally_.edge;
            continue;
        }
        const std::optional<double> celsius =
            r.hasCelsius ? std::optional<double>(r.celsius) : std::nullopt;
        const std::optional<double> magnitude = zeroPoints.MagnitudeAt(r.wall, r.count, celsius);
        if (!magnitude) {
            ++tally_.noMagnitude;
            continue;
        }
        ++tally_.used;
        zeroPoints_.push_back(*magnitude + 2.5 * std::log10(static_cast<double>(s.count)));
        used = true;
    }
    if (used) nights_.push_back(night);
}

Calibration CalibrationPairs::Result(int minMinutes) const {
    Calibration result;
    result.tally = tally_;
    result.minutes = static_cast<int>(zeroPoints_.size());
    result.nights = static_cast<int>(nights_.size());
    if (!nights_.empty()) {
        result.firstNight = *std::min_element(nights_.begin(), nights_.end());
        result.lastNight = *std::max_element(nights_.begin(), nights_.end());
    }
    if (result.minutes < std::max(minMinutes, 1)) {
        const CalibrationTally& t = tally_;
        QStringList out;
        if (t.notDark) out << QStringLiteral("%1 in daylight or twilight").arg(t.notDark);
        if (t.moonlit) out << QStringLiteral("%1 with the Moon up").arg(t.moonlit);
        if (t.cloudy)
            out << QStringLiteral("%1 cloudy or unsteady at the station or the reference")
                       .arg(t.cloudy);
        if (t.edge) out << QStringLiteral("%1 next to a minute that is not clear").arg(t.edge);
        if (t.noMagnitude)
            out << QStringLiteral("%1 without a zero point of the reference").arg(t.noMagnitude);
        result.refusal =
            QStringLiteral("too few minutes to calibrate on: %1 dark, moonless, clear and steady "
                           "at both, %2 needed")
                .arg(result.minutes)
                .arg(std::max(minMinutes, 1));
        if (t.paired == 0)
            result.refusal += QStringLiteral(" (no minute has light read at both)");
        else
            result.refusal += QStringLiteral(" (of %1 minutes with light at both: %2)")
                                  .arg(t.paired)
                                  .arg(out.isEmpty() ? QStringLiteral("none kept out")
                                                     : out.join(QStringLiteral(", ")));
        return result;
    }
    const double median = Median(zeroPoints_);
    std::vector<double> deviations;
    deviations.reserve(zeroPoints_.size());
    for (const double z : zeroPoints_)
        deviations.push_back(std::abs(z - median));
    result.zeroPoint = median;
    result.scatter = 1.4826 * Median(std::move(deviations));
    result.error = 1.2533 * result.scatter / std::sqrt(static_cast<double>(result.minutes));
    return result;
}

Calibration Calibrate(const std::vector<CalibrationNight>& nights, const ZeroPoints& reference,
                      const astro::Observer& where, const QTimeZone& zone, int minMinutes) {
    std::vector<std::vector<Minute>> station, ref;
    station.reserve(nights.size());
    ref.reserve(nights.size());
    for (const CalibrationNight& night : nights) {
        const TimeSpan span = TimeSpan::Of(SpanKind::Night, night.night);
        station.push_back(NightMinutes(span, night.station, where, zone));
        ref.push_back(NightMinutes(span, night.reference, where, zone));
    }
    const ClearSkyBaseline stationBaseline = ClearSkyBaseline::Build(station);
    const ClearSkyBaseline referenceBaseline = ClearSkyBaseline::Build(ref);
    CalibrationPairs pairs;
    for (std::size_t i = 0; i < nights.size(); ++i)
        pairs.AddNight(nights[i].night, station[i], Classify(station[i], stationBaseline), ref[i],
                       Classify(ref[i], referenceBaseline), reference);
    return pairs.Result(minMinutes);
}

QString ZeroPointLine(const Calibration& calibration) {
    if (!calibration.zeroPoint) return {};
    return QStringLiteral("zero_point = %1 from %2")
        .arg(QString::number(*calibration.zeroPoint, 'f', 2), IsoDate(calibration.firstNight));
}

QString CalibrationText(const Calibration& c) {
    if (!c.zeroPoint) return c.refusal;
    const QString nights = c.nights == 1
                               ? QStringLiteral("the night of %1").arg(IsoDate(c.firstNight))
                               : QStringLiteral("%1 nights from %2 to %3")
                                     .arg(c.nights)
                                     .arg(IsoDate(c.firstNight), IsoDate(c.lastNight));
    return QStringLiteral("zero point %1 ± %2 (scatter %3 mag/arcsec² a minute) from %4 "
                          "dark, moonless, clear minutes of %5")
        .arg(QString::number(*c.zeroPoint, 'f', 3), QString::number(c.error, 'f', 3),
             QString::number(c.scatter, 'f', 3))
        .arg(c.minutes)
        .arg(nights);
}

} // namespace sky
