// SPDX-License-Identifier: GPL-3.0-or-later
#include "ReplyQueue.h"

#include <algorithm>

void ReplyQueue::push(SensorReply reply, Clock::time_point now) {
    if (replies_.size() >= kCapacity) return;
    // Made in order, ready in order: a reply never overtakes a held one.
    Clock::time_point ready = now + reply.hold;
    if (!replies_.empty()) ready = std::max(ready, replies_.back().ready);
    replies_.push_back({std::move(reply.bytes), ready});
}

std::optional<std::vector<std::uint8_t>> ReplyQueue::take(Clock::time_point now) {
    if (replies_.empty() || replies_.front().ready > now) return std::nullopt;
    std::vector<std::uint8_t> bytes = std::move(replies_.front().bytes);
    replies_.pop_front();
    return bytes;
}

std::optional<ReplyQueue::Clock::time_point> ReplyQueue::nextReady() const {
    if (replies_.empty()) return std::nullopt;
    return replies_.front().ready;
}
