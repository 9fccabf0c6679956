// SPDX-License-Identifier: GPL-3.0-or-later
// The main window as a user finds it: its components and start texts, the status bar's
// panels, and the settings page's track bars and calibration entries.
#include "WindowTestSupport.h"
#include "app/StatusPanels.h"

#include "sensor/PICUSBClass.h"

#include <QFocusEvent>
#include <QFontInfo>
#include <QLabel>
#include <QtTest>

class WindowTest : public QObject {
    Q_OBJECT

private slots:
    void windowMenusAndPages();
    void settingsPageLayout();
    void startTextsAndHiddenRefresh();
    void statusPanelTexts();
    void statusPanelsAreAFifthOfTheBar();
    void trackBarKeysSetDelaysAndCaptions();
    void calibrationEntriesTidiedWhenLeft();
    void acceleratorLettersMoveTheFocus();
    void regionalSettingsReadAgainOnLocaleChange();
    void statusTooltipSaysWhyTheLinkIsDown();
};

void WindowTest::statusTooltipSaysWhyTheLinkIsDown() {
    WindowRig station;
    TForm1& form = *station.form;
    form.show();
    form.IdleHandler();
    QVERIFY(Panel(form, 1).toolTip().isEmpty());

    station.pipes.attached = false; // unplugged: the next reading fails
    station.pipes.failure = usbapi::OpenFailure::AccessDenied;
    form.IdleHandler(); // the reading fails; the reconnection at the pass's end is refused
    QCOMPARE(Panel(form, 1).text(), QStringLiteral("Status: Error"));
    QVERIFY(Panel(form, 1).toolTip().contains(QStringLiteral("does not answer")));
    form.IdleHandler();
    QVERIFY(Panel(form, 1).toolTip().contains(QStringLiteral("70-nocturo.rules")));

    // The panel shows the outcome of the previous pass's reconnection attempt.
    station.pipes.failure = usbapi::OpenFailure::NoDevice;
    form.IdleHandler();
    form.IdleHandler();
    QVERIFY(Panel(form, 1).toolTip().contains(QStringLiteral("No sensor found")));
    station.pipes.failure = usbapi::OpenFailure::Busy;
    form.IdleHandler();
    form.IdleHandler();
    QVERIFY(Panel(form, 1).toolTip().contains(QStringLiteral("in use")));

    station.pipes.attached = true;
    form.IdleHandler(); // reconnected at the end of the last pass
    form.IdleHandler();
    QVERIFY(Panel(form, 1).toolTip().isEmpty());
}

void WindowTest::windowMenusAndPages() {
    WindowRig station;
    TForm1& form = *station.form;
    const WindowWidgets ui(form);
    QCOMPARE(form.objectName(), QStringLiteral("Form1"));
    QCOMPARE(form.windowTitle(), QStringLiteral("Nocturo"));
    QCOMPARE(form.size(), QSize(632, 426));
    QCOMPARE(form.font().pointSize(), 8);
    QVERIFY(QStringList({"Tahoma", "Liberation Sans", "DejaVu Sans"})
                .contains(QFontInfo(form.font()).family()));

    QCOMPARE(ui.File1->title(), QStringLiteral("&Sensor"));
    const QList<QAction*> sensor = ui.File1->actions();
    QCOMPARE(sensor.size(), 4);
    QCOMPARE(sensor[0], ui.MIOpen);
    QCOMPARE(ui.MIOpen->text(), QStringLiteral("Connect"));
    QCOMPARE(ui.MIClose->text(), QStringLiteral("Disconnect"));
    QVERIFY(sensor[2]->isSeparator());
    QCOMPARE(sensor[2]->objectName(), QStringLiteral("N1"));
    QCOMPARE(sensor[3], ui.MIExit);
    QCOMPARE(ui.MIExit->text(), QStringLiteral("Exit"));
    QCOMPARE(ui.Plot1->title(), QStringLiteral("Plot"));
    QCOMPARE(ui.Plot1->actions(), QList<QAction*>({ui.MILogarithmic, ui.MIClear}));
    QVERIFY(ui.MILogarithmic->isCheckable());
    QVERIFY(ui.MILogarithmic->isChecked());
    QCOMPARE(ui.MIClear->text(), QStringLiteral("Clear"));

    QCOMPARE(ui.PageControl1->count(), 3);
    QCOMPARE(ui.PageControl1->widget(0), ui.TSPlot);
    QCOMPARE(ui.PageControl1->tabText(0), QStringLiteral("Plot"));
    QCOMPARE(ui.PageControl1->tabText(1), QStringLiteral("Data"));
    QCOMPARE(ui.PageControl1->tabText(2), QStringLiteral("Settings"));
    QCOMPARE(ui.PageControl1->currentIndex(), 0);
    QVERIFY(ui.TSPlot->layout() != nullptr);

    QVERIFY(ui.Memo1->isReadOnly());
    QCOMPARE(ui.Memo1->verticalScrollBarPolicy(), Qt::ScrollBarAlwaysOn);
    QVERIFY(QFontInfo(ui.Memo1->font()).fixedPitch());
    QVERIFY(!ui.Memo1->isUndoRedoEnabled());
}

void WindowTest::settingsPageLayout() {
    WindowRig station;
    const WindowWidgets ui = station.ui();
    const struct {
        QWidget* widget;
        QRect geometry;
    } placed[] = {
        {ui.TBSendDelay, {24, 43, 185, 45}},    {ui.TBReceiveDelay, {24, 113, 185, 45}},
        {ui.RGFileFormat, {28, 188, 185, 105}}, {ui.GBCalibration, {288, 43, 297, 217}},
        {ui.CBReboot, {288, 276, 290, 17}},     {ui.EParamA, {88, 61, 121, 21}},
        {ui.EParamB, {88, 93, 121, 21}},        {ui.EParamC, {88, 125, 121, 21}},
        {ui.EBreakPoint, {88, 157, 121, 21}},
    };
    for (const auto& p : placed)
        QCOMPARE(p.widget->geometry(), p.geometry);
    QCOMPARE(ui.LSendDelay->pos(), QPoint(24, 24));
    QCOMPARE(ui.LReceiveDelay->pos(), QPoint(24, 94));
    QCOMPARE(ui.LFormula->pos(), QPoint(16, 24));
    QCOMPARE(ui.LBreakpoint->pos(), QPoint(24, 160));
    QCOMPARE(ui.EParamA->parentWidget(), ui.GBCalibration);

    QCOMPARE(ui.LSendDelay->text(), QStringLiteral("&Send Delay: 50ms"));
    QCOMPARE(ui.LSendDelay->buddy(), ui.TBSendDelay);
    QCOMPARE(ui.LReceiveDelay->text(), QStringLiteral("&Receive Delay: 50ms"));
    QCOMPARE(ui.LReceiveDelay->buddy(), ui.TBReceiveDelay);
    for (QSlider* bar : {ui.TBSendDelay, ui.TBReceiveDelay}) {
        QCOMPARE(bar->orientation(), Qt::Horizontal);
        QCOMPARE(bar->minimum(), 50);
        QCOMPARE(bar->maximum(), 1000);
        QCOMPARE(bar->value(), 50);
        QCOMPARE(bar->singleStep(), 10);
        QCOMPARE(bar->pageStep(), 100);
        QCOMPARE(bar->tickInterval(), 100);
    }
    QCOMPARE(ui.RGFileFormat->title(), QStringLiteral("&File Format"));
    QCOMPARE(ui.RBFixedSpaced->text(), QStringLiteral("Fixed Spaced"));
    QVERIFY(ui.RBFixedSpaced->isChecked());
    QCOMPARE(ui.RBCommaSeparated->text(), QStringLiteral("Comma Separated"));
    QCOMPARE(ui.GBCalibration->title(), QStringLiteral("Calibration Parameters"));
    QCOMPARE(ui.LFormula->text(),
             QStringLiteral("Lux = A*counts+B*exp(counts/C) ... counts>Breakpoint"));
    QCOMPARE(ui.LParamA->text(), QStringLiteral("A ="));
    QCOMPARE(ui.LParamC->text(), QStringLiteral("C ="));
    QCOMPARE(ui.EParamA->text(), QStringLiteral("2.0e-7"));
    QCOMPARE(ui.EParamB->text(), QStringLiteral("0.7e-5"));
    QCOMPARE(ui.EParamC->text(), QStringLiteral("1.0e5"));
    QCOMPARE(ui.EBreakPoint->text(), QStringLiteral("754717."));
    QCOMPARE(ui.CBReboot->text(), QStringLiteral("Reboot 30 seconds after failure"));
    QVERIFY(!ui.CBReboot->isChecked());

    // Tab goes through the page in the table's order.
    const QList<QWidget*> order = {ui.TBSendDelay,      ui.TBReceiveDelay, ui.RBFixedSpaced,
                                   ui.RBCommaSeparated, ui.EParamA,        ui.EParamB,
                                   ui.EParamC,          ui.EBreakPoint,    ui.CBReboot};
    for (qsizetype i = 0; i + 1 < order.size(); ++i) {
        QWidget* next = order[i]->nextInFocusChain();
        while (next->focusPolicy() == Qt::NoFocus)
            next = next->nextInFocusChain();
        QCOMPARE(next, order[i + 1]);
    }
}

void WindowTest::startTextsAndHiddenRefresh() {
    WindowRig station;
    TForm1& form = *station.form;
    QCOMPARE(Panel(form, 0).text(), QStringLiteral("DLL Version: 1.0.26.0"));
    QCOMPARE(Panel(form, 1).text(), QStringLiteral("Status: Error"));
    QCOMPARE(Panel(form, 2).text(), QStringLiteral("2008-27-12 05:12:00"));
    QCOMPARE(Panel(form, 3).text(), QStringLiteral("Temperature: n/a"));
    QCOMPARE(Panel(form, 4).text(), QStringLiteral("Flux: n/a"));
    // A pass while the window is not shown leaves the panels alone.
    form.IdleHandler();
    QCOMPARE(form.GetStation().Cycle().StatusText(), std::string("Ok"));
    QCOMPARE(Panel(form, 1).text(), QStringLiteral("Status: Error"));
    QVERIFY(station.recorded.messages.empty());
}

void WindowTest::statusPanelTexts() {
    WindowRig station;
    TForm1& form = *station.form;
    form.show();
    form.IdleHandler();
    QCOMPARE(Panel(form, 1).text(), QStringLiteral("Status: Ok"));
    QCOMPARE(Panel(form, 2).text(), QStringLiteral("2009-01-26 15:37:30.250"));
    QCOMPARE(Panel(form, 3).text(), QStringLiteral("Temperature:  21.5 °C"));
    // Count 10 at range 1 is 1200 on the common scale.
    QCOMPARE(Panel(form, 4).text(), QStringLiteral("Flux: 1200 counts"));

    station.pipes.setReply('T', TemperatureReply(kSixteenthsM12_3));
    station.pipes.setReply('L', LightReply(0, 2));
    station.clock.Set(15, 37, 31, 5);
    form.IdleHandler();
    QCOMPARE(Panel(form, 2).text(), QStringLiteral("2009-01-26 15:37:31.005"));
    QCOMPARE(Panel(form, 3).text(), QStringLiteral("Temperature: -12.3 °C"));
    QCOMPARE(Panel(form, 4).text(), QStringLiteral("Flux: n/a"));

    // A failed reading: the link is down, the temperature is not known.
    station.pipes.queueFault(FakePipeLibrary::Fault::Timeout);
    station.pipes.attached = false;
    form.IdleHandler();
    QCOMPARE(Panel(form, 1).text(), QStringLiteral("Status: Error"));
    QCOMPARE(Panel(form, 3).text(), QStringLiteral("Temperature: n/a"));
    QCOMPARE(Panel(form, 4).text(), QStringLiteral("Flux: n/a"));

    // The clock follows the user's time separator.
    station.regional.timeSeparator = QStringLiteral(".");
    form.RegionalSettingsChanged();
    QCOMPARE(Panel(form, 2).text(), QStringLiteral("2009-01-26 15.37.31.005"));
}

void WindowTest::statusPanelsAreAFifthOfTheBar() {
    WindowRig station;
    TForm1& form = *station.form;
    form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&form));
    for (const int width : {633, 632, 700}) {
        form.resize(width, 426);
        QCOMPARE(WindowWidgets(form).SBInfo->width(), width);
        for (int i = 0; i < StatusPanels::kCount; ++i) {
            QCOMPARE(Panel(form, i).width(), width / 5);
            QCOMPARE(Panel(form, i).x(), i * (width / 5));
        }
    }
    // At the opening width the clock's text fits its panel whole.
    form.resize(632, 426);
    form.IdleHandler();
    QLabel* clock = &Panel(form, 2);
    QVERIFY(clock->fontMetrics().horizontalAdvance(clock->text()) <=
            clock->contentsRect().width() - clock->indent());
}

void WindowTest::trackBarKeysSetDelaysAndCaptions() {
    WindowRig station;
    TForm1& form = *station.form;
    const WindowWidgets ui(form);
    const TPICUSB& device = *form.GetStation().Device();
    QCOMPARE(device.GetSendDelay(), 50);
    QCOMPARE(device.GetReceiveDelay(), 50);

    // A key at the end changes nothing but still rewrites the captions, without marker.
    QTest::keyClick(ui.TBSendDelay, Qt::Key_PageDown);
    QCOMPARE(ui.TBSendDelay->value(), 50);
    QCOMPARE(ui.LSendDelay->text(), QStringLiteral("Send Delay: 50ms"));
    QCOMPARE(ui.LReceiveDelay->text(), QStringLiteral("Receive Delay: 50ms"));

    QTest::keyClick(ui.TBSendDelay, Qt::Key_PageUp);
    QCOMPARE(ui.TBSendDelay->value(), 150);
    QCOMPARE(device.GetSendDelay(), 150);
    QCOMPARE(ui.LSendDelay->text(), QStringLiteral("Send Delay: 150ms"));
    QTest::keyClick(ui.TBSendDelay, Qt::Key_Right);
    QCOMPARE(device.GetSendDelay(), 160);
    QTest::keyClick(ui.TBSendDelay, Qt::Key_Left);
    QTest::keyClick(ui.TBSendDelay, Qt::Key_Left);
    QCOMPARE(device.GetSendDelay(), 140);
    QCOMPARE(ui.LSendDelay->text(), QStringLiteral("Send Delay: 140ms"));
    for (int i = 0; i < 3; ++i)
        QTest::keyClick(ui.TBSendDelay, Qt::Key_PageDown);
    QCOMPARE(ui.TBSendDelay->value(), 50);
    for (int i = 0; i < 12; ++i)
        QTest::keyClick(ui.TBSendDelay, Qt::Key_PageUp);
    QCOMPARE(ui.TBSendDelay->value(), 1000);
    QCOMPARE(ui.LSendDelay->text(), QStringLiteral("Send Delay: 1000ms"));

    QTest::keyClick(ui.TBReceiveDelay, Qt::Key_Right);
    QCOMPARE(device.GetReceiveDelay(), 60);
    QCOMPARE(device.GetSendDelay(), 1000);
    QCOMPARE(ui.LReceiveDelay->text(), QStringLiteral("Receive Delay: 60ms"));

    // A drag ends at a position; the captions show what the device holds.
    ui.TBSendDelay->setValue(120);
    QCOMPARE(device.GetSendDelay(), 120);
    QCOMPARE(ui.LSendDelay->text(), QStringLiteral("Send Delay: 120ms"));
    QCOMPARE(ui.LReceiveDelay->text(), QStringLiteral("Receive Delay: 60ms"));
    QVERIFY(ui.LSendDelay->buddy() == ui.TBSendDelay); // the buddy stays, the letter is gone
}

namespace {
void Leave(QLineEdit* entry, Qt::FocusReason reason = Qt::TabFocusReason) {
    QFocusEvent focusOut(QEvent::FocusOut, reason);
    QApplication::sendEvent(entry, &focusOut);
}
} // namespace

void WindowTest::calibrationEntriesTidiedWhenLeft() {
    WindowRig station;
    const WindowWidgets ui = station.ui();
    Leave(ui.EParamA);
    QCOMPARE(ui.EParamA->text(), QStringLiteral("2E-7"));
    Leave(ui.EParamB);
    QCOMPARE(ui.EParamB->text(), QStringLiteral("7E-6"));
    Leave(ui.EParamC);
    QCOMPARE(ui.EParamC->text(), QStringLiteral("100000"));
    Leave(ui.EBreakPoint);
    QCOMPARE(ui.EBreakPoint->text(), QStringLiteral("754717"));
    ui.EParamA->setText(QStringLiteral("  3.25  "));
    Leave(ui.EParamA);
    QCOMPARE(ui.EParamA->text(), QStringLiteral("3.25"));
    ui.EParamB->setText(QStringLiteral("abc"));
    Leave(ui.EParamB);
    QCOMPARE(ui.EParamB->text(), QStringLiteral("0"));

    // Switching to another window or opening a menu does not leave the field.
    ui.EParamC->setText(QStringLiteral("1.50"));
    Leave(ui.EParamC, Qt::ActiveWindowFocusReason);
    Leave(ui.EParamC, Qt::PopupFocusReason);
    QCOMPARE(ui.EParamC->text(), QStringLiteral("1.50"));

    // A real move of the keyboard focus leaves it.
    TForm1& form = *station.form;
    form.show();
    ui.PageControl1->setCurrentWidget(ui.TSSettings);
    QApplication::setActiveWindow(&form);
    QVERIFY(QTest::qWaitForWindowActive(&form));
    ui.EParamC->setFocus(Qt::TabFocusReason);
    ui.EBreakPoint->setFocus(Qt::TabFocusReason);
    QCOMPARE(ui.EParamC->text(), QStringLiteral("1.5"));
    QVERIFY(station.recorded.messages.empty());
}

void WindowTest::acceleratorLettersMoveTheFocus() {
    WindowRig station;
    TForm1& form = *station.form;
    const WindowWidgets ui(form);
    form.show();
    ui.PageControl1->setCurrentWidget(ui.TSSettings);
    QApplication::setActiveWindow(&form);
    QVERIFY(QTest::qWaitForWindowActive(&form));
    ui.EParamA->setFocus();
    QTest::keyClick(&form, Qt::Key_R, Qt::AltModifier);
    QCOMPARE(QApplication::focusWidget(), ui.TBReceiveDelay);
    QTest::keyClick(&form, Qt::Key_S, Qt::AltModifier);
    QCOMPARE(QApplication::focusWidget(), ui.TBSendDelay);
    QVERIFY(QApplication::activePopupWidget() == nullptr); // the Sensor menu stays shut

    // Once a bar has moved, the captions carry no letter and the keys move nothing.
    QTest::keyClick(ui.TBSendDelay, Qt::Key_PageUp);
    ui.EParamA->setFocus();
    QTest::keyClick(&form, Qt::Key_R, Qt::AltModifier);
    QCOMPARE(QApplication::focusWidget(), ui.EParamA);
}

void WindowTest::regionalSettingsReadAgainOnLocaleChange() {
    WindowRig station;
    TForm1& form = *station.form;
    const WindowWidgets ui(form);
    station.regional.decimalSeparator = QStringLiteral(",");
    QCOMPARE(form.GetStation().Regional().decimalSeparator, QStringLiteral("."));
    QEvent localeChange(QEvent::LocaleChange);
    QApplication::sendEvent(&form, &localeChange);
    QCOMPARE(form.GetStation().Regional().decimalSeparator, QStringLiteral(","));
    QCOMPARE(form.GetStation().Log().Settings().decimalSeparator, QStringLiteral(","));

    Leave(ui.EParamA);
    QCOMPARE(ui.EParamA->text(), QStringLiteral("0")); // "2.0e-7" breaks the rule now
    ui.EParamB->setText(QStringLiteral("0,5"));
    Leave(ui.EParamB);
    QCOMPARE(ui.EParamB->text(), QStringLiteral("0,5"));
}

QTEST_MAIN(WindowTest)
#include "WindowTest.moc"
