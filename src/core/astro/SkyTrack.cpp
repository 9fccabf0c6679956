// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/astro/SkyTrack.h"

#include "core/astro/Illumination.h"

#include <erfa.h>
#include <erfam.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <thread>

namespace astro {
namespace {

constexpr UtcSeconds kSunNodeStep = 4 * 86400; // the Sun and the precession-nutation
constexpr UtcSeconds kMoonNodeStep = 21600;    // the Moon: 3.3° of its path between nodes
constexpr double kMoonRadiusKm = 1737.4;
// The Earth rotation angle turns 1.00273781191135448 times a UT1 day (IAU 2000).
constexpr double kEraPerSecond = ERFA_D2PI * 1.00273781191135448 / ERFA_DAYSEC;

using Vector = std::array<double, 3>;
using Matrix = std::array<double, 9>;

struct PvNode {
    Vector position; // au, GCRS axes, geocentric
    Vector velocity; // au a day
};

UtcSeconds FloorTo(UtcSeconds t, UtcSeconds step) {
    const UtcSeconds q = t / step;
    return (q * step > t ? q - 1 : q) * step;
}

// The cubic through both nodes with their velocities, at x (0 to 1) of an interval of
// `days` days.
Vector Hermite(const PvNode& a, const PvNode& b, double x, double days) {
    const double x2 = x * x, x3 = x2 * x;
    const double h00 = 2 * x3 - 3 * x2 + 1, h10 = (x3 - 2 * x2 + x) * days;
    const double h01 = -2 * x3 + 3 * x2, h11 = (x3 - x2) * days;
    Vector p;
    for (int k = 0; k < 3; ++k)
        p[k] =
            h00 * a.position[k] + h10 * a.velocity[k] + h01 * b.position[k] + h11 * b.velocity[k];
    return p;
}

struct SunNode {
    PvNode sun;
    Matrix c2i; // GCRS to CIRS
    double era = 0;
};

SunNode MakeSunNode(UtcSeconds t) {
    SunNode node;
    const JulianDate tt = TtJulian(static_cast<double>(t));
    double helio[2][3], bary[2][3];
    eraEpv00(tt.jd1, tt.jd2, helio, bary);
    eraASTROM astrom{};
    eraApcg(tt.jd1, tt.jd2, bary, helio[0], &astrom);
    double geometric[3], distance = 0, unit[3], apparent[3];
    eraSxp(-1.0, helio[0], geometric);
    eraPn(geometric, &distance, unit);
    eraAb(unit, astrom.v, astrom.em, astrom.bm1, apparent);
    for (int k = 0; k < 3; ++k) {
        node.sun.position[k] = apparent[k] * distance;
        node.sun.velocity[k] = -helio[1][k];
    }
    double c2i[3][3];
    eraC2i06a(tt.jd1, tt.jd2, c2i);
    for (int r = 0; r < 3; ++r)
        for (int c = 0; c < 3; ++c)
            node.c2i[r * 3 + c] = c2i[r][c];
    node.era = EarthRotationAngle(static_cast<double>(t));
    return node;
}

PvNode MakeMoonNode(UtcSeconds t) {
    const JulianDate tt = TtJulian(static_cast<double>(t));
    double pv[2][3];
    eraMoon98(tt.jd1, tt.jd2, pv);
    PvNode node;
    for (int k = 0; k < 3; ++k) {
        node.position[k] = pv[0][k];
        node.velocity[k] = pv[1][k];
    }
    return node;
}

// Fills altitudes [begin, end) of the track.
struct Filler {
    const std::vector<SunNode>& sunNodes;
    UtcSeconds sunStart;
    const std::vector<PvNode>& moonNodes;
    UtcSeconds moonStart;
    UtcSeconds start;
    int step;
    double sinLat, cosLat, siteXY, siteZ, longitude; // site: au
    float* sun;
    float* moon;

    static double Altitude(const Vector& body, const Vector& up, const Vector& site) {
        const double x = body[0] - site[0], y = body[1] - site[1], z = body[2] - site[2];
        const double sine = (x * up[0] + y * up[1] + z * up[2]) / std::sqrt(x * x + y * y + z * z);
        return std::asin(std::clamp(sine, -1.0, 1.0)) * ERFA_DR2D;
    }

    void operator()(std::size_t begin, std::size_t end) const {
        for (std::size_t i = begin; i < end; ++i) {
            const UtcSeconds t = start + static_cast<UtcSeconds>(i) * step;
            const std::size_t s = static_cast<std::size_t>((t - sunStart) / kSunNodeStep);
            const UtcSeconds intoDay = t - sunStart - static_cast<UtcSeconds>(s) * kSunNodeStep;
            const double x = static_cast<double>(intoDay) / kSunNodeStep;
            const SunNode& a = sunNodes[s];
            const SunNode& b = sunNodes[s + 1];
            const std::size_t m = static_cast<std::size_t>((t - moonStart) / kMoonNodeStep);
            const double xm =
                static_cast<double>(t - moonStart - static_cast<UtcSeconds>(m) * kMoonNodeStep) /
                kMoonNodeStep;

            const Vector sunGcrs = Hermite(a.sun, b.sun, x, kSunNodeStep / ERFA_DAYSEC);
            const Vector moonGcrs =
                Hermite(moonNodes[m], moonNodes[m + 1], xm, kMoonNodeStep / ERFA_DAYSEC);
            Matrix c2i;
            for (int k = 0; k < 9; ++k)
                c2i[k] = a.c2i[k] + (b.c2i[k] - a.c2i[k]) * x;
            auto toCirs = [&c2i](const Vector& v) {
                return Vector{c2i[0] * v[0] + c2i[1] * v[1] + c2i[2] * v[2],
                              c2i[3] * v[0] + c2i[4] * v[1] + c2i[5] * v[2],
                              c2i[6] * v[0] + c2i[7] * v[1] + c2i[8] * v[2]};
            };
            // The observer's zenith and position in the CIRS: the site turned by the Earth
            // rotation angle (polar motion, below 0.5", left out).
            const double angle = a.era + static_cast<double>(intoDay) * kEraPerSecond + longitude;
            const double c = std::cos(angle), si = std::sin(angle);
            const Vector up{cosLat * c, cosLat * si, sinLat};
            const Vector site{siteXY * c, siteXY * si, siteZ};
            sun[i] = static_cast<float>(Altitude(toCirs(sunGcrs), up, site));
            moon[i] = static_cast<float>(Altitude(toCirs(moonGcrs), up, site));
        }
    }
};

} // namespace

SkyTrack::SkyTrack(const Observer& observer, UtcSeconds start, int step, std::size_t count)
    : observer_(observer)
    , start_(start)
    , step_(std::max(step, 1)) {
    if (count == 0) return;
    const UtcSeconds last = start_ + static_cast<UtcSeconds>(count - 1) * step_;

    const UtcSeconds sunStart = FloorTo(start_, kSunNodeStep);
    const std::size_t sunCount = static_cast<std::size_t>((last - sunStart) / kSunNodeStep) + 2;
    const UtcSeconds moonStart = FloorTo(start_, kMoonNodeStep);
    const std::size_t moonCount = static_cast<std::size_t>((last - moonStart) / kMoonNodeStep) + 2;
    std::vector<SunNode> sunNodes(sunCount);
    std::vector<PvNode> moonNodes(moonCount);
    moonNodeStart_ = moonStart;
    moonNodes_.resize(moonCount);

    double xyz[3];
    eraGd2gc(ERFA_WGS84, observer.longitude * ERFA_DD2R, observer.latitude * ERFA_DD2R,
             observer.elevation, xyz);
    const double siteXY = std::hypot(xyz[0], xyz[1]) / ERFA_DAU, siteZ = xyz[2] / ERFA_DAU;

    sun_.resize(count);
    moon_.resize(count);
    const Filler fill{sunNodes,
                      sunStart,
                      moonNodes,
                      moonStart,
                      start_,
                      step_,
                      std::sin(observer.latitude * ERFA_DD2R),
                      std::cos(observer.latitude * ERFA_DD2R),
                      siteXY,
                      siteZ,
                      observer.longitude * ERFA_DD2R,
                      sun_.data(),
                      moon_.data()};

    // The nodes, then the samples, each shared between two threads when there are many:
    // a year of minutes is worth it, a night is not.
    auto makeNodes = [&](std::size_t part, std::size_t parts) {
        for (std::size_t k = part; k < sunCount; k += parts)
            sunNodes[k] = MakeSunNode(sunStart + static_cast<UtcSeconds>(k) * kSunNodeStep);
        for (std::size_t k = part; k < moonCount; k += parts) {
            moonNodes[k] = MakeMoonNode(moonStart + static_cast<UtcSeconds>(k) * kMoonNodeStep);
        }
    };
    const bool parallel = count > 100000;
    if (parallel) {
        std::thread helper(makeNodes, 1, 2);
        makeNodes(0, 2);
        helper.join();
    } else {
        makeNodes(0, 1);
    }
    if (parallel) {
        std::thread second(fill, count / 2, count);
        fill(0, count / 2);
        second.join();
    } else {
        fill(0, count);
    }

    for (std::size_t k = 0; k < moonCount; ++k) {
        const UtcSeconds t = moonStart + static_cast<UtcSeconds>(k) * kMoonNodeStep;
        // The Sun of the same instant, interpolated as for the altitudes: the Sun moves 1°
        // a day, and a node days away put the phase off by up to 3 percentage points.
        const std::size_t s =
            std::min(static_cast<std::size_t>((t - sunStart) / kSunNodeStep), sunCount - 2);
        const double x =
            static_cast<double>(t - sunStart - static_cast<UtcSeconds>(s) * kSunNodeStep) /
            kSunNodeStep; // a little past 1 for the last node: the cubic holds
        const Vector sun =
            Hermite(sunNodes[s].sun, sunNodes[s + 1].sun, x, kSunNodeStep / ERFA_DAYSEC);
        const double distanceKm = std::sqrt(moonNodes[k].position[0] * moonNodes[k].position[0] +
                                            moonNodes[k].position[1] * moonNodes[k].position[1] +
                                            moonNodes[k].position[2] * moonNodes[k].position[2]) *
                                  ERFA_DAU / 1000.0;
        moonNodes_[k].semidiameter = std::asin(kMoonRadiusKm / distanceKm) * ERFA_DR2D;
        moonNodes_[k].illuminated = IlluminatedFraction(sun.data(), moonNodes[k].position.data());
    }
}

double SkyTrack::MoonNodeValue(double utcSeconds, double MoonNode::*field) const {
    if (moonNodes_.empty()) return 0;
    const double at = (utcSeconds - static_cast<double>(moonNodeStart_)) / kMoonNodeStep;
    const double clamped = std::clamp(at, 0.0, static_cast<double>(moonNodes_.size() - 1));
    const std::size_t k = std::min(static_cast<std::size_t>(clamped), moonNodes_.size() - 2);
    const double x = clamped - static_cast<double>(k);
    return moonNodes_[k].*field + (moonNodes_[k + 1].*field - moonNodes_[k].*field) * x;
}

double SkyTrack::MoonSemidiameter(double utcSeconds) const {
    return MoonNodeValue(utcSeconds, &MoonNode::semidiameter);
}

double SkyTrack::MoonIlluminated(double utcSeconds) const {
    return MoonNodeValue(utcSeconds, &MoonNode::illuminated);
}

bool SkyTrack::MoonUp(std::size_t i) const {
    return moon_[i] + MoonSemidiameter(static_cast<double>(TimeAt(i))) > -kHorizonRefraction;
}

} // namespace astro
