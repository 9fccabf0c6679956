// SPDX-License-Identifier: GPL-3.0-or-later
// The five panels of the status bar SBInfo: library version, link state, clock,
// temperature and flux. Each panel is exactly a fifth of the bar, and a refresh repaints
// only what changed.
#pragma once

#include <QString>

#include <array>

class QFont;
class QLabel;
class QStatusBar;
class Station;

class StatusPanels {
public:
    static constexpr int Count = 5;

    // Makes the panels with their start texts; their font shrinks from `font` until the
    // clock fits its panel at the window's opening width.
    StatusPanels(QStatusBar& bar, const QFont& font, int windowWidth);

    // Panel 0, written once at start-up.
    void ShowVersion(const QString& version);
    // Panels 1 to 4 from the station's latest pass.
    void Show(const Station& station);
    // The clock is written again at the next refresh (its separators may have changed).
    void ForgetClock() { clockShown_ = -1; }
    // Gives each panel a fifth of the bar's width.
    void Place();

private:
    QStatusBar& bar_;
    std::array<QLabel*, Count> panels_{};
    double clockShown_ = -1; // the time last written into the clock panel
};
