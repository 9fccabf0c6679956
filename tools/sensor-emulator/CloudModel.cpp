// SPDX-License-Identifier: GPL-3.0-or-later
#include "CloudModel.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdio>
#include <random>
#include <sstream>

namespace {
constexpr double kDay = 86400;
constexpr double kRamp = 900; // a quarter of an hour to come and to go
constexpr double kPi = 3.14159265358979323846;

std::uint64_t mix(std::uint64_t x) { // splitmix64
    x += 0x9e3779b97f4a7c15ULL;
    x = (x ^ (x >> 30)) * 0xbf58476d1ce4e5b9ULL;
    x = (x ^ (x >> 27)) * 0x94d049bb133111ebULL;
    return x ^ (x >> 31);
}

double unit(std::uint64_t x) {
    return static_cast<double>(mix(x) >> 11) / 9007199254740992.0;
}
} // namespace

CloudModel::CloudModel(Site site, std::vector<CloudEpisode> timetable)
    : site_(site)
    , timetable_(std::move(timetable)) {}

CloudModel CloudModel::Random(Site site, std::uint64_t seed) {
    CloudModel model(site, {});
    model.seed_ = seed;
    return model;
}

double CloudModel::siteLevel() const {
    switch (site_) {
    case Site::Town:
        return 8;
    case Site::Rural:
        return 1;
    case Site::Dark:
        return 0.3;
    }
    return 1;
}

// The night that begins on the evening of `night` (episodes run from 12:00 to 12:00).
const std::vector<CloudEpisode>& CloudModel::episodesOf(std::int64_t night) const {
    if (!seed_) return timetable_;
    if (cachedNight_ == night) return cached_;
    cachedNight_ = night;
    cached_.clear();
    std::mt19937_64 draw(mix(*seed_ * 1000003ULL + static_cast<std::uint64_t>(night)));
    std::uniform_real_distribution<double> u(0, 1);
    const double kind = u(draw);
    if (kind < 0.4) return cached_; // clear all night
    if (kind < 0.6) {               // overcast most of the night
        const double start = 16 * 3600 + u(draw) * 6 * 3600;
        cached_.push_back(
            {start, start + 8 * 3600 + u(draw) * 6 * 3600, 0.7 + 0.3 * u(draw), u(draw) < 0.3});
        return cached_;
    }
    const int episodes = 1 + static_cast<int>(u(draw) * 3); // passing clouds
    for (int i = 0; i < episodes; ++i) {
        const double start = 18 * 3600 + u(draw) * 11 * 3600;
        const double length = 1800 + u(draw) * 3 * 3600;
        cached_.push_back({start, start + length, 0.5 + 0.5 * u(draw), u(draw) < 0.5});
    }
    return cached_;
}

// Gaps in broken cloud: a smooth random wave between 0 and 1 over a few minutes.
double CloudModel::brokenGaps(std::uint64_t seed, double seconds) {
    const double step = 120;
    const double k = std::floor(seconds / step);
    const double x = seconds / step - k;
    const double a = unit(seed + static_cast<std::uint64_t>(static_cast<std::int64_t>(k)));
    const double b = unit(seed + static_cast<std::uint64_t>(static_cast<std::int64_t>(k) + 1));
    const double s = (1 - std::cos(kPi * x)) / 2;
    return a + (b - a) * s;
}

double CloudModel::cover(std::int64_t day, double daySeconds) const {
    // Night `n` runs from 12:00 of day n; seconds into it from that day's midnight.
    const std::int64_t night = daySeconds >= kDay / 2 ? day : day - 1;
    const double t = daySeconds + static_cast<double>(day - night) * kDay;
    double cover = 0;
    int index = 0;
    for (const CloudEpisode& e : episodesOf(night)) {
        ++index;
        // A timetable's times of day: before noon they belong to the night's morning.
        double start = e.start, end = e.end;
        if (!seed_ && start < kDay / 2) start += kDay, end += kDay;
        if (end < start) end += kDay;
        if (t <= start || t >= end) continue;
        const double ramp = std::min({1.0, (t - start) / kRamp, (end - t) / kRamp});
        double c = e.cover * ramp;
        if (e.broken)
            c *= 0.3 + 0.7 * brokenGaps(mix(static_cast<std::uint64_t>(night) * 7919ULL +
                                            static_cast<std::uint64_t>(index)),
                                        t);
        cover = std::max(cover, c);
    }
    return cover;
}

double CloudModel::nightFactor(std::int64_t day, double daySeconds) const {
    const double c = cover(day, daySeconds);
    double clouds = 1;
    switch (site_) {
    case Site::Town:
        clouds = 1 + 3 * c;
        break;
    case Site::Rural:
        clouds = 1 + 1 * c;
        break;
    case Site::Dark:
        clouds = 1 - 0.5 * c;
        break;
    }
    // The clear sky's own wander: a few per cent from night to night, slowly in the night.
    const std::int64_t night = daySeconds >= kDay / 2 ? day : day - 1;
    const std::uint64_t n = static_cast<std::uint64_t>(night);
    const double nightly = 1 + 0.06 * (unit(n * 31 + 5) - 0.5);
    const double slow = 1 + 0.02 * std::sin(2 * kPi * (daySeconds / (6 * 3600) + unit(n * 17)));
    return clouds * nightly * slow;
}

std::optional<Site> parseSite(const std::string& text) {
    if (text == "town") return Site::Town;
    if (text == "rural") return Site::Rural;
    if (text == "dark") return Site::Dark;
    return std::nullopt;
}

std::optional<CloudModel> parseClouds(Site site, const std::string& text, std::string& error) {
    if (text.rfind("random:", 0) == 0) {
        char* end = nullptr;
        const unsigned long long seed = std::strtoull(text.c_str() + 7, &end, 10);
        if (end == text.c_str() + 7 || *end != '\0') {
            error = "--clouds random:SEED wants a whole number, not \"" + text + "\"";
            return std::nullopt;
        }
        return CloudModel::Random(site, seed);
    }
    std::vector<CloudEpisode> episodes;
    std::stringstream items(text);
    std::string item;
    while (std::getline(items, item, ',')) {
        unsigned h1 = 0, m1 = 0, h2 = 0, m2 = 0;
        double cover = 0;
        char broken[16] = {};
        const int n =
            std::sscanf(item.c_str(), "%u:%u-%u:%u:%lf:%15s", &h1, &m1, &h2, &m2, &cover, broken);
        if (n < 5 || h1 > 23 || m1 > 59 || h2 > 23 || m2 > 59 || !(cover >= 0 && cover <= 1) ||
            (n == 6 && std::string(broken) != "broken")) {
            error = "--clouds wants HH:MM-HH:MM:COVER[:broken],... or random:SEED, not \"" + item +
                    "\"";
            return std::nullopt;
        }
        const double start = h1 * 3600.0 + m1 * 60.0;
        double end = h2 * 3600.0 + m2 * 60.0;
        if (end <= start) end += kDay;
        episodes.push_back({start, end, cover, n == 6});
    }
    return CloudModel(site, episodes);
}
