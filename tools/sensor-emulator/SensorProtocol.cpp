// SPDX-License-Identifier: GPL-3.0-or-later
#include "SensorProtocol.h"

#include <algorithm>
#include <cmath>

std::int16_t SensorProtocol::rawTemperature(double celsius) {
    const double sixteenths = std::clamp(std::round(celsius * 16), -4096.0, 4095.0);
    return static_cast<std::int16_t>(static_cast<int>(sixteenths) * 8);
}

std::optional<SensorReply> SensorProtocol::answer(const std::uint8_t* request, std::size_t length,
                                                  double elapsed) {
    const ReplyMode mode = mode_;
    if (length == 0 || mode == ReplyMode::Silent) return std::nullopt;
    std::vector<std::uint8_t> reply;
    switch (request[0]) {
    case 'L': {
        const LightModel::Light light = model_.light(elapsed);
        reply = {static_cast<std::uint8_t>(light.count & 0xFF),
                 static_cast<std::uint8_t>(light.count >> 8), light.range};
        ++lightReplies_;
        break;
    }
    case 'T': {
        const auto raw = static_cast<std::uint16_t>(rawTemperature(model_.temperature(elapsed)));
        reply = {static_cast<std::uint8_t>(raw & 0xFF), static_cast<std::uint8_t>(raw >> 8)};
        ++temperatureReplies_;
        break;
    }
    case '0':
        if (length < 2) return std::nullopt;
        ledOn_ = request[1] != 0;
        reply = {'0', static_cast<std::uint8_t>(ledOn_ ? 1 : 0)};
        break;
    default:
        return std::nullopt;
    }
    if (mode == ReplyMode::Short) reply.pop_back();
    return SensorReply{std::move(reply), std::chrono::milliseconds(nextHold_.exchange(0))};
}
