// SPDX-License-Identifier: GPL-3.0-or-later
// The acquisition cycle: one pass reads the sensor once, adds the range-scaled count to
// the sums of the current second of the day, and, when the second has changed, turns the
// previous second into one record for the hand-over.
#pragma once

#include "core/station/SecondRecord.h"

#include <cstdint>
#include <string>
#include <vector>

class LocalClock;
class TPICUSB;

class AcquisitionCycle {
public:
    static constexpr std::int32_t kSecondsPerDay = 86400;
    static constexpr float kStartTemperature = -1000.0f;

    AcquisitionCycle(LocalClock& clock, RecordHandOver& handOver);

    // Start-up: Flux 0, Temperature -1000, CurrentTime from the clock, no second seen yet.
    void Begin();
    // The device is created after Begin; passes need it.
    void SetDevice(TPICUSB* device) { device_ = device; }
    // Sets StatusText from the device state.
    void UpdateStatusText();

    // Reads the sensor and makes the record of a completed second. A consumer that throws
    // ends the pass, but the pass's second has become LastSecond by then.
    void Pass();
    // One reconnection attempt when the device is inactive; true when it is active now.
    bool Reconnect();

    static std::int32_t GainFactor(std::int32_t range);
    // Nearest integer, ties to the even one.
    static std::int32_t RoundMean(double mean);

    const std::string& StatusText() const { return statusText_; }
    double CurrentTime() const { return currentTime_; }
    float Temperature() const { return temperature_; }
    std::int32_t Flux() const { return flux_; }
    std::int32_t LastSecond() const { return lastSecond_; }
    double FluxSum(std::int32_t second) const { return fluxSum_[second]; }
    double FluxCount(std::int32_t second) const { return fluxCount_[second]; }
    bool DeviceActive() const;

private:
    LocalClock& clock_;
    RecordHandOver& handOver_;
    TPICUSB* device_ = nullptr;

    std::string statusText_ = "Error";
    double currentTime_ = 0;
    float temperature_ = kStartTemperature;
    std::int32_t flux_ = 0;
    std::int32_t lastSecond_ = -1;
    std::vector<double> fluxSum_; // allocated once, never resized
    std::vector<double> fluxCount_;
};
