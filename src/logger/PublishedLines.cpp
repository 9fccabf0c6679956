// SPDX-License-Identifier: GPL-3.0-or-later
#include "logger/PublishedLines.h"

#include "network/StationPublisher.h"

void PublishedLines::Line(Priority priority, const QString& text) {
    lines_.Line(priority, text);
    if (publisher_) publisher_->Event(static_cast<int>(priority), text);
}
