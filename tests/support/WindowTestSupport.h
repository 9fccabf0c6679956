// SPDX-License-Identifier: GPL-3.0-or-later
// What the window tests share: a window on a scripted sensor with a clock the test sets,
// an error reporter that records, a temporary data directory, and a recorder of restart
// requests; and the window's widgets found by their names.
#pragma once

#include "FakeClock.h"
#include "FakePipeLibrary.h"
#include "RecordedErrors.h"
#include "SensorReplies.h"
#include "app/UMain.h"
#include "core/NocturoError.h"

#include <QAction>
#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QRadioButton>
#include <QSlider>
#include <QStatusBar>
#include <QTabWidget>
#include <QTemporaryDir>

#include <memory>
#include <string>
#include <vector>

// A widget of the window by its object name; fails the test when there is none.
template <class Widget> Widget& Find(const QObject& window, const char* name) {
    Widget* widget = window.findChild<Widget*>(QString::fromLatin1(name));
    if (widget == nullptr) throw std::logic_error(std::string("no widget named ") + name);
    return *widget;
}
// Status bar panel 0 to 4.
inline QLabel& Panel(const QObject& window, int index) {
    const QByteArray name = "SBInfoPanel" + QByteArray::number(index);
    return Find<QLabel>(window, name.constData());
}

// The window's components, found by the names a user's tools would see.
struct WindowWidgets {
    explicit WindowWidgets(const QObject& w)
        : MainMenu1(&Find<QMenuBar>(w, "MainMenu1"))
        , File1(&Find<QMenu>(w, "File1"))
        , Plot1(&Find<QMenu>(w, "Plot1"))
        , MIOpen(&Find<QAction>(w, "MIOpen"))
        , MIClose(&Find<QAction>(w, "MIClose"))
        , MIExit(&Find<QAction>(w, "MIExit"))
        , MILogarithmic(&Find<QAction>(w, "MILogarithmic"))
        , MIClear(&Find<QAction>(w, "MIClear"))
        , PageControl1(&Find<QTabWidget>(w, "PageControl1"))
        , TSPlot(&Find<QWidget>(w, "TSPlot"))
        , TSData(&Find<QWidget>(w, "TSData"))
        , TSSettings(&Find<QWidget>(w, "TSSettings"))
        , Memo1(&Find<QPlainTextEdit>(w, "Memo1"))
        , LSendDelay(&Find<QLabel>(w, "LSendDelay"))
        , TBSendDelay(&Find<QSlider>(w, "TBSendDelay"))
        , LReceiveDelay(&Find<QLabel>(w, "LReceiveDelay"))
        , TBReceiveDelay(&Find<QSlider>(w, "TBReceiveDelay"))
        , RGFileFormat(&Find<QGroupBox>(w, "RGFileFormat"))
        , RBFixedSpaced(&Find<QRadioButton>(w, "RBFixedSpaced"))
        , RBCommaSeparated(&Find<QRadioButton>(w, "RBCommaSeparated"))
        , GBCalibration(&Find<QGroupBox>(w, "GBCalibration"))
        , LFormula(&Find<QLabel>(w, "LFormula"))
        , LParamA(&Find<QLabel>(w, "LParamA"))
        , EParamA(&Find<QLineEdit>(w, "EParamA"))
        , LParamB(&Find<QLabel>(w, "LParamB"))
        , EParamB(&Find<QLineEdit>(w, "EParamB"))
        , LParamC(&Find<QLabel>(w, "LParamC"))
        , EParamC(&Find<QLineEdit>(w, "EParamC"))
        , LBreakpoint(&Find<QLabel>(w, "LBreakpoint"))
        , EBreakPoint(&Find<QLineEdit>(w, "EBreakPoint"))
        , CBReboot(&Find<QCheckBox>(w, "CBReboot"))
        , SBInfo(&Find<QStatusBar>(w, "SBInfo")) {}

    QMenuBar* MainMenu1;
    QMenu* File1;
    QMenu* Plot1;
    QAction* MIOpen;
    QAction* MIClose;
    QAction* MIExit;
    QAction* MILogarithmic;
    QAction* MIClear;
    QTabWidget* PageControl1;
    QWidget* TSPlot;
    QWidget* TSData;
    QWidget* TSSettings;
    QPlainTextEdit* Memo1;
    QLabel* LSendDelay;
    QSlider* TBSendDelay;
    QLabel* LReceiveDelay;
    QSlider* TBReceiveDelay;
    QGroupBox* RGFileFormat;
    QRadioButton* RBFixedSpaced;
    QRadioButton* RBCommaSeparated;
    QGroupBox* GBCalibration;
    QLabel* LFormula;
    QLabel* LParamA;
    QLineEdit* EParamA;
    QLabel* LParamB;
    QLineEdit* EParamB;
    QLabel* LParamC;
    QLineEdit* EParamC;
    QLabel* LBreakpoint;
    QLineEdit* EBreakPoint;
    QCheckBox* CBReboot;
    QStatusBar* SBInfo;
};

struct WindowRig {
    FakePipeLibrary pipes;
    FakeClock clock{{2009, 1, 26, 15, 37, 30, 250}};
    RecordedErrors recorded;
    QTemporaryDir dir;
    RegionalSettings regional;
    std::unique_ptr<TForm1> form;
    std::vector<std::uint32_t> exitRequests; // flags of every restart asked for
    std::function<void()> onExitRequest;     // runs as a restart is asked for

    // ownErrorBox: errors reach the window's error box instead of the record.
    explicit WindowRig(bool runPasses = false, bool ownErrorBox = false,
                       QString dataDirectory = {}) {
        pipes.setReply('L', LightReply(10, 1));
        pipes.setReply('T', TemperatureReply(kSixteenths21_5));
        TForm1Services services{.pipes = pipes,
                                .pipeEvents = nullptr,
                                .clock = clock,
                                .errors = ownErrorBox ? nullptr : &recorded,
                                .runPasses = runPasses,
                                .dataDirectory =
                                    dataDirectory.isEmpty() ? dir.path() : dataDirectory,
                                .regionalSettings = [this] { return regional; },
                                .systemExit =
                                    [this](std::uint32_t flags) {
                                        if (onExitRequest) onExitRequest();
                                        exitRequests.push_back(flags);
                                        return false;
                                    }};
        form = std::make_unique<TForm1>(services);
    }
    Station& station() { return form->GetStation(); }
    WindowWidgets ui() const { return WindowWidgets(*form); }
};
