// TForm1: the main window. Thin glue: it owns the sensor component, the acquisition
// cycle and the pass driver, shows their state, and hands each second record on.
#pragma once

#include "AcquisitionCycle.h"
#include "NocturoError.h"
#include "SecondRecord.h"

#include <QMainWindow>
#include <QString>

#include <memory>

class LocalClock;
class PassDriver;
class PlotPage;
class TPICUSB;
class QMessageBox;
namespace usbapi {
class PipeLibrary;
class PipeEventSource;
} // namespace usbapi
namespace Ui {
class TForm1;
}

// What the window works with; tests put fakes in.
struct TForm1Services {
    usbapi::PipeLibrary& pipes;
    usbapi::PipeEventSource* pipeEvents = nullptr;
    LocalClock& clock;
    ErrorReporter* errors = nullptr; // nullptr: the window's own error box
    bool runPasses = true;           // false: tests call IdleHandler themselves
};

class TForm1 : public QMainWindow, private RecordHandOver, private ErrorReporter {
public:
    explicit TForm1(const TForm1Services& services, QWidget* parent = nullptr);
    ~TForm1() override;

    // One acquisition pass with its status refresh and reconnection attempt; true when the
    // sensor is connected and the next pass may follow at once.
    bool IdleHandler();
    void UpdateStatusBar();

    TPICUSB* Device() const { return device_.get(); }
    const AcquisitionCycle& Cycle() const { return cycle_; }
    Ui::TForm1& Form() { return *ui_; }
    PlotPage& Plot() { return *plot_; }
    // The one place errors are shown.
    ErrorReporter& Errors() { return errors_ != nullptr ? *errors_ : *this; }

private:
    void FormCreate();
    void FormDestroy();
    void MIExitClick();
    void SetUpPlotPage();
    void TakeRecord(const SecondRecord& record) override;
    void ShowError(const std::string& message) override;

    std::unique_ptr<Ui::TForm1> ui_;
    TForm1Services services_;
    ErrorReporter* errors_;
    AcquisitionCycle cycle_;
    std::unique_ptr<TPICUSB> device_;
    std::unique_ptr<PassDriver> driver_;
    QMessageBox* errorBox_ = nullptr;
    PlotPage* plot_ = nullptr;
};
