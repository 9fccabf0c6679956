// SPDX-License-Identifier: GPL-3.0-or-later
// Runs acquisition passes from the event loop, one after another without pause while the
// sensor is connected. While it is not, and the pass's reconnection attempt failed, the
// next pass waits for the sensor's arrival or RetryIntervalMs, whichever comes first, so a
// station without its sensor does not spin a core: about ten passes a second are as many
// as the running clock needs, an arrival reported by hotplug events is picked up at once,
// and where there are none the pipe library looks on the bus at most that often too.
// Passes never run inside another handler: they start from the event loop's own timer
// dispatch. While the sensor is connected, passes run back to back for up to BurstMs
// before the loop takes its turn: a turn costs a poll of the loop's descriptors, a timer
// restart and, in the window, a repaint, which against a fast sensor is a good share of a
// pass; input, timers and device events wait no longer than BurstMs and one pass.
#pragma once

#include <QObject>
#include <QTimer>

#include <functional>
#include <memory>
#include <vector>

class ErrorReporter;
class QSocketNotifier;
namespace usbapi {
class PipeEventSource;
}

class PassDriver : public QObject {
public:
    static constexpr int kRetryIntervalMs = 100;
    static constexpr int kBurstMs = 10;
    // Runs one pass; true when the next pass may follow at once (the sensor is connected).
    using PassFunction = std::function<bool()>;

    PassDriver(PassFunction pass, ErrorReporter& errors, usbapi::PipeEventSource* events,
               QObject* parent = nullptr);
    ~PassDriver() override;

    void Start();
    void Stop();
    bool Running() const { return running_; }
    // Milliseconds until the next pass is due (0: at once), -1 when stopped.
    int NextPassDelay() const { return running_ ? timer_.interval() : -1; }

private:
    void RunPass();
    void DeviceArrived();
    void EventFdsChanged();
    void WatchEventFds();

    PassFunction pass_;
    ErrorReporter& errors_;
    usbapi::PipeEventSource* events_;
    QTimer timer_;
    bool running_ = false;
    std::vector<std::unique_ptr<QSocketNotifier>> notifiers_;
};
