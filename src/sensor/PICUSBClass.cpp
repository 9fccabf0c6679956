// SPDX-License-Identifier: GPL-3.0-or-later
#include "sensor/PICUSBClass.h"

#include <cctype>

using usbapi::INVALID_PIPE;

TPICUSB::TPICUSB(usbapi::PipeLibrary& library)
    : library_(library) {}

TPICUSB::~TPICUSB() {
    // Also releases a lone pipe left by an activation in which the other pipe failed.
    if (writePipe_ != INVALID_PIPE || readPipe_ != INVALID_PIPE) CloseBoth();
}

void TPICUSB::CloseBoth() {
    library_.UsbClose(writePipe_);
    library_.UsbClose(readPipe_);
    writePipe_ = INVALID_PIPE;
    readPipe_ = INVALID_PIPE;
    active_ = false;
}

void TPICUSB::SetActive(bool value) {
    if (value) {
        if (active_) return; // both pipes are open already; opening again would leak them
        // A lone pipe from an earlier half-successful attempt is released before retrying,
        // so it is never lost.
        if (writePipe_ != INVALID_PIPE || readPipe_ != INVALID_PIPE) CloseBoth();
        writePipe_ = library_.UsbOpen(0, kDeviceId, kEndpoint, usbapi::DIRECTION_WRITE, 0);
        readPipe_ = library_.UsbOpen(0, kDeviceId, kEndpoint, usbapi::DIRECTION_READ, 0);
    } else {
        CloseBoth();
    }
    active_ = writePipe_ != INVALID_PIPE && readPipe_ != INVALID_PIPE;
}

bool TPICUSB::SendReceive(const std::uint8_t* request, std::uint32_t requestLength,
                          std::uint32_t& replyLength, std::uint8_t* reply) {
    const std::uint32_t wanted = replyLength;
    bool ok = false;
    if (writePipe_ != INVALID_PIPE && readPipe_ != INVALID_PIPE) {
        std::uint32_t sent = 0;
        if (library_.UsbWrite(writePipe_, request, requestLength, &sent, sendDelay_) != 0) {
            ok = library_.UsbRead(readPipe_, reply, wanted, &replyLength, receiveDelay_) != 0 &&
                 replyLength == wanted;
        }
    }
    if (!ok) SetActive(false);
    return ok;
}

float TPICUSB::TemperatureFromRaw(std::int16_t raw) {
    const std::int32_t tenths = (static_cast<std::int32_t>(raw) >> 3) * 625 / 1000;
    return static_cast<float>((tenths % 10) * 0.1 + (tenths / 10));
}

template <std::size_t RequestLength, std::size_t ReplyLength>
bool TPICUSB::Command(const std::uint8_t (&request)[RequestLength],
                      std::uint8_t (&reply)[ReplyLength]) {
    std::uint32_t length = ReplyLength;
    if (SendReceive(request, RequestLength, length, reply)) return true;
    SetActive(false);
    return false;
}

float TPICUSB::GetTemperature() {
    const std::uint8_t request[1] = {'T'};
    std::uint8_t reply[2] = {0, 0};
    if (!Command(request, reply)) return kFailedTemperature;
    const auto raw =
        static_cast<std::int16_t>(static_cast<std::uint16_t>(reply[0] | reply[1] << 8));
    return TemperatureFromRaw(raw);
}

std::int32_t TPICUSB::GetLight() {
    const std::uint8_t request[1] = {'L'};
    std::uint8_t reply[3] = {0, 0, 0};
    if (!Command(request, reply)) {
        range_ = 0;
        return 0;
    }
    range_ = reply[2];
    return reply[0] + 256 * reply[1];
}

void TPICUSB::SetLedOn(bool value) {
    const std::uint8_t request[2] = {'0', static_cast<std::uint8_t>(value ? 1 : 0)};
    std::uint8_t reply[2] = {0, 0};
    if (!Command(request, reply)) {
        ledOn_ = false;
        return;
    }
    ledOn_ = value;
}

std::string TPICUSB::VersionText(std::uint32_t value) {
    std::string text;
    for (int i = 0; i < 4; ++i) {
        if (i > 0) text += '.';
        text += std::to_string((value >> (8 * i)) & 0xFF);
    }
    return text;
}

std::string TPICUSB::GetVersion() const {
    return VersionText(library_.UsbGetDllVersion());
}

std::string TPICUSB::UsbIdText() {
    // "vid_04d8&pid_000c": the four digits after "vid_" and after "pid_".
    const std::string id = kDeviceId;
    std::string text = id.substr(4, 4) + ':' + id.substr(13, 4);
    for (char& c : text)
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return text;
}
