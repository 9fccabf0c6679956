// SPDX-License-Identifier: GPL-3.0-or-later
// A scripted stand-in for the pipe library, built against the same interface as the
// real one and handed to TPICUSB by injection. It answers each command with a
// scripted reply, fails on demand, and records every call.
#pragma once

#include "sensor/UsbAPI.h"

#include <cstdint>
#include <deque>
#include <map>
#include <string>
#include <vector>

class FakePipeLibrary : public usbapi::PipeLibrary {
public:
    enum class Op { Version, Open, Read, Write, Close };
    struct Call {
        Call(Op op, usbapi::Pipe pipe = usbapi::INVALID_PIPE, std::uint32_t direction = 0,
             std::uint32_t timeoutMs = 0, std::vector<std::uint8_t> data = {})
            : op(op)
            , pipe(pipe)
            , direction(direction)
            , timeoutMs(timeoutMs)
            , data(std::move(data)) {}
        Op op;
        usbapi::Pipe pipe;              // Open: the handle returned
        std::uint32_t direction;        // Open only
        std::uint32_t timeoutMs;        // Read and Write
        std::vector<std::uint8_t> data; // Write: the request; Read: the reply given
    };
    enum class Fault { WriteRefused, Timeout, ShortReply };

    // What the device answers to a command byte until told otherwise.
    void setReply(std::uint8_t command, std::vector<std::uint8_t> reply);
    // One-shot replies, used before the standing reply of that command.
    void queueReply(std::uint8_t command, std::vector<std::uint8_t> reply);
    // The next transactions fail this way, one per queued fault.
    void queueFault(Fault fault, int count = 1);

    bool attached = true; // no device: every open fails
    bool canOpenWrite = true;
    bool canOpenRead = true;
    std::uint32_t version = 0x001A0001u; // reads 1.0.26.0
    bool recordCalls = true;
    usbapi::OpenFailure failure = usbapi::OpenFailure::NoDevice;

    std::vector<Call> calls;
    int count(Op op) const;
    int openPipes() const { return static_cast<int>(open_.size()); }

    std::uint32_t UsbGetDllVersion() override;
    usbapi::Pipe UsbOpen(std::uint32_t instance, const char* deviceId, const char* endpoint,
                         std::uint32_t direction, std::uint32_t reserved) override;
    std::uint32_t UsbRead(usbapi::Pipe pipe, void* data, std::uint32_t wanted,
                          std::uint32_t* received, std::uint32_t timeoutMs) override;
    std::uint32_t UsbWrite(usbapi::Pipe pipe, const void* data, std::uint32_t length,
                           std::uint32_t* sent, std::uint32_t timeoutMs) override;
    void UsbClose(usbapi::Pipe pipe) override;
    usbapi::OpenFailure LastOpenFailure() const override { return lastFailure_; }

private:
    void record(Call call);

    std::map<std::uint8_t, std::vector<std::uint8_t>> standing_;
    std::map<std::uint8_t, std::deque<std::vector<std::uint8_t>>> queued_;
    std::deque<Fault> faults_;
    std::map<usbapi::Pipe, std::uint32_t> open_; // handle -> direction
    usbapi::Pipe nextPipe_ = 1;
    std::uint8_t lastCommand_ = 0;
    bool faultPending_ = false;
    Fault pendingFault_ = Fault::Timeout;
    usbapi::OpenFailure lastFailure_ = usbapi::OpenFailure::None;
};
