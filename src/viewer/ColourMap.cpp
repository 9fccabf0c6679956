// SPDX-License-Identifier: GPL-3.0-or-later
#include "viewer/ColourMap.h"

ColourMap AddColourMap(QCustomPlot& plot, QCPAxis* keys, QCPAxis* values) {
    ColourMap made;
    made.map = new QCPColorMap(keys, values);
    made.map->setInterpolate(false);
    made.map->setTightBoundary(true);
    made.scale = new QCPColorScale(&plot);
    plot.plotLayout()->addElement(1, 1, made.scale);
    made.scale->setType(QCPAxis::atRight);
    made.scale->setBarWidth(14);
    made.map->setColorScale(made.scale);
    auto* margins = new QCPMarginGroup(&plot);
    plot.axisRect()->setMarginGroup(QCP::msBottom | QCP::msTop, margins);
    made.scale->setMarginGroup(QCP::msBottom | QCP::msTop, margins);
    return made;
}
