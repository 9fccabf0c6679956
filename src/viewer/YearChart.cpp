// SPDX-License-Identifier: GPL-3.0-or-later
#include "viewer/YearChart.h"

#include "viewer/ColourMap.h"
#include "viewer/ViewerTexts.h"

#include <QMouseEvent>

#include <cmath>
#include <limits>

namespace {
constexpr int kClickSlack = 4; // pixels a click may move and still be a click
const char* const kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                               "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
} // namespace

YearChart::YearChart(const RegionalSettings& regional, QWidget* parent)
    : QCustomPlot(parent)
    , timeSeparator_(regional.timeSeparator) {
    setBackground(Qt::white);
    setCursor(Qt::CrossCursor);
    setMouseTracking(true);
    setInteractions({});
    plotLayout()->insertRow(0);
    title_ = new QCPTextElement(this, QString(),
                                QFont(font().family(), font().pointSize() + 1, QFont::Bold));
    plotLayout()->addElement(0, 0, title_);

    QCPAxis* nights = xAxis;
    QCPAxis* minutes = yAxis;
    nights->setLabel(QStringLiteral("Night"));
    minutes->setLabel(QStringLiteral("Time"));
    minutes->setRangeReversed(true); // the evening at the top, the morning below
    minutes->setRange(0, YearMinutes::kRows);
    auto hours = QSharedPointer<QCPAxisTickerText>::create();
    for (int h = 0; h <= 24; h += 2)
        hours->addTick(h * 60, QStringLiteral("%1%2%3")
                                   .arg((12 + h) % 24, 2, 10, QLatin1Char('0'))
                                   .arg(timeSeparator_, QStringLiteral("00")));
    hours->setSubTickCount(1);
    minutes->setTicker(hours);
    for (QCPAxis* axis : {nights, minutes})
        axis->grid()->setVisible(false);

    const ColourMap colours = AddColourMap(*this, nights, minutes);
    map_ = colours.map;
    colourScale_ = colours.scale;

    // The sky's lines: twilight in cyan, the Moon in pale green (rising dashed, setting
    // dotted), light enough to read on the dark night and dark enough on the bright day.
    const struct {
        const char* name;
        QPen pen;
    } lines[] = {
        {"astronomical twilight", QPen(QColor(0, 200, 255), 2)},
        {"", QPen(QColor(0, 200, 255), 2)},
        {"moonrise", QPen(QColor(120, 255, 120), 2, Qt::DashLine)},
        {"moonset", QPen(QColor(120, 255, 120), 2, Qt::DotLine)},
    };
    for (int i = 0; i < 4; ++i) {
        skyLines_[i] = addGraph(xAxis, yAxis);
        skyLines_[i]->setPen(lines[i].pen);
        skyLines_[i]->setName(QString::fromLatin1(lines[i].name));
        skyLines_[i]->setAdaptiveSampling(false);
    }
    legend->removeItem(legend->itemWithPlottable(skyLines_[astro::YearSky::Dawn]));
    legend->setBrush(QColor(255, 255, 255, 200));
    axisRect()->insetLayout()->setInsetAlignment(0, Qt::AlignTop | Qt::AlignRight);
    Show(YearMinutes{}, QString());
}

void YearChart::Show(YearMinutes year, const QString& title, HeatScale scale,
                     std::vector<bool> kept) {
    year_ = std::move(year);
    kept_ = std::move(kept);
    scale_ = std::move(scale);
    title_->setText(title);
    const int nights = std::max(year_.nights, 1);
    QCPColorMapData* data = map_->data();
    data->setSize(nights, YearMinutes::kRows);
    const double first = double(year_.firstNight);
    data->setRange(QCPRange(first + 0.5, first + nights - 0.5),
                   QCPRange(0.5, YearMinutes::kRows - 0.5));
    double lower = std::numeric_limits<double>::infinity();
    double upper = -lower;
    for (int n = 0; n < nights; ++n) {
        for (int r = 0; r < YearMinutes::kRows; ++r) {
            double value = std::numeric_limits<double>::quiet_NaN();
            if (n < year_.nights) {
                const YearCell& cell = year_.At(n, r);
                const bool kept = kept_.empty() || kept_[std::size_t(n) * YearMinutes::kRows + r];
                if (kept && !std::isnan(cell.median))
                    value = scale_.value(cell.median, year_.TimeOf(n, r));
            }
            if (std::isfinite(value)) {
                lower = std::min(lower, value);
                upper = std::max(upper, value);
            } else {
                value = std::numeric_limits<double>::quiet_NaN();
            }
            data->setCell(n, r, value);
        }
    }
    if (!(lower <= upper)) lower = upper = 0;
    if (upper - lower < 1e-6) upper = lower + 1;
    QCPColorGradient gradient(QCPColorGradient::gpThermal);
    gradient.setNanHandling(QCPColorGradient::nhTransparent);
    map_->setGradient(scale_.darkIsHigh ? gradient.inverted() : gradient);
    map_->setDataRange(QCPRange(lower, upper));
    colourScale_->axis()->setLabel(scale_.label);
    xAxis->setRange(first, first + nights);
    SetNightTicks();
    for (QCPGraph* line : skyLines_)
        line->data()->clear();
    skyShown_ = false;
    legend->setVisible(false);
    replot();
}

void YearChart::SetSky(const astro::YearSky& sky) {
    // A line breaks where a night has no such moment (the Moon rose in daytime, twilight
    // lasts all night in summer) or where it wraps round from one end of the night to
    // the other.
    constexpr double kLargestStep = 180; // minutes from one night to the next
    const double first = double(year_.firstNight);
    for (int i = 0; i < 4; ++i) {
        QVector<double> keys, values;
        const std::vector<astro::YearSky::Point>& points = sky.lines[std::size_t(i)];
        for (std::size_t p = 0; p < points.size(); ++p) {
            // A second moment of a kind in one night (the clock set back) is passed over.
            if (p > 0 && points[p].night == points[p - 1].night) continue;
            if (p > 0 && (points[p].night - points[p - 1].night != 1 ||
                          std::abs(points[p].row - points[p - 1].row) > kLargestStep)) {
                keys << first + points[p].night;
                values << std::numeric_limits<double>::quiet_NaN();
            }
            keys << first + points[p].night + 0.5;
            values << points[p].row;
        }
        skyLines_[i]->setData(keys, values, true);
    }
    skyShown_ = true;
    legend->setVisible(true);
    replot();
}

void YearChart::SetNightTicks() {
    // A tick at the first night of each month: its name, with the year at January and
    // at the first tick.
    auto ticks = QSharedPointer<QCPAxisTickerText>::create();
    const std::int64_t first = year_.firstNight;
    const std::int64_t end = first + std::max(year_.nights, 1);
    bool labelledYear = false;
    for (std::int64_t day = first; day < end; ++day) {
        const CivilDate date = CivilFromDays(day);
        if (date.day != 1 && day != first) continue;
        if (date.day != 1 && end - first > 40) continue; // a month tick will follow soon
        QString label = QString::fromLatin1(kMonths[date.month - 1]);
        if (date.day != 1) label = QStringLiteral("%1 %2").arg(date.day).arg(label);
        if (date.month == 1 || !labelledYear) label += QStringLiteral("\n%1").arg(date.year);
        labelledYear = true;
        ticks->addTick(double(day), label);
    }
    xAxis->setTicker(ticks);
}

bool YearChart::CellAt(const QPoint& pos, int& night, int& row) const {
    if (year_.nights <= 0 || !axisRect()->rect().contains(pos)) return false;
    const double key = xAxis->pixelToCoord(pos.x()) - double(year_.firstNight);
    const double value = yAxis->pixelToCoord(pos.y());
    night = int(std::floor(key));
    row = int(std::floor(value));
    return night >= 0 && night < year_.nights && row >= 0 && row < YearMinutes::kRows;
}

QString YearChart::CellText(int night, int row) const {
    const YearCell& cell = year_.At(night, row);
    const std::int64_t day = year_.firstNight + night;
    const WallSeconds t = year_.TimeOf(night, row);
    QString text = QStringLiteral("Night %1 to %2, %3")
                       .arg(IsoDate(day), IsoDate(day + 1), ClockText(t, timeSeparator_).left(5));
    if (cell.lines == 0) return text + QStringLiteral("   no line");
    if (!std::isnan(cell.median))
        text += QStringLiteral("   median %1 counts").arg(cell.median, 0, 'g', 10);
    text += QStringLiteral("   %1 lines").arg(cell.lines);
    if (cell.failed > 0) text += QStringLiteral(", %1 failed").arg(cell.failed);
    return text;
}

QString YearChart::SummaryText() const {
    if (year_.lines == 0)
        return QStringLiteral("No lines in the nights %1 to %2")
            .arg(IsoDate(year_.firstNight), IsoDate(year_.LastNight()));
    QString text = QStringLiteral("%1 nights, %2 lines").arg(year_.nights).arg(year_.lines);
    if (year_.failed > 0) text += QStringLiteral(", %1 failed seconds").arg(year_.failed);
    return text;
}

void YearChart::mousePressEvent(QMouseEvent* event) {
    pressing_ = event->button() == Qt::LeftButton;
    pressed_ = event->position().toPoint();
    QCustomPlot::mousePressEvent(event);
}

void YearChart::mouseReleaseEvent(QMouseEvent* event) {
    const QPoint at = event->position().toPoint();
    int night = 0, row = 0;
    if (pressing_ && event->button() == Qt::LeftButton &&
        (at - pressed_).manhattanLength() <= kClickSlack && CellAt(at, night, row))
        emit NightPicked(year_.firstNight + night);
    pressing_ = false;
    QCustomPlot::mouseReleaseEvent(event);
}

void YearChart::mouseMoveEvent(QMouseEvent* event) {
    int night = 0, row = 0;
    if (CellAt(event->position().toPoint(), night, row))
        emit CellHovered(night, row);
    else
        emit CursorLeft();
    QCustomPlot::mouseMoveEvent(event);
}

void YearChart::leaveEvent(QEvent* event) {
    emit CursorLeft();
    QCustomPlot::leaveEvent(event);
}
