// SPDX-License-Identifier: GPL-3.0-or-later
// The replies a sensor has made and nobody has read yet. They leave in the order they
// were made, each once its hold is over: a held reply keeps the later ones behind it.
// Replies stay until they are read or the device is reset or unplugged, so a reader
// that gave up on a late reply gets it with its next read, as with the real sensor.
//
// Not locked: the front end that owns the queue guards it.
#pragma once

#include "SensorProtocol.h"

#include <chrono>
#include <cstdint>
#include <deque>
#include <optional>
#include <vector>

class ReplyQueue {
public:
    using Clock = std::chrono::steady_clock;
    // A sensor keeps only a few replies; more than that means nobody is reading, and
    // the newest are lost.
    static constexpr std::size_t kCapacity = 4;

    // Queues a reply made at `now`; it can be read from now + its hold.
    void push(SensorReply reply, Clock::time_point now);
    // The oldest reply, if it can be read at `now`.
    std::optional<std::vector<std::uint8_t>> take(Clock::time_point now);
    // When the oldest reply can be read; nothing when the queue is empty.
    std::optional<Clock::time_point> nextReady() const;
    // A reset or an unplug: every reply is lost, held ones too.
    void clear() { replies_.clear(); }
    std::size_t size() const { return replies_.size(); }

private:
    struct Queued {
        std::vector<std::uint8_t> bytes;
        Clock::time_point ready;
    };
    std::deque<Queued> replies_;
};
