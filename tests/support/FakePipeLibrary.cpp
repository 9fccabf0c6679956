// SPDX-License-Identifier: GPL-3.0-or-later
#include "FakePipeLibrary.h"

#include <algorithm>
#include <cstring>

void FakePipeLibrary::setReply(std::uint8_t command, std::vector<std::uint8_t> reply) {
    standing_[command] = std::move(reply);
}

void FakePipeLibrary::queueReply(std::uint8_t command, std::vector<std::uint8_t> reply) {
    queued_[command].push_back(std::move(reply));
}

void FakePipeLibrary::queueFault(Fault fault, int count) {
    for (int i = 0; i < count; ++i)
        faults_.push_back(fault);
}

int FakePipeLibrary::count(Op op) const {
    return static_cast<int>(
        std::count_if(calls.begin(), calls.end(), [op](const Call& c) { return c.op == op; }));
}

void FakePipeLibrary::record(Call call) {
    if (recordCalls) calls.push_back(std::move(call));
}

std::uint32_t FakePipeLibrary::UsbGetDllVersion() {
    record({Op::Version});
    return version;
}

usbapi::Pipe FakePipeLibrary::UsbOpen(std::uint32_t, const char*, const char*,
                                      std::uint32_t direction, std::uint32_t) {
    const bool allowed = direction == usbapi::DIRECTION_WRITE ? canOpenWrite : canOpenRead;
    usbapi::Pipe pipe = usbapi::INVALID_PIPE;
    if (attached && allowed) {
        pipe = nextPipe_++;
        open_[pipe] = direction;
        lastFailure_ = usbapi::OpenFailure::None;
    } else {
        lastFailure_ = attached ? usbapi::OpenFailure::Other : failure;
    }
    record({Op::Open, pipe, direction});
    return pipe;
}

std::uint32_t FakePipeLibrary::UsbWrite(usbapi::Pipe pipe, const void* data, std::uint32_t length,
                                        std::uint32_t* sent, std::uint32_t timeoutMs) {
    const auto* bytes = static_cast<const std::uint8_t*>(data);
    record({Op::Write, pipe, 0, timeoutMs, std::vector<std::uint8_t>(bytes, bytes + length)});
    *sent = 0;
    auto it = open_.find(pipe);
    if (!attached || it == open_.end() || it->second != usbapi::DIRECTION_WRITE) return 0;
    faultPending_ = !faults_.empty();
    if (faultPending_) {
        pendingFault_ = faults_.front();
        faults_.pop_front();
        if (pendingFault_ == Fault::WriteRefused) return 0;
    }
    lastCommand_ = length > 0 ? bytes[0] : 0;
    *sent = length;
    return 1;
}

std::uint32_t FakePipeLibrary::UsbRead(usbapi::Pipe pipe, void* data, std::uint32_t wanted,
                                       std::uint32_t* received, std::uint32_t timeoutMs) {
    *received = 0;
    auto it = open_.find(pipe);
    if (!attached || it == open_.end() || it->second != usbapi::DIRECTION_READ) {
        record({Op::Read, pipe, 0, timeoutMs});
        return 0;
    }
    std::vector<std::uint8_t> reply;
    auto queued = queued_.find(lastCommand_);
    if (queued != queued_.end() && !queued->second.empty()) {
        reply = std::move(queued->second.front());
        queued->second.pop_front();
    } else if (auto standing = standing_.find(lastCommand_); standing != standing_.end()) {
        reply = standing->second;
    } else {
        reply.assign(wanted, 0);
    }
    if (faultPending_) {
        faultPending_ = false;
        if (pendingFault_ == Fault::Timeout) {
            record({Op::Read, pipe, 0, timeoutMs});
            return 0;
        }
        if (pendingFault_ == Fault::ShortReply && !reply.empty()) reply.pop_back();
    }
    const auto n = std::min<std::uint32_t>(wanted, static_cast<std::uint32_t>(reply.size()));
    std::memcpy(data, reply.data(), n);
    *received = n;
    reply.resize(n);
    record({Op::Read, pipe, 0, timeoutMs, std::move(reply)});
    return 1;
}

void FakePipeLibrary::UsbClose(usbapi::Pipe pipe) {
    record({Op::Close, pipe});
    open_.erase(pipe);
}
