// SPDX-License-Identifier: GPL-3.0-or-later
// Value labels of the plot's value axis: where they stand and how they read.
#pragma once

#include <QString>

#include <vector>

struct ValueTickRequest {
    double lower = 0;
    double upper = 1;
    bool logarithmic = false;
    double minStep = 1;     // linear scale: the smallest distance between two labels
    double pixelLength = 0; // length of the axis on screen
    double minSpacing = 1;  // pixels two neighbouring labels need
};

// Linear scale: multiples of the step, the step widened (x2, x2.5, x2 ...) until the
// labels fit. Logarithmic scale: 1, 2 and 5 of each decade, or the decades alone, or
// every 2nd, 5th, 10th ... decade, whichever is the densest that fits.
std::vector<double> ValueTicks(const ValueTickRequest& request);

// "#,##0.###": digit grouping, at most three decimals, no trailing zeros.
QString FormatGroupedNumber(double value, const QString& decimalSeparator,
                            const QString& groupSeparator);
