// SPDX-License-Identifier: GPL-3.0-or-later
// The Year view: a heat map with one column per night (12:00 to 12:00 of the next day,
// left to right) and one row per minute of the night (evening at the top), coloured by
// the minute's median mean count on a colour scale (dark is a dark sky); minutes without
// a line are left blank. A click on a column asks for that night.
#pragma once

#include "core/astro/YearSky.h"
#include "core/log/YearMinutes.h"
#include "core/text/RegionalSettings.h"
#include "viewer/HeatScale.h"

#include <qcustomplot.h>

#include <array>
#include <vector>

class YearChart : public QCustomPlot {
    Q_OBJECT
public:
    // Writes its times with the time separator of `regional`.
    explicit YearChart(const RegionalSettings& regional, QWidget* parent = nullptr);

    // Shows a year's minutes; any lines of the sky are taken away until SetSky. With
    // `kept` (one for each cell, in the order of the cells), the cells not kept are blank.
    void Show(YearMinutes year, const QString& title, HeatScale scale = HeatScale::LogCounts(),
              std::vector<bool> kept = {});
    // Only some cells drawn (the clear dark minutes, say).
    bool Masked() const { return !kept_.empty(); }
    // Draws the lines of astronomical twilight (dusk and dawn) and of moonrise and
    // moonset over the map, with a legend.
    void SetSky(const astro::YearSky& sky);
    bool SkyShown() const { return skyShown_; }
    const YearMinutes& Year() const { return year_; }

    // The night (days since 1970-01-01) and minute row at a point of the widget; false
    // outside the map.
    bool CellAt(const QPoint& pos, int& night, int& row) const;

    // "Night 2026-03-04 to 2026-03-05, 23:15   median 123 counts   60 lines, 2 failed".
    QString CellText(int night, int row) const;
    // "365 nights, 31536000 lines, 12 failed seconds" (or "No lines …").
    QString SummaryText() const;

    QCPGraph* SkyLine(astro::YearSky::Line line) const { return skyLines_[line]; }
    QCPAxisRect* MapRect() const { return axisRect(); }

signals:
    void NightPicked(std::int64_t night);
    // The pointer is over a cell of the map (column, row), or left it.
    void CellHovered(int night, int row);
    void CursorLeft();

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void leaveEvent(QEvent* event) override;

private:
    void SetNightTicks();

    QString timeSeparator_;
    YearMinutes year_;
    HeatScale scale_ = HeatScale::LogCounts();
    std::vector<bool> kept_;
    QCPColorMap* map_ = nullptr;
    QCPColorScale* colourScale_ = nullptr;
    QCPTextElement* title_ = nullptr;
    std::array<QCPGraph*, 4> skyLines_{};
    bool skyShown_ = false;
    QPoint pressed_;
    bool pressing_ = false;
};
