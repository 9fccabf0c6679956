// SPDX-License-Identifier: GPL-3.0-or-later
// The colour map of the Year view and the jellyfish picture: one cell a value, drawn
// without smoothing, with its colour scale at the right of the plot.
#pragma once

#include <qcustomplot.h>

struct ColourMap {
    QCPColorMap* map = nullptr;
    QCPColorScale* scale = nullptr;
};

// A colour map over `keys` and `values` of `plot`, and its scale in the second row's second
// column of the plot's layout, its top and bottom kept level with the axes' rectangle.
ColourMap AddColourMap(QCustomPlot& plot, QCPAxis* keys, QCPAxis* values);
