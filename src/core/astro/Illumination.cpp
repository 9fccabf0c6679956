// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/astro/Illumination.h"

#include <erfa.h>
#include <erfam.h>

#include <cmath>

namespace astro {

double IlluminatedFraction(const double sun[3], const double moon[3]) {
    double moonToSun[3], moonToEarth[3];
    eraPmp(const_cast<double*>(sun), const_cast<double*>(moon), moonToSun);
    eraSxp(-1.0, const_cast<double*>(moon), moonToEarth);
    const double phaseAngle = eraSepp(moonToSun, moonToEarth);
    return (1.0 + std::cos(phaseAngle)) / 2.0;
}

} // namespace astro
