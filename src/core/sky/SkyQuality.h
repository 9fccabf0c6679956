// SPDX-License-Identifier: GPL-3.0-or-later
// What a sky brightness means to an observer: the naked-eye limiting magnitude and the
// Bortle class of a brightness in mag/arcsec².
//
// The limiting magnitude is the conversion the sky-quality literature uses, derived from
// Schaefer's threshold model of the eye (B. E. Schaefer, "Telescopic limiting magnitudes",
// PASP 102, 212, 1990):
//
//   NELM = 7.93 - 5 log10(10^(4.316 - S / 5) + 1),   S in mag/arcsec²
//
// It gives 6.62 for a pristine 22.0, 6.11 for a rural 21.0, 3.97 for a town's 18.0, and
// tends to 7.93 for an infinitely dark sky.
//
// The Bortle class by the brightness limits usually paired with the scale's nine classes
// (the classes are Bortle's, Sky & Telescope, February 2001; the limits are the table the
// light-pollution atlases print beside them): 1 from 21.99, 2 from 21.89, 3 from 21.69,
// 4 from 20.49, 5 from 19.50, 6 from 18.94, 7 from 18.38, 8 from 18.00, 9 brighter.
#pragma once

#include <optional>

namespace sky {

double LimitingMagnitude(double magnitudesPerArcsec2);
std::optional<double> LimitingMagnitude(std::optional<double> magnitudesPerArcsec2);

// 1 (the darkest) to 9 (an inner city).
int BortleClass(double magnitudesPerArcsec2);
std::optional<int> BortleClass(std::optional<double> magnitudesPerArcsec2);

} // namespace sky
