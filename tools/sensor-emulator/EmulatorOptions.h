// SPDX-License-Identifier: GPL-3.0-or-later
// The emulator's command line, shared by its two front ends.
#pragma once

#include "LightModel.h"

#include <optional>
#include <string>
#include <vector>

struct EmulatorOptions {
    double daySeconds = 86400;
    double startOfDay = -1; // seconds since midnight; -1: the local time now
    std::string faults;
    std::string statsFile;
    std::string logFile;
    std::string usbredirSocket; // empty: the umockdev front end
    int lateMs = 300;
    std::optional<LightModel::Light> light;
    std::optional<double> temperature;
    double lightScale = 1; // multiplies the light: stations side by side under other skies
    double zeroPoint = LightModel::kNominalZeroPoint; // the sensor's sensitivity, mag
    double agingPerYear = 0;    // mag a year of emulated time the zero point falls by
    std::string site = "rural"; // town, rural or dark: the night sky and what clouds do
    std::string clouds;         // timetable or random:SEED; empty: a clear sky
    std::string truthFile;      // appends each emulated minute's cloud cover and zero point
    bool verbose = false;
    std::vector<std::string> command; // what runs against the umockdev device
};

// Parses the command line; false after a message on stderr.
bool parseEmulatorOptions(int argc, char** argv, EmulatorOptions& options);

// Whether the command line asks for the usbredir front end, found before parsing (the
// umockdev front end must re-execute itself before anything else happens).
bool wantsUsbRedir(int argc, char** argv);
