// SPDX-License-Identifier: GPL-3.0-or-later
// The logger's event lines, told where they always go (the journal, standard error) and,
// while the station publishes, on its event topic as well.
#pragma once

#include "system/JournalLines.h"

class StationPublisher;

class PublishedLines : public EventLines {
public:
    explicit PublishedLines(EventLines& lines)
        : lines_(lines) {}

    // nullptr: the lines go to `lines` alone.
    void SetPublisher(StationPublisher* publisher) { publisher_ = publisher; }
    void Line(Priority priority, const QString& text) override;

private:
    EventLines& lines_;
    StationPublisher* publisher_ = nullptr;
};
