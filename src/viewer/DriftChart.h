// SPDX-License-Identifier: GPL-3.0-or-later
// The drift drawn: the station's monthly magnitude in clear twilight at each altitude of
// the Sun against the months, each with its Theil-Sen trend as a straight line, brighter
// up as the field draws magnitudes.
#pragma once

#include "chart/Chart.h"
#include "core/sky/Drift.h"

#include <QSize>
#include <QString>

class DriftChart : public Chart {
    Q_OBJECT
public:
    explicit DriftChart(QWidget* parent = nullptr);
    void Show(const sky::Drift& drift);
};

// The picture as PNG; false, with the reason in `why`, when it is not written.
bool ExportDriftPicture(const sky::Drift& drift, const QString& path, QSize size,
                        QString* why = nullptr);
