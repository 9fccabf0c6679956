// SPDX-License-Identifier: GPL-3.0-or-later
// The sky condition of the minute that just ended, for the live station: the same
// classifier as the figures and the views (sky::Classify), fed minute by minute with the
// minutes of tonight (12:00 to 12:00 of the station's wall clock). Without a clear-sky
// baseline of past nights, the steadiness of the sky alone tells clear from cloudy.
#pragma once

#include "Observer.h"
#include "SkyCondition.h"
#include "SkyConditionSource.h"

#include <QTimeZone>

#include <vector>

class LiveSkyCondition : public SkyConditionSource {
public:
    LiveSkyCondition(astro::Observer observer, QTimeZone zone);

    QString ConditionOf(std::int64_t utcMinuteEnd, double meanCount, int seconds) override;

private:
    astro::Observer observer_;
    QTimeZone zone_;
    std::int64_t night_ = 0; // the day of the evening of tonight
    std::vector<sky::Minute> minutes_;
    sky::ClearSkyBaseline baseline_;
};
