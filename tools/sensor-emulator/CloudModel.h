// SPDX-License-Identifier: GPL-3.0-or-later
// Clouds over the emulated station and what they do to its night sky. A cloud episode
// has a start and an end (seconds of the emulated day, may pass midnight), a peak cover
// (0 to 1) reached over ramps at either end, and may be broken: then the cover comes and
// goes within minutes, as gaps in the cloud pass. Episodes come from a timetable that
// repeats every day, or at random from a seed, different each night.
//
// What clouds do depends on the site: over a town they send its lights back down and
// brighten the sky (overcast up to 4 times), at a dark site they block the stars and the
// airglow and darken it (overcast to half), a rural site lies between. The clear sky
// itself wanders a little from night to night and through the night, as airglow and haze
// do. The truth of every minute (its mean cover; cloudy from a cover of 0.2) is what the
// classifier is scored against.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

enum class Site { Town, Rural, Dark };

struct CloudEpisode {
    double start = 0; // seconds since the emulated day's midnight
    double end = 0;   // may be more than 86400: past midnight
    double cover = 1; // peak, 0 to 1
    bool broken = false;
};

class CloudModel {
public:
    static constexpr double kCloudyCover = 0.2;

    CloudModel() = default;
    CloudModel(Site site, std::vector<CloudEpisode> timetable);
    // Random episodes from `seed`, a new draw for every night.
    static CloudModel Random(Site site, std::uint64_t seed);

    Site site() const { return site_; }
    // The cover at `daySeconds` seconds since midnight of emulated day `day`.
    double cover(std::int64_t day, double daySeconds) const;
    // What multiplies the clear night sky's light then (clouds and the sky's own wander).
    double nightFactor(std::int64_t day, double daySeconds) const;
    // The night sky's clear level relative to the model's (town brighter, dark site
    // darker).
    double siteLevel() const;

private:
    const std::vector<CloudEpisode>& episodesOf(std::int64_t night) const;
    static double brokenGaps(std::uint64_t seed, double seconds);

    Site site_ = Site::Rural;
    std::vector<CloudEpisode> timetable_;
    std::optional<std::uint64_t> seed_;
    mutable std::int64_t cachedNight_ = INT64_MIN;
    mutable std::vector<CloudEpisode> cached_;
};

// "town", "rural", "dark".
std::optional<Site> parseSite(const std::string& text);
// "random:SEED" or a timetable "HH:MM-HH:MM:COVER[:broken],..."; the reason when it fails.
std::optional<CloudModel> parseClouds(Site site, const std::string& text, std::string& error);
