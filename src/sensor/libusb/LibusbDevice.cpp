// SPDX-License-Identifier: GPL-3.0-or-later
#include "sensor/libusb/LibusbDevice.h"

#include <libusb.h>

#include <algorithm>
#include <cstring>

using usbapi::OpenFailure;

OpenFailure OpenFailureFrom(int libusbError) {
    switch (libusbError) {
    case LIBUSB_ERROR_ACCESS:
        return OpenFailure::AccessDenied;
    case LIBUSB_ERROR_BUSY:
        return OpenFailure::Busy;
    case LIBUSB_ERROR_NO_DEVICE:
    case LIBUSB_ERROR_NOT_FOUND:
        return OpenFailure::NoDevice;
    default:
        return OpenFailure::Other;
    }
}

std::shared_ptr<LibusbDevice> LibusbDevice::Open(libusb_device* device, OpenFailure& failure) {
    libusb_device_handle* handle = nullptr;
    const int result = libusb_open(device, &handle);
    if (result != LIBUSB_SUCCESS) {
        failure = OpenFailureFrom(result);
        return nullptr;
    }
    // A kernel driver bound to the interface is detached while we hold it and attached
    // again on release. Platforms without kernel drivers refuse this harmlessly.
    libusb_set_auto_detach_kernel_driver(handle, 1);
    return std::shared_ptr<LibusbDevice>(new LibusbDevice(device, handle));
}

LibusbDevice::~LibusbDevice() {
    for (const auto& [interface, altsetting] : claimed_) {
        libusb_release_interface(handle_, interface);
    }
    libusb_close(handle_);
}

bool LibusbDevice::FindEndpoint(std::uint8_t address, Endpoint& found, OpenFailure& failure) const {
    libusb_config_descriptor* config = nullptr;
    const int result = libusb_get_active_config_descriptor(device_, &config);
    if (result != LIBUSB_SUCCESS) {
        failure = OpenFailureFrom(result);
        return false;
    }
    bool ok = false;
    failure = OpenFailure::Other; // the device has no such endpoint
    for (int i = 0; i < config->bNumInterfaces && !ok; ++i) {
        const libusb_interface& interface = config->interface[i];
        for (int a = 0; a < interface.num_altsetting && !ok; ++a) {
            const libusb_interface_descriptor& setting = interface.altsetting[a];
            for (int e = 0; e < setting.bNumEndpoints && !ok; ++e) {
                const libusb_endpoint_descriptor& endpoint = setting.endpoint[e];
                if (endpoint.bEndpointAddress != address) continue;
                const int type = endpoint.bmAttributes & LIBUSB_TRANSFER_TYPE_MASK;
                if (type != LIBUSB_TRANSFER_TYPE_BULK && type != LIBUSB_TRANSFER_TYPE_INTERRUPT) {
                    continue;
                }
                found.address = address;
                found.interrupt = type == LIBUSB_TRANSFER_TYPE_INTERRUPT;
                found.maxPacket = std::max(endpoint.wMaxPacketSize & 0x7FF, 1);
                found.interface = setting.bInterfaceNumber;
                found.altsetting = setting.bAlternateSetting;
                ok = true;
            }
        }
    }
    libusb_free_config_descriptor(config);
    if (ok) failure = OpenFailure::None;
    return ok;
}

bool LibusbDevice::Claim(const Endpoint& endpoint, OpenFailure& failure) {
    for (const auto& [interface, altsetting] : claimed_) {
        if (interface != endpoint.interface) continue;
        if (altsetting == endpoint.altsetting) return true;
        failure = OpenFailure::Busy; // the interface is in use in another setting
        return false;
    }
    int result = libusb_claim_interface(handle_, endpoint.interface);
    if (result != LIBUSB_SUCCESS) {
        failure = OpenFailureFrom(result);
        return false;
    }
    if (endpoint.altsetting != 0) {
        result = libusb_set_interface_alt_setting(handle_, endpoint.interface, endpoint.altsetting);
        if (result != LIBUSB_SUCCESS) {
            libusb_release_interface(handle_, endpoint.interface);
            failure = OpenFailureFrom(result);
            return false;
        }
    }
    claimed_.emplace_back(endpoint.interface, endpoint.altsetting);
    return true;
}

int LibusbDevice::Transfer(const Endpoint& endpoint, unsigned char* data, int length,
                           int* transferred, unsigned timeoutMs) {
    *transferred = 0;
    unsigned char* buffer = data;
    int room = length;
    if ((endpoint.address & LIBUSB_ENDPOINT_IN) != 0) {
        // Whole packets: a buffer shorter than the packet would end the read in an
        // overflow, or on some hosts cut the packet to the buffer's size.
        room = std::max(1, (length + endpoint.maxPacket - 1) / endpoint.maxPacket) *
               endpoint.maxPacket;
        packet_.resize(static_cast<std::size_t>(room));
        buffer = packet_.data();
    }
    const int result =
        endpoint.interrupt
            ? libusb_interrupt_transfer(handle_, endpoint.address, buffer, room, transferred,
                                        timeoutMs)
            : libusb_bulk_transfer(handle_, endpoint.address, buffer, room, transferred, timeoutMs);
    if (buffer != data && *transferred > 0)
        std::memcpy(data, buffer, static_cast<std::size_t>(std::min(*transferred, length)));
    if (result == LIBUSB_ERROR_NO_DEVICE) {
        gone_ = true;
    } else if (result == LIBUSB_ERROR_PIPE) {
        // A stalled endpoint would fail every later transfer too.
        libusb_clear_halt(handle_, endpoint.address);
    }
    return result;
}

int LibusbDevice::Drain(const Endpoint& endpoint, unsigned waitMs, int maxReads) {
    int dropped = 0;
    unsigned char scratch[1];
    for (; dropped < maxReads; ++dropped) {
        int transferred = 0;
        if (Transfer(endpoint, scratch, sizeof scratch, &transferred, waitMs) != LIBUSB_SUCCESS)
            break;
    }
    return dropped;
}
