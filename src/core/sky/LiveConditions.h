// SPDX-License-Identifier: GPL-3.0-or-later
// The sky condition minute by minute, as a station tells it in its minute messages: the
// same classifier as the figures and the views (sky::Classify), fed one minute at a time
// with the minutes of its night (12:00 to 12:00 of the station's wall clock) so far, each
// minute told as soon as it ends. Only the minutes given count: a minute whose seconds
// all failed is not given, and the steadiness of a minute looks back over the minutes
// given before it.
//
// The clear-sky baseline is built from the nights before the minutes to come, the newest
// kBaselineNights of them, and from each night that ends among the minutes given (when
// it had at least an hour of them). Without enough nights the steadiness of the sky alone
// tells clear from cloudy.
//
// The live station feeds it as its minutes end; the collector feeds it the minutes a
// station back-filled without summing them up, from the archive, so that both tell the
// same minutes alike.
#pragma once

#include "core/astro/Observer.h"
#include "core/sky/SkyCondition.h"

#include <QString>
#include <QTimeZone>

#include <cstdint>
#include <deque>
#include <utility>
#include <vector>

namespace sky {

// The name a minute message gives a condition: "day", "twilight" (any of the three),
// "moonlit", "clear" or "cloudy"; empty where it cannot be told.
QString MinuteConditionName(Condition condition);

class LiveConditions {
public:
    // Nights the baseline is built from, the newest.
    static constexpr int kBaselineNights = 30;

    LiveConditions(astro::Observer observer, QTimeZone zone);

    // Nights before the minutes to come (those of PastNights, say), oldest first.
    void AddPastNights(std::vector<std::vector<Minute>> nights);
    // A baseline built elsewhere of such nights (ClearSkyBaseline::Build), for minutes of
    // one night: a night that ends builds it again from the nights added.
    void UseBaseline(ClearSkyBaseline baseline) { baseline_ = std::move(baseline); }
    // Whether a baseline is in use (enough steady dark minutes were found).
    bool HasBaseline() const { return !baseline_.Empty(); }
    // The nights the baseline rests on.
    int BaselineNights() const { return int(nights_.size()); }

    // The condition of the minute that ended at `utcMinuteEnd` (ms since 1970), whose
    // `seconds` readings had this mean count; minutes in time order.
    QString ConditionOf(std::int64_t utcMinuteEnd, double meanCount, int seconds);

private:
    void NightEnded();

    astro::Observer observer_;
    QTimeZone zone_;
    std::int64_t night_ = 0; // the day of the evening of the minutes being given
    std::vector<Minute> minutes_;
    std::deque<std::vector<Minute>> nights_; // the baseline's nights, oldest first
    ClearSkyBaseline baseline_;
};

} // namespace sky
