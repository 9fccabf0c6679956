// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/station/AcquisitionCycle.h"

#include "core/text/DateTimeValue.h"
#include "core/text/LocalClock.h"
#include "sensor/PICUSBClass.h"

#include <cfenv>
#include <cmath>

AcquisitionCycle::AcquisitionCycle(LocalClock& clock, RecordHandOver& handOver)
    : clock_(clock)
    , handOver_(handOver)
    , fluxSum_(kSecondsPerDay, 0.0)
    , fluxCount_(kSecondsPerDay, 0.0) {}

void AcquisitionCycle::Begin() {
    flux_ = 0;
    temperature_ = kStartTemperature;
    currentTime_ = clock_.Now();
    lastSecond_ = -1;
}

bool AcquisitionCycle::DeviceActive() const {
    return device_ != nullptr && device_->GetActive();
}

void AcquisitionCycle::UpdateStatusText() {
    statusText_ = DeviceActive() ? "Ok" : "Error";
}

std::int32_t AcquisitionCycle::GainFactor(std::int32_t range) {
    switch (range) {
    case 1:
        return 120;
    case 2:
        return 8;
    case 3:
        return 4;
    case 4:
        return 2;
    case 5:
        return 1;
    default:
        return 0;
    }
}

std::int32_t AcquisitionCycle::RoundMean(double mean) {
    // The default rounding mode rounds halves to the even neighbour.
    return static_cast<std::int32_t>(std::nearbyint(mean));
}

void AcquisitionCycle::Pass() {
    currentTime_ = clock_.Now();
    const std::int32_t s = SecondOfDay(currentTime_);
    flux_ = 0;
    std::int32_t range = 0;

    if (DeviceActive()) {
        currentTime_ = clock_.Now(); // the time this pass carries; s stays as read above
        const std::int32_t count = device_->GetLight();
        range = device_->GetRange();
        flux_ = count * GainFactor(range);
        fluxSum_[s] += flux_;
        fluxCount_[s] += 1;
        temperature_ = device_->GetTemperature();
    }

    const std::int32_t completed = lastSecond_;
    // The pass's second is taken before any consumer can fail, so a failing consumer never
    // leaves its sums behind to be added into the same second of the next day.
    lastSecond_ = s;
    if (s != completed && completed >= 0 && fluxCount_[completed] > 0) {
        SecondRecord record;
        record.timeStamp = currentTime_;
        record.temperature = temperature_;
        record.mean = RoundMean(fluxSum_[completed] / fluxCount_[completed]);
        record.range = range;
        record.second = completed;
        record.newSecond = s;
        record.deviceActive = DeviceActive();
        fluxSum_[completed] = 0;
        fluxCount_[completed] = 0;
        handOver_.TakeRecord(record);
    }
    UpdateStatusText();
}

bool AcquisitionCycle::Reconnect() {
    if (device_ == nullptr) return false;
    if (!device_->GetActive()) device_->SetActive(true);
    return device_->GetActive();
}
