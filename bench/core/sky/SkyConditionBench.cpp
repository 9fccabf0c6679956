// SPDX-License-Identifier: GPL-3.0-or-later
// The sky classifier scored on the emulator's nights with clouds: a town, a rural and a
// dark site, 30 nights each under random clouds, the truth known. Prints per site the
// share of dark moonless minutes called right (goal: at least 95 %), the clear nights and
// the largest share of a clear night's dark minutes called cloudy (goal: at most 5 %),
// and the time the classifier took beside the time to compute the nights' Sun and Moon
// (NightMinutes), its baseline. Exit status 1 when a goal is missed.
#include "EmulatedNights.h"

#include <algorithm>
#include <chrono>
#include <cstdio>

int main() {
    bool met = true;
    struct {
        Site site;
        const char* name;
        std::uint64_t seed;
    } const sites[] = {
        {Site::Town, "town", 2026}, {Site::Rural, "rural", 2027}, {Site::Dark, "dark", 2028}};
    for (const auto& s : sites) {
        const auto t0 = std::chrono::steady_clock::now();
        const std::vector<EmulatedNight> nights = EmulateNights(s.site, s.seed, 30);
        const auto t1 = std::chrono::steady_clock::now();
        std::vector<std::vector<sky::Minute>> minutes;
        for (const EmulatedNight& n : nights)
            minutes.push_back(n.minutes);
        const sky::ClearSkyBaseline baseline = sky::ClearSkyBaseline::Build(minutes);
        long dark = 0, right = 0, clearDark = 0, clearRight = 0, cloudyDark = 0, cloudyRight = 0;
        int clearNights = 0;
        double worstClear = 0;
        for (const EmulatedNight& n : nights) {
            const std::vector<sky::Condition> c = sky::Classify(n.minutes, baseline);
            const NightScore score = ScoreNight(n, c);
            dark += score.darkMinutes;
            right += score.right;
            clearDark += score.clearMinutes;
            clearRight += score.clearMinutes - score.clearCalledCloudy;
            cloudyDark += score.darkMinutes - score.clearMinutes;
            cloudyRight += score.right - (score.clearMinutes - score.clearCalledCloudy);
            if (score.darkMinutes > 0 && score.clearMinutes == score.darkMinutes) {
                ++clearNights;
                worstClear =
                    std::max(worstClear, 100.0 * score.clearCalledCloudy / score.darkMinutes);
            }
        }
        const auto t2 = std::chrono::steady_clock::now();
        const double share = dark ? 100.0 * right / dark : 0;
        std::printf("%-5s  %2zu nights  dark minutes %6ld  right %5.1f %%  (clear %5.1f %% of %ld, "
                    "cloudy %5.1f %% of %ld)  clear nights %2d, worst called cloudy %4.1f %%  "
                    "nights %.2f s, baseline+classify %.3f s\n",
                    s.name, nights.size(), dark, share,
                    clearDark ? 100.0 * clearRight / clearDark : 0, clearDark,
                    cloudyDark ? 100.0 * cloudyRight / cloudyDark : 0, cloudyDark, clearNights,
                    worstClear, std::chrono::duration<double>(t1 - t0).count(),
                    std::chrono::duration<double>(t2 - t1).count());
        met = met && share >= 95 && worstClear <= 5;
    }
    std::printf(met ? "goals met\n" : "GOALS MISSED\n");
    return met ? 0 : 1;
}
