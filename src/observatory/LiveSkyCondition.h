// SPDX-License-Identifier: GPL-3.0-or-later
// The sky condition of the minute that just ended, for the live station: told minute by
// minute by sky::LiveConditions, as the collector tells the minutes a station back-filled.
//
// Its clear-sky baseline is the station's own, as the views build it: from the steady dark
// minutes of the last nights in the day files, read once at start on a thread of its own
// (a month of files takes a few seconds, which the acquisition must not wait for), and
// from each night the station records after that, added when the night ends. Until it is
// there, or without enough nights, the steadiness of the sky alone tells clear from
// cloudy.
#pragma once

#include "core/astro/Observer.h"
#include "core/sky/LiveConditions.h"
#include "core/sky/SkyCondition.h"
#include "observatory/SkyConditionSource.h"

#include <QString>
#include <QTimeZone>

#include <cstdint>
#include <future>
#include <vector>

class LiveSkyCondition : public SkyConditionSource {
public:
    // Nights the baseline is built from, the newest.
    static constexpr int kBaselineNights = sky::LiveConditions::kBaselineNights;

    LiveSkyCondition(astro::Observer observer, QTimeZone zone);
    ~LiveSkyCondition() override;

    // Starts reading the nights before the one of `nowUtc` (seconds) from the day files in
    // `dataDirectory`; the baseline is used from the first minute after they are read.
    void LearnBaseline(const QString& dataDirectory, std::int64_t nowUtc);
    // Waits until the nights started by LearnBaseline are read: for a caller that must not
    // go on without them.
    void AwaitLearning();
    // Whether a baseline is in use (enough steady dark minutes were found).
    bool HasBaseline() const { return conditions_.HasBaseline(); }
    // The nights the baseline rests on.
    int BaselineNights() const { return conditions_.BaselineNights(); }

    QString ConditionOf(std::int64_t utcMinuteEnd, double meanCount, int seconds) override;

    // The minutes of the nights before `night` (the day of its evening) in the day files,
    // at most `count` of them, the newest last; nights without a line are left out.
    static std::vector<std::vector<sky::Minute>> PastNights(const QString& dataDirectory,
                                                            std::int64_t night, int count,
                                                            const astro::Observer& observer,
                                                            const QTimeZone& zone);

private:
    void TakeLearned();

    astro::Observer observer_;
    QTimeZone zone_;
    sky::LiveConditions conditions_;
    std::future<std::vector<std::vector<sky::Minute>>> learning_;
};
