// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/sky/Drift.h"

#include <algorithm>
#include <cmath>
#include <map>

namespace sky {
namespace {

constexpr double kHalfWidth = 1.5; // degrees of the Sun either side of an altitude
constexpr int kMinMinutes = 8;
constexpr double kMaxRms = 0.03; // mag
constexpr int kMinLightSeconds = 20;

double Median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    const std::size_t n = v.size();
    return n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
}

// Least squares m = a + b x + c x² (x: degrees from the altitude): the value at x = 0 and
// the rms of the residuals; none when the minutes do not fix the curve.
std::optional<std::pair<double, double>> Quadratic(const std::vector<double>& x,
                                                   const std::vector<double>& m) {
    double s[5] = {0, 0, 0, 0, 0}, t[3] = {0, 0, 0};
    for (std::size_t i = 0; i < x.size(); ++i) {
        double p = 1;
        for (int k = 0; k < 5; ++k, p *= x[i]) {
            s[k] += p;
            if (k < 3) t[k] += p * m[i];
        }
    }
    // The normal equations, by Cramer's rule (3 x 3).
    const double a[3][3] = {{s[0], s[1], s[2]}, {s[1], s[2], s[3]}, {s[2], s[3], s[4]}};
    auto det = [](const double q[3][3]) {
        return q[0][0] * (q[1][1] * q[2][2] - q[1][2] * q[2][1]) -
               q[0][1] * (q[1][0] * q[2][2] - q[1][2] * q[2][0]) +
               q[0][2] * (q[1][0] * q[2][1] - q[1][1] * q[2][0]);
    };
    const double d = det(a);
    if (std::abs(d) < 1e-9) return std::nullopt;
    double coefficient[3];
    for (int c = 0; c < 3; ++c) {
        double q[3][3];
        for (int r = 0; r < 3; ++r)
            for (int k = 0; k < 3; ++k)
                q[r][k] = k == c ? t[r] : a[r][k];
        coefficient[c] = det(q) / d;
    }
    double squares = 0;
    for (std::size_t i = 0; i < x.size(); ++i) {
        const double fit = coefficient[0] + coefficient[1] * x[i] + coefficient[2] * x[i] * x[i];
        squares += (m[i] - fit) * (m[i] - fit);
    }
    return std::pair{coefficient[0], std::sqrt(squares / static_cast<double>(x.size()))};
}

} // namespace

std::vector<TwilightPoint> TwilightMagnitudes(std::int64_t night,
                                              const std::vector<Minute>& minutes,
                                              const ZeroPoints& zeroPoints,
                                              const std::vector<double>& altitudes) {
    std::vector<TwilightPoint> points;
    if (minutes.empty()) return points;
    // The Sun's lowest minute parts the evening from the morning.
    const auto lowest = std::min_element(minutes.begin(), minutes.end(),
                                         [](const Minute& a, const Minute& b) {
                                             return a.sunAltitude < b.sunAltitude;
                                         }) -
                        minutes.begin();
    for (const bool evening : {true, false}) {
        const std::size_t from = evening ? 0 : static_cast<std::size_t>(lowest);
        const std::size_t to = evening ? static_cast<std::size_t>(lowest) : minutes.size();
        for (const double altitude : altitudes) {
            std::vector<double> x, m;
            bool spoiled = false;
            for (std::size_t i = from; i < to; ++i) {
                const Minute& minute = minutes[i];
                if (std::abs(minute.sunAltitude - altitude) > kHalfWidth) continue;
                if (minute.moonUp) spoiled = true;
                if (minute.lightSeconds < kMinLightSeconds || minute.count <= 0) continue;
                std::optional<double> magnitude;
                if (zeroPoints.Empty())
                    magnitude = -2.5 * std::log10(static_cast<double>(minute.count));
                else
                    magnitude = zeroPoints.MagnitudeAt(
                        minute.wall, minute.count,
                        minute.hasCelsius ? std::optional<double>(minute.celsius) : std::nullopt);
                if (!magnitude) continue;
                x.push_back(minute.sunAltitude - altitude);
                m.push_back(*magnitude);
            }
            if (spoiled || static_cast<int>(x.size()) < kMinMinutes) continue;
            // Both sides of the altitude, or the fit's value there is a guess.
            if (*std::min_element(x.begin(), x.end()) > -0.5 ||
                *std::max_element(x.begin(), x.end()) < 0.5)
                continue;
            const auto fit = Quadratic(x, m);
            if (!fit || fit->second > kMaxRms) continue;
            points.push_back({night, evening, altitude, fit->first});
        }
    }
    return points;
}

std::optional<double> TheilSenSlope(const std::vector<double>& x, const std::vector<double>& y) {
    std::vector<double> slopes;
    for (std::size_t i = 0; i < x.size(); ++i)
        for (std::size_t j = i + 1; j < x.size(); ++j)
            if (x[j] != x[i]) slopes.push_back((y[j] - y[i]) / (x[j] - x[i]));
    if (slopes.empty()) return std::nullopt;
    return Median(std::move(slopes));
}

Drift FigureDrift(const std::vector<TwilightPoint>& points, bool instrumental,
                  const std::vector<double>& altitudes) {
    Drift drift;
    drift.instrumental = instrumental;
    std::vector<double> trends;
    for (const double altitude : altitudes) {
        std::map<std::pair<int, int>, std::vector<double>> byMonth;
        for (const TwilightPoint& p : points) {
            if (p.altitude != altitude) continue;
            const CivilDate date = CivilFromDays(p.night);
            byMonth[{date.year, date.month}].push_back(p.magnitude);
        }
        std::vector<double> x, y;
        for (const auto& [month, values] : byMonth) {
            const double median = Median(values);
            drift.months.push_back(
                {month.first, month.second, altitude, median, static_cast<int>(values.size())});
            x.push_back(month.first + (month.second - 0.5) / 12.0);
            y.push_back(median);
        }
        DriftTrend trend{altitude, std::nullopt, static_cast<int>(x.size())};
        if (x.size() >= 3) trend.magPerYear = TheilSenSlope(x, y);
        if (trend.magPerYear) trends.push_back(*trend.magPerYear);
        drift.trends.push_back(trend);
    }
    if (!trends.empty()) drift.magPerYear = Median(trends);
    return drift;
}

QByteArray DriftCsv(const Drift& drift) {
    QByteArray csv =
        drift.instrumental
            ? "month,sun_altitude,instrumental_magnitude,twilights,trend_mag_per_year\n"
            : "month,sun_altitude,magnitude,twilights,trend_mag_per_year\n";
    for (const DriftMonth& m : drift.months) {
        QByteArray trend;
        for (const DriftTrend& t : drift.trends)
            if (t.altitude == m.altitude && t.magPerYear)
                trend = QByteArray::number(*t.magPerYear, 'f', 4);
        csv += QByteArray::number(m.year) + '-' +
               QByteArray::number(m.month).rightJustified(2, '0') + ',' +
               QByteArray::number(m.altitude, 'f', 1) + ',' +
               QByteArray::number(m.magnitude, 'f', 3) + ',' + QByteArray::number(m.twilights) +
               ',' + trend + '\n';
    }
    return csv;
}

} // namespace sky
