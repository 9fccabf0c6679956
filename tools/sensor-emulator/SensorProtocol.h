// SPDX-License-Identifier: GPL-3.0-or-later
// The sensor's side of its request/reply protocol: one request in, at most one reply out.
#pragma once

#include "LightModel.h"

#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

// How the sensor answers: fully, not at all, or one byte short.
enum class ReplyMode { Normal, Silent, Short };

// One reply, and how long the sensor takes before it puts the reply on its IN endpoint.
struct SensorReply {
    std::vector<std::uint8_t> bytes;
    std::chrono::milliseconds hold{0};
};

// answer() runs on the USB emulation's thread; the mode and the counters may be used
// from any thread.
class SensorProtocol {
public:
    explicit SensorProtocol(LightModel& model)
        : model_(model) {}

    void setMode(ReplyMode mode) { mode_ = mode; }
    ReplyMode mode() const { return mode_; }

    // Holds the next reply for `hold` before it is ready to be read: a reply that comes
    // after the reader's time-out.
    void holdNextReply(std::chrono::milliseconds hold) { nextHold_ = hold.count(); }

    // The reply to `request` at `elapsed` seconds since start, or nothing when the
    // sensor does not answer (unknown request, or silent).
    std::optional<SensorReply> answer(const std::uint8_t* request, std::size_t length,
                                      double elapsed);

    // Requests answered so far, by kind.
    std::uint64_t lightReplies() const { return lightReplies_; }
    std::uint64_t temperatureReplies() const { return temperatureReplies_; }

    // 'T' reply value: 1/16 degree steps, left-aligned in 16 bits (so degrees times 128).
    static std::int16_t rawTemperature(double celsius);

private:
    LightModel& model_;
    std::atomic<ReplyMode> mode_ = ReplyMode::Normal;
    std::atomic<std::chrono::milliseconds::rep> nextHold_ = 0;
    bool ledOn_ = false;
    std::atomic<std::uint64_t> lightReplies_ = 0;
    std::atomic<std::uint64_t> temperatureReplies_ = 0;
};
