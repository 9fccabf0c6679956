// SPDX-License-Identifier: GPL-3.0-or-later
// The illuminated fraction of the Moon's disc seen from the Earth: (1 + cos i) / 2, i the
// phase angle at the Moon between the Sun and the Earth.
#pragma once

namespace astro {

// `sun` and `moon`: geocentric positions in any one frame and unit.
double IlluminatedFraction(const double sun[3], const double moon[3]);

} // namespace astro
