// SPDX-License-Identifier: GPL-3.0-or-later
// The five panels of the status bar SBInfo: library version, link state, clock,
// temperature and flux. Each panel is exactly a fifth of the bar, and a refresh repaints
// only what changed.
#pragma once

#include "sensor/UsbAPI.h"

#include <QString>

#include <array>
#include <cstdint>
#include <string>

class QFont;
class QLabel;
class QStatusBar;
class Station;
struct RegionalSettings;

class StatusPanels {
public:
    static constexpr int kCount = 5;

    // Makes the panels with their start texts; their font shrinks from `font` until the
    // clock fits its panel at the window's opening width.
    StatusPanels(QStatusBar& bar, const QFont& font, int windowWidth);

    // Panel 0, written once at start-up.
    void ShowVersion(const QString& version);
    // What panels 1 to 4 show, as a pass leaves the station: cheap to take after every
    // pass, and shown when the window next gets to paint.
    struct Reading {
        std::string statusText;
        bool hasDevice = false;
        bool active = false;
        usbapi::OpenFailure openFailure = usbapi::OpenFailure::None;
        float temperature = 0;
        std::int32_t flux = 0;
        double time = 0;
    };
    static Reading Take(const Station& station);
    void Show(const Reading& reading, const RegionalSettings& regional);
    // Panels 1 to 4 from the station's latest pass.
    void Show(const Station& station);
    // The clock is written again at the next refresh (its separators may have changed).
    void ForgetClock() { clockShown_ = -1; }
    // Gives each panel a fifth of the bar's width.
    void Place();

private:
    QStatusBar& bar_;
    std::array<QLabel*, kCount> panels_{};
    double clockShown_ = -1; // the time last written into the clock panel
};
