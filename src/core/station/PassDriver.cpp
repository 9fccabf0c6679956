// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/station/PassDriver.h"

#include "core/NocturoError.h"
#include "sensor/UsbAPI.h"

#include <QElapsedTimer>
#include <QSocketNotifier>
#include <poll.h>

PassDriver::PassDriver(PassFunction pass, ErrorReporter& errors, usbapi::PipeEventSource* events,
                       QObject* parent)
    : QObject(parent)
    , pass_(std::move(pass))
    , errors_(errors)
    , events_(events) {
    timer_.setSingleShot(true);
    // Never early: the pipe library's own pause between bus scans is as long as the retry
    // interval, and a retry that came a little early would find the scan still held back.
    timer_.setTimerType(Qt::PreciseTimer);
    connect(&timer_, &QTimer::timeout, this, &PassDriver::RunPass);
    if (events_ != nullptr) {
        events_->SetCallbacks([this] { DeviceArrived(); }, [this] { EventFdsChanged(); });
        WatchEventFds();
    }
}

PassDriver::~PassDriver() {
    if (events_ != nullptr) events_->SetCallbacks({}, {});
}

void PassDriver::Start() {
    running_ = true;
    timer_.start(0);
}

void PassDriver::Stop() {
    running_ = false;
    timer_.stop();
}

void PassDriver::RunPass() {
    if (!running_) return;
    bool immediate = false;
    QElapsedTimer burst;
    burst.start();
    do {
        try {
            immediate = pass_();
        } catch (const std::exception& e) {
            errors_.ShowError(e.what());
            break; // the loop takes its turn after an error
        }
    } while (immediate && running_ && !burst.hasExpired(kBurstMs));
    if (running_) timer_.start(immediate ? 0 : kRetryIntervalMs);
}

void PassDriver::DeviceArrived() {
    if (running_ && timer_.interval() != 0) timer_.start(0);
}

void PassDriver::EventFdsChanged() {
    // A descriptor may be closed already: stop watching at once, so the loop never polls a
    // closed fd, and rebuild from the loop, since this may run inside a notifier's handler.
    for (auto& notifier : notifiers_)
        notifier->setEnabled(false);
    QTimer::singleShot(0, this, &PassDriver::WatchEventFds);
}

void PassDriver::WatchEventFds() {
    notifiers_.clear();
    if (events_ == nullptr) return;
    for (const auto& watched : events_->Fds()) {
        auto add = [&](QSocketNotifier::Type type) {
            auto notifier = std::make_unique<QSocketNotifier>(watched.fd, type);
            connect(notifier.get(), &QSocketNotifier::activated, this,
                    [this] { events_->HandleEvents(); });
            notifiers_.push_back(std::move(notifier));
        };
        if (watched.events & POLLIN) add(QSocketNotifier::Read);
        if (watched.events & POLLOUT) add(QSocketNotifier::Write);
    }
}
