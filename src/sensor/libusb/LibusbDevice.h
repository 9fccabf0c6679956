// SPDX-License-Identifier: GPL-3.0-or-later
// One opened USB device of the libusb pipe library. The pipes on a device share one
// LibusbDevice; when the last of them lets go, its interfaces are released (a kernel
// driver detached for the claim is attached again) and the device is closed.
#pragma once

#include "sensor/UsbAPI.h"

#include <cstdint>
#include <memory>
#include <utility>
#include <vector>

struct libusb_device;
struct libusb_device_handle;

class LibusbDevice {
public:
    // Where an endpoint lives and how it moves data.
    struct Endpoint {
        std::uint8_t address = 0;
        bool interrupt = false; // otherwise bulk
        int maxPacket = 64;     // the largest packet the endpoint moves
        int interface = 0;
        int altsetting = 0;
    };

    // Opens device; nullptr on failure, with the reason in failure.
    static std::shared_ptr<LibusbDevice> Open(libusb_device* device, usbapi::OpenFailure& failure);
    ~LibusbDevice();
    LibusbDevice(const LibusbDevice&) = delete;
    LibusbDevice& operator=(const LibusbDevice&) = delete;

    libusb_device* Device() const { return device_; }

    // Looks the endpoint up in the active configuration; only bulk and interrupt
    // endpoints can carry a pipe.
    bool FindEndpoint(std::uint8_t address, Endpoint& found, usbapi::OpenFailure& failure) const;
    // Claims the endpoint's interface unless this device holds it already.
    bool Claim(const Endpoint& endpoint, usbapi::OpenFailure& failure);

    // One synchronous transfer; a libusb error code, 0 on success. A read takes the whole
    // packet the device sends: `transferred` is its length, of which at most `length`
    // bytes are stored, so a reply longer than asked for shows as such instead of
    // passing for a shorter one.
    int Transfer(const Endpoint& endpoint, unsigned char* data, int length, int* transferred,
                 unsigned timeoutMs);
    // Reads and drops what the device has queued on an IN endpoint (replies to requests
    // whose reader gave up on them), until a read waits `waitMs` and finds nothing, a
    // read fails, or `maxReads` were read. Returns the number of replies dropped.
    int Drain(const Endpoint& endpoint, unsigned waitMs, int maxReads);

    // Set once the device is known to have left: its pipes stay dead for good.
    bool Gone() const { return gone_; }
    void MarkGone() { gone_ = true; }

private:
    LibusbDevice(libusb_device* device, libusb_device_handle* handle)
        : device_(device)
        , handle_(handle) {}

    libusb_device* device_;
    libusb_device_handle* handle_;
    std::vector<std::pair<int, int>> claimed_; // interface, alternate setting
    std::vector<unsigned char> packet_;        // whole packets read, before they are copied
    bool gone_ = false;
};

// How a libusb error code of an open or claim reads to the caller.
usbapi::OpenFailure OpenFailureFrom(int libusbError);
