// SPDX-License-Identifier: GPL-3.0-or-later
// The jellyfish picture: the time of night across (hours from midnight, the evening at the
// left), the sky brightness up (mag/arcsec², the dark sky at the top), each cell coloured
// by how many minutes had that brightness at that time; empty cells blank.
#pragma once

#include "chart/Chart.h"
#include "core/sky/Jellyfish.h"
#include "core/text/RegionalSettings.h"

class JellyfishChart : public Chart {
    Q_OBJECT
public:
    explicit JellyfishChart(const RegionalSettings& regional, QWidget* parent = nullptr);

    void Show(const sky::Jellyfish& jellyfish, const QString& title);
    const sky::Jellyfish& Shown() const { return jellyfish_; }

private:
    QString timeSeparator_;
    sky::Jellyfish jellyfish_;
    QCPColorMap* map_ = nullptr;
    QCPColorScale* colourScale_ = nullptr;
    QCPTextElement* title_ = nullptr;
};

// "Jellyfish 2026-03 · clear minutes · 8123 minutes" for a jellyfish of the period `name`.
QString JellyfishTitle(const sky::Jellyfish& jellyfish, const QString& name);
