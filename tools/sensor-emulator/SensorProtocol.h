// SPDX-License-Identifier: GPL-3.0-or-later
// The sensor's side of its request/reply protocol: one request in, at most one reply out.
#pragma once

#include "LightModel.h"

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

// How the sensor answers: fully, not at all, or one byte short.
enum class ReplyMode { Normal, Silent, Short };

// answer() runs on the USB emulation's thread; the mode and the counters may be used
// from any thread.
class SensorProtocol {
public:
    explicit SensorProtocol(LightModel& model)
        : model_(model) {}

    void setMode(ReplyMode mode) { mode_ = mode; }
    ReplyMode mode() const { return mode_; }

    // The reply to `request` at `elapsed` seconds since start, or nothing when the
    // sensor does not answer (unknown request, or silent).
    std::optional<std::vector<std::uint8_t>> answer(const std::uint8_t* request, std::size_t length,
                                                    double elapsed);

    // Requests answered so far, by kind.
    std::uint64_t lightReplies() const { return lightReplies_; }
    std::uint64_t temperatureReplies() const { return temperatureReplies_; }

    // 'T' reply value: 1/16 degree steps, left-aligned in 16 bits (so degrees times 128).
    static std::int16_t rawTemperature(double celsius);

private:
    LightModel& model_;
    std::atomic<ReplyMode> mode_ = ReplyMode::Normal;
    bool ledOn_ = false;
    std::atomic<std::uint64_t> lightReplies_ = 0;
    std::atomic<std::uint64_t> temperatureReplies_ = 0;
};
