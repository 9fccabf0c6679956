// SPDX-License-Identifier: GPL-3.0-or-later
#include "viewer/JellyfishChart.h"

#include "viewer/ColourMap.h"

#include <algorithm>
#include <cmath>
#include <limits>

JellyfishChart::JellyfishChart(const RegionalSettings& regional, QWidget* parent)
    : Chart(parent)
    , timeSeparator_(regional.timeSeparator) {
    setBackground(Qt::white);
    setInteractions({});
    plotLayout()->insertRow(0);
    title_ = new QCPTextElement(this, QString(),
                                QFont(font().family(), font().pointSize() + 1, QFont::Bold));
    plotLayout()->addElement(0, 0, title_);
    xAxis->setLabel(QStringLiteral("Time of night"));
    yAxis->setLabel(QStringLiteral("Sky brightness (mag/arcsec\u00B2)"));
    for (QCPAxis* axis : {xAxis, yAxis})
        axis->grid()->setPen(QPen(QColor(200, 200, 200), 0, Qt::DotLine));
    const ColourMap colours = AddColourMap(*this, xAxis, yAxis);
    map_ = colours.map;
    colourScale_ = colours.scale;
    colourScale_->axis()->setLabel(QStringLiteral("minutes"));
    QCPColorGradient gradient(QCPColorGradient::gpJet);
    gradient.setNanHandling(QCPColorGradient::nhTransparent);
    map_->setGradient(gradient);
}

void JellyfishChart::Show(const sky::Jellyfish& jellyfish, const QString& title) {
    jellyfish_ = jellyfish;
    title_->setText(title);
    const sky::Jellyfish& j = jellyfish_;
    QCPColorMapData* data = map_->data();
    const int columns = std::max(j.columns, 1), rows = std::max(j.rows, 1);
    data->setSize(columns, rows);
    // Keys in minutes from midnight, values in mag/arcsec², at the cells' middles.
    const double width = sky::Jellyfish::kColumnMinutes, height = sky::Jellyfish::kRowMagnitudes;
    const double left = j.firstColumn, bottom = j.firstRow;
    data->setRange(QCPRange(left + width / 2, left + (columns - 0.5) * width),
                   QCPRange(bottom + height / 2, bottom + (rows - 0.5) * height));
    int most = 0;
    for (int c = 0; c < columns; ++c)
        for (int r = 0; r < rows; ++r) {
            const int n = c < j.columns && r < j.rows ? j.At(c, r) : 0;
            most = std::max(most, n);
            data->setCell(c, r, n > 0 ? double(n) : std::numeric_limits<double>::quiet_NaN());
        }
    map_->setDataRange(QCPRange(1, std::max(most, 2)));
    xAxis->setRange(left, left + columns * width);
    yAxis->setRange(bottom, bottom + rows * height);
    // Hours of the wall clock, however far the night reaches.
    auto hours = QSharedPointer<QCPAxisTickerText>::create();
    const int span = columns * int(width);
    const int step = span > 14 * 60 ? 120 : 60;
    for (int m = int(left); m <= int(left) + span; m += 60)
        if ((m % step + step) % step == 0)
            hours->addTick(m, QStringLiteral("%1%2%3")
                                  .arg(((m / 60) % 24 + 24) % 24, 2, 10, QLatin1Char('0'))
                                  .arg(timeSeparator_, QStringLiteral("00")));
    hours->setSubTickCount(step / 60 - 1);
    xAxis->setTicker(hours);
    replot(rpQueuedReplot);
}

QString JellyfishTitle(const sky::Jellyfish& j, const QString& name) {
    return QStringLiteral("Jellyfish %1 \u00B7 %2 \u00B7 %3 minutes")
        .arg(name, j.clearOnly ? QStringLiteral("clear dark minutes") : QStringLiteral("all night"))
        .arg(j.counted);
}
