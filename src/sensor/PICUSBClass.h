// SPDX-License-Identifier: GPL-3.0-or-later
// TPICUSB: the connection to the light sensor. Each measurement is one write of a
// command and one read of a fixed-length reply; any failed transaction closes both
// pipes, so callers look at Active only. Nothing here throws.
#pragma once

#include "sensor/UsbAPI.h"

#include <cstddef>
#include <cstdint>
#include <string>

class TPICUSB {
public:
    // The sensor's USB identity, the one place it is written.
    static constexpr const char* kDeviceId = "vid_04d8&pid_000c";
    static constexpr const char* kEndpoint = "\\MCHP_EP1";
    static constexpr float kFailedTemperature = -273.15f;

    explicit TPICUSB(usbapi::PipeLibrary& library);
    ~TPICUSB();
    TPICUSB(const TPICUSB&) = delete;
    TPICUSB& operator=(const TPICUSB&) = delete;

    bool GetActive() const { return active_; }
    void SetActive(bool value);

    // One 'T' transaction: °C with one decimal, truncated toward zero; -273.15 on failure.
    float GetTemperature();
    // One 'L' transaction: the 16-bit count, 0 on failure. Stores Range (0 on failure).
    std::int32_t GetLight();
    std::int32_t GetRange() const { return range_; }
    std::string GetVersion() const;

    bool GetLedOn() const { return ledOn_; }
    void SetLedOn(bool value);

    std::uint16_t GetSendDelay() const { return sendDelay_; }
    void SetSendDelay(std::uint16_t ms) { sendDelay_ = ms; }
    std::uint16_t GetReceiveDelay() const { return receiveDelay_; }
    void SetReceiveDelay(std::uint16_t ms) { receiveDelay_ = ms; }

    usbapi::OpenFailure LastOpenFailure() const { return library_.LastOpenFailure(); }

    // The vendor and product of DeviceId as people write them: "04D8:000C".
    static std::string UsbIdText();
    static float TemperatureFromRaw(std::int16_t raw);
    static std::string VersionText(std::uint32_t value);

private:
    bool SendReceive(const std::uint8_t* request, std::uint32_t requestLength,
                     std::uint32_t& replyLength, std::uint8_t* reply);
    // One device command: its transaction, and on failure one more deactivation, which
    // closes the already invalid handles again.
    template <std::size_t RequestLength, std::size_t ReplyLength>
    bool Command(const std::uint8_t (&request)[RequestLength], std::uint8_t (&reply)[ReplyLength]);
    void CloseBoth();

    usbapi::PipeLibrary& library_;
    bool active_ = false;
    usbapi::Pipe writePipe_ = usbapi::INVALID_PIPE;
    usbapi::Pipe readPipe_ = usbapi::INVALID_PIPE;
    bool ledOn_ = false;
    std::int32_t range_ = 0;
    std::uint16_t sendDelay_ = 1000;
    std::uint16_t receiveDelay_ = 1000;
};
