// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/StatusPanels.h"

#include "core/station/LinkStatusHint.h"
#include "core/station/Station.h"
#include "core/text/Formats.h"
#include "sensor/PICUSBClass.h"

#include <QFontMetrics>
#include <QLabel>
#include <QStatusBar>

#include <algorithm>

namespace {

constexpr int kPanelIndent = 2;

// The status bar repaints for the running clock alone at most every 100 ms: the passes come
// far faster than an eye can read, and each repaint costs more than a pass (on X, a station
// without its sensor would otherwise spend about 2% of a core on the clock).
constexpr double kClockRefreshDays = 100.0 / 86'400'000.0;

const char* const kInitialTexts[StatusPanels::kCount] = {"DLL Version: unknown", "Status: Error",
                                                         "2008-27-12 05:12:00", "Temperature: n/a",
                                                         "Flux: n/a"};

} // namespace

StatusPanels::StatusPanels(QStatusBar& bar, const QFont& font, int windowWidth)
    : bar_(bar) {
    // The panels are placed by Place rather than by the status bar's own layout, which
    // would add margins and spacing.
    for (int i = 0; i < kCount; ++i) {
        auto* panel = new QLabel(QString::fromLatin1(kInitialTexts[i]), &bar_);
        panel->setObjectName(QStringLiteral("SBInfoPanel%1").arg(i));
        panel->setFrameStyle(QFrame::Panel | QFrame::Sunken);
        panel->setIndent(kPanelIndent);
        panels_[i] = panel;
    }
    // The clock is the widest text: at the window's opening width it must fit its panel
    // whole, so the panels' font gives up half points until it does.
    QFont panelFont = font;
    const int room = windowWidth / kCount - 2 * panels_[0]->frameWidth() - 2 * kPanelIndent;
    while (QFontMetrics(panelFont).horizontalAdvance(QStringLiteral("0000-00-00 00:00:00.000")) >
               room &&
           panelFont.pointSizeF() > 6)
        panelFont.setPointSizeF(panelFont.pointSizeF() - 0.5);
    for (QLabel* panel : panels_)
        panel->setFont(panelFont);
    bar_.setFixedHeight(std::max(19, QFontMetrics(panelFont).height() + 6));
    Place();
}

void StatusPanels::ShowVersion(const QString& version) {
    panels_[0]->setText(QStringLiteral("DLL Version: ") + version);
}

StatusPanels::Reading StatusPanels::Take(const Station& station) {
    const AcquisitionCycle& cycle = station.Cycle();
    const TPICUSB* device = station.Device();
    Reading reading;
    reading.statusText = cycle.StatusText();
    reading.hasDevice = device != nullptr;
    reading.active = device != nullptr && device->GetActive();
    reading.openFailure = device != nullptr ? device->LastOpenFailure() : usbapi::OpenFailure::None;
    reading.temperature = cycle.Temperature();
    reading.flux = cycle.Flux();
    reading.time = cycle.CurrentTime();
    return reading;
}

void StatusPanels::Show(const Station& station) {
    Show(Take(station), station.Regional());
}

void StatusPanels::Show(const Reading& reading, const RegionalSettings& regional) {
    // Labels ignore a text they already show, so only a changed panel repaints.
    bool changed = false;
    auto show = [&](int panel, const QString& text) {
        if (panels_[panel]->text() == text) return;
        panels_[panel]->setText(text);
        changed = true;
    };
    show(1, QStringLiteral("Status: ") + QString::fromStdString(reading.statusText));
    // Why the link is down, as far as the pipe library can tell, for a look with the mouse.
    const QString hint =
        reading.hasDevice ? LinkStatusHint(reading.active, reading.openFailure) : QString();
    if (panels_[1]->toolTip() != hint) panels_[1]->setToolTip(hint);
    show(3, TemperatureText(reading.temperature, regional));
    show(4, FluxText(reading.flux));
    const double now = reading.time;
    if (changed || now < clockShown_ || now - clockShown_ >= kClockRefreshDays) {
        clockShown_ = now;
        panels_[2]->setText(
            FormatDateTime(now, QStringLiteral("yyyy-mm-dd hh:nn:ss.zzz"), regional));
    }
}

void StatusPanels::Place() {
    const int width = bar_.width() / kCount;
    const int height = bar_.height();
    // A fixed size also keeps a panel's new text from asking the bar to lay itself out
    // again, which would repaint every panel whenever the clock ticks.
    for (int i = 0; i < kCount; ++i) {
        panels_[i]->setFixedSize(width, height);
        panels_[i]->move(i * width, 0);
    }
}
