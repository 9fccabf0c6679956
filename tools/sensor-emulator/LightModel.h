// SPDX-License-Identifier: GPL-3.0-or-later
// What the emulated sensor measures: a slow day/night curve of light, the gain range
// the sensor would pick for it, and a temperature that drifts with the day.
#pragma once

#include "CloudModel.h"

#include <cstdint>
#include <optional>
#include <random>
#include <utility>

class LightModel {
public:
    struct Light {
        std::uint16_t count;
        std::uint8_t range; // 1 (brightest light, factor 120) .. 5 (darkest, factor 1)
    };

    // daySeconds: length of one emulated day. startOfDay: time of day at start, in
    // seconds since midnight, so a day-long model follows the local clock.
    LightModel(double daySeconds, double startOfDay);

    // Light at `elapsed` seconds since start. Steps the gain range by one when the
    // count leaves the band of the current range, as the sensor does.
    Light light(double elapsed);
    // Temperature in degrees Celsius at `elapsed` seconds since start.
    double temperature(double elapsed) const;
    // Range-scaled light (count times the range's factor) at `elapsed` seconds.
    double flux(double elapsed) const;

    static int factor(int range);

    // Hold the light or the temperature at one value, for checks that need exact numbers.
    void holdLight(Light light) { heldLight_ = light; }
    void holdTemperature(double celsius) { heldTemperature_ = celsius; }
    // Multiplies the light, so that emulated stations side by side see different skies.
    void scaleLight(double factor) { scale_ = factor; }
    // The sensor's sensitivity as a photometric zero point (the magnitude of one count a
    // second): the model's light is what a sensor of kNominalZeroPoint reads, so a rural
    // clear night of 20 counts is 21.3 mag/arcsec². Two emulated stations with other zero
    // points see the same sky in other counts. `agingPerYear` makes the sensor lose that
    // many magnitudes a year of emulated time (a dirtying window, an aging sensor).
    static constexpr double kNominalZeroPoint = 24.55;
    void setZeroPoint(double zeroPoint, double agingPerYear = 0) {
        zeroPoint_ = zeroPoint;
        agingPerYear_ = agingPerYear;
    }
    // A noise of its own, for two emulated sensors side by side in one process.
    void seedNoise(std::uint32_t seed) { noise_.seed(seed); }
    // The true zero point at `elapsed` seconds.
    double zeroPoint(double elapsed) const;
    // Puts a site's night sky and its clouds into the light.
    void setClouds(const CloudModel& clouds) { clouds_ = clouds; }
    // The cloud cover (0 to 1) at `elapsed` seconds; 0 without clouds.
    double cloudCover(double elapsed) const;
    // The emulated day since the start and the seconds into it.
    std::pair<std::int64_t, double> dayAndSeconds(double elapsed) const;

private:
    double sunHeight(double elapsed) const; // -1 at midnight, +1 at noon

    double daySeconds_;
    double startOfDay_;
    double scale_ = 1;
    double zeroPoint_ = kNominalZeroPoint;
    double agingPerYear_ = 0;
    int range_ = 5;
    std::optional<Light> heldLight_;
    std::optional<double> heldTemperature_;
    std::optional<CloudModel> clouds_;
    std::minstd_rand noise_{20090126};
};
