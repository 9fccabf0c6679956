// SPDX-License-Identifier: GPL-3.0-or-later
// The pipe library on libusb-1.0.
#pragma once

#include "sensor/UsbAPI.h"

#include <memory>

class LibusbPipeLibrary : public usbapi::PipeLibrary, public usbapi::PipeEventSource {
public:
    // The device named by `watchedDeviceId` ("vid_xxxx&pid_xxxx"; nullptr for none) is
    // watched from the start, so that its first arrival is reported even before anything
    // was opened.
    explicit LibusbPipeLibrary(const char* watchedDeviceId = nullptr);
    ~LibusbPipeLibrary() override;

    std::uint32_t UsbGetDllVersion() override;
    usbapi::Pipe UsbOpen(std::uint32_t instance, const char* deviceId, const char* endpoint,
                         std::uint32_t direction, std::uint32_t reserved) override;
    std::uint32_t UsbRead(usbapi::Pipe pipe, void* data, std::uint32_t wanted,
                          std::uint32_t* received, std::uint32_t timeoutMs) override;
    std::uint32_t UsbWrite(usbapi::Pipe pipe, const void* data, std::uint32_t length,
                           std::uint32_t* sent, std::uint32_t timeoutMs) override;
    void UsbClose(usbapi::Pipe pipe) override;
    usbapi::OpenFailure LastOpenFailure() const override;

    bool HasHotplug() const override;
    std::vector<WatchedFd> Fds() const override;
    void HandleEvents() override;
    void SetCallbacks(std::function<void()> onArrival, std::function<void()> onFdsChanged) override;

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};
