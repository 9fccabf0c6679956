// SPDX-License-Identifier: GPL-3.0-or-later
// The pipe library on libusb-1.0, on a context of its own. Everything runs on the
// caller's thread: libusb's events (device arrival and removal) are processed when the
// event loop calls HandleEvents() for a ready descriptor, or in passing by an open.
#include "sensor/libusb/LibusbPipeLibrary.h"

#include "sensor/libusb/LibusbDevice.h"
#include "sensor/libusb/PipeAddress.h"
#include "sensor/libusb/ScanThrottle.h"

#include <libusb.h>
#include <poll.h>

#include <algorithm>
#include <climits>
#include <map>
#include <memory>
#include <optional>
#include <vector>

using namespace std::chrono_literals;
using usbapi::OpenFailure;
using usbapi::Pipe;

namespace {

// Without hotplug events, a device found absent is looked for again after this long.
constexpr auto kRescanInterval = 100ms;
// Opening a read pipe drops what the device has queued: a reply that came after its
// reader's time-out stays queued in the device, and every later request would read the
// reply to an earlier one. A queued reply comes at once; this wait only says that none is.
constexpr unsigned kDrainWaitMs = 10;
// A sensor queues a few replies at most; a device that never stops sending is not drained
// for ever.
constexpr int kDrainMaxReads = 16;

// A device list that frees itself; the devices stay valid while it lives.
class DeviceList {
public:
    explicit DeviceList(libusb_context* context) {
        const ssize_t count = libusb_get_device_list(context, &list_);
        count_ = count > 0 ? count : 0;
    }
    ~DeviceList() {
        if (list_ != nullptr) libusb_free_device_list(list_, 1);
    }
    DeviceList(const DeviceList&) = delete;
    DeviceList& operator=(const DeviceList&) = delete;

    // The instance-th device (counting from 0) with this vendor and product, or nullptr.
    libusb_device* Find(pipeaddress::DeviceId id, std::uint32_t instance) const {
        for (ssize_t i = 0; i < count_; ++i) {
            libusb_device_descriptor descriptor{};
            if (libusb_get_device_descriptor(list_[i], &descriptor) != LIBUSB_SUCCESS) continue;
            if (descriptor.idVendor != id.vendor || descriptor.idProduct != id.product) continue;
            if (instance-- == 0) return list_[i];
        }
        return nullptr;
    }

private:
    libusb_device** list_ = nullptr;
    ssize_t count_ = 0;
};

} // namespace

struct LibusbPipeLibrary::Impl {
    // What is known of the devices with one vendor and product.
    struct Watch {
        pipeaddress::DeviceId id;
        std::optional<libusb_hotplug_callback_handle> callback;
        std::vector<libusb_device*> present;    // with hotplug: the devices attached now
        ScanThrottle throttle{kRescanInterval}; // without hotplug
    };
    struct PipeEntry {
        std::shared_ptr<LibusbDevice> device;
        LibusbDevice::Endpoint endpoint;
    };

    libusb_context* context = nullptr;
    bool hotplug = false;
    std::vector<std::unique_ptr<Watch>> watches;
    std::map<Pipe, PipeEntry> pipes;
    Pipe nextPipe = 0;
    OpenFailure lastFailure = OpenFailure::None;

    std::function<void()> onArrival;
    std::function<void()> onFdsChanged;
    bool arrivalPending = false;
    bool fdsChangedPending = false;

    explicit Impl(const char* watchedDeviceId) {
        if (libusb_init(&context) != LIBUSB_SUCCESS) {
            context = nullptr;
            return;
        }
        hotplug = libusb_has_capability(LIBUSB_CAP_HAS_HOTPLUG) != 0;
        if (const auto id = pipeaddress::ParseDeviceId(watchedDeviceId)) WatchFor(*id);
    }

    ~Impl() {
        if (context == nullptr) return;
        pipes.clear(); // closes every device before the context goes
        for (const auto& watch : watches) {
            if (watch->callback) libusb_hotplug_deregister_callback(context, *watch->callback);
        }
        libusb_set_pollfd_notifiers(context, nullptr, nullptr, nullptr);
        libusb_exit(context);
    }

    Watch& WatchFor(pipeaddress::DeviceId id) {
        for (const auto& watch : watches) {
            if (watch->id == id) return *watch;
        }
        auto& watch = *watches.emplace_back(std::make_unique<Watch>());
        watch.id = id;
        if (hotplug) {
            libusb_hotplug_callback_handle callback = 0;
            // Devices already attached are reported from within the registration; they
            // are not arrivals the caller waits for.
            const bool pending = arrivalPending;
            const int result = libusb_hotplug_register_callback(
                context,
                static_cast<libusb_hotplug_event>(LIBUSB_HOTPLUG_EVENT_DEVICE_ARRIVED |
                                                  LIBUSB_HOTPLUG_EVENT_DEVICE_LEFT),
                LIBUSB_HOTPLUG_ENUMERATE, id.vendor, id.product, LIBUSB_HOTPLUG_MATCH_ANY,
                &Impl::HotplugEvent, this, &callback);
            arrivalPending = pending;
            if (result == LIBUSB_SUCCESS) {
                watch.callback = callback;
            } else {
                hotplug = false; // scan with throttling instead
            }
        }
        return watch;
    }

    static int LIBUSB_CALL HotplugEvent(libusb_context*, libusb_device* device,
                                        libusb_hotplug_event event, void* self) {
        static_cast<Impl*>(self)->DeviceEvent(device, event);
        return 0; // stay registered
    }

    void DeviceEvent(libusb_device* device, libusb_hotplug_event event) {
        if (event == LIBUSB_HOTPLUG_EVENT_DEVICE_LEFT) {
            // Pipes on a device that left stay dead, even once it is back.
            for (auto& [pipe, entry] : pipes) {
                if (entry.device->Device() == device) entry.device->MarkGone();
            }
        }
        libusb_device_descriptor descriptor{};
        if (libusb_get_device_descriptor(device, &descriptor) != LIBUSB_SUCCESS) return;
        for (const auto& watch : watches) {
            if (watch->id != pipeaddress::DeviceId{descriptor.idVendor, descriptor.idProduct}) {
                continue;
            }
            auto& present = watch->present;
            const auto at = std::find(present.begin(), present.end(), device);
            if (event == LIBUSB_HOTPLUG_EVENT_DEVICE_ARRIVED) {
                if (at == present.end()) present.push_back(device);
                arrivalPending = true;
            } else if (at != present.end()) {
                present.erase(at);
            }
        }
    }

    static void LIBUSB_CALL FdAdded(int, short, void* self) {
        static_cast<Impl*>(self)->fdsChangedPending = true;
    }
    static void LIBUSB_CALL FdRemoved(int, void* self) {
        static_cast<Impl*>(self)->fdsChangedPending = true;
    }

    // Processes pending libusb events without waiting.
    void PollEvents() {
        timeval zero{0, 0};
        libusb_handle_events_timeout_completed(context, &zero, nullptr);
    }

    // Tells the caller of changed descriptors once libusb is done with its work.
    void FlushFdsChanged() {
        if (!fdsChangedPending) return;
        fdsChangedPending = false;
        if (onFdsChanged) onFdsChanged();
    }

    Pipe AllocatePipe() {
        for (;;) {
            const Pipe pipe = nextPipe;
            nextPipe = nextPipe == INT32_MAX ? 0 : nextPipe + 1;
            if (pipes.find(pipe) == pipes.end()) return pipe;
        }
    }

    std::shared_ptr<LibusbDevice> OpenedDevice(libusb_device* device) const {
        for (const auto& [pipe, entry] : pipes) {
            if (entry.device->Device() == device && !entry.device->Gone()) return entry.device;
        }
        return nullptr;
    }

    Pipe Open(std::uint32_t instance, pipeaddress::DeviceId id, std::uint8_t address) {
        lastFailure = OpenFailure::NoDevice;
        Watch& watch = WatchFor(id);
        const auto now = ScanThrottle::Clock::now();
        if (hotplug) {
            PollEvents(); // take in arrivals and removals not yet handled
            if (watch.present.size() <= instance) return usbapi::INVALID_PIPE;
        } else if (!watch.throttle.MayScan(now)) {
            return usbapi::INVALID_PIPE;
        }

        const DeviceList list(context);
        libusb_device* found = list.Find(id, instance);
        if (found == nullptr) {
            watch.throttle.NoteMiss(now);
            return usbapi::INVALID_PIPE;
        }
        watch.throttle.NoteFound();

        std::shared_ptr<LibusbDevice> device = OpenedDevice(found);
        if (!device) device = LibusbDevice::Open(found, lastFailure);
        LibusbDevice::Endpoint endpoint;
        if (!device || !device->FindEndpoint(address, endpoint, lastFailure) ||
            !device->Claim(endpoint, lastFailure)) {
            return usbapi::INVALID_PIPE;
        }
        if ((address & LIBUSB_ENDPOINT_IN) != 0) {
            device->Drain(endpoint, kDrainWaitMs, kDrainMaxReads);
            if (device->Gone()) return usbapi::INVALID_PIPE;
        }
        const Pipe pipe = AllocatePipe();
        pipes.emplace(pipe, PipeEntry{std::move(device), endpoint});
        lastFailure = OpenFailure::None;
        return pipe;
    }

    // One transfer on pipe if it moves data in the wanted direction; a libusb result.
    int Transfer(Pipe pipe, bool in, unsigned char* data, std::uint32_t length, std::uint32_t* done,
                 std::uint32_t timeoutMs) {
        if (done != nullptr) *done = 0;
        const auto at = pipes.find(pipe);
        if (at == pipes.end() || length > INT_MAX || (data == nullptr && length > 0)) {
            return LIBUSB_ERROR_INVALID_PARAM;
        }
        PipeEntry& entry = at->second;
        if (((entry.endpoint.address & LIBUSB_ENDPOINT_IN) != 0) != in) {
            return LIBUSB_ERROR_INVALID_PARAM;
        }
        if (entry.device->Gone()) return LIBUSB_ERROR_NO_DEVICE;
        // libusb waits without limit on 0; here 0 means as short a wait as there is.
        const unsigned timeout = std::max<std::uint32_t>(timeoutMs, 1);
        int transferred = 0;
        const int result = entry.device->Transfer(entry.endpoint, data, static_cast<int>(length),
                                                  &transferred, timeout);
        if (done != nullptr) *done = static_cast<std::uint32_t>(transferred);
        return result;
    }
};

LibusbPipeLibrary::LibusbPipeLibrary(const char* watchedDeviceId)
    : impl_(std::make_unique<Impl>(watchedDeviceId)) {}
LibusbPipeLibrary::~LibusbPipeLibrary() = default;

std::uint32_t LibusbPipeLibrary::UsbGetDllVersion() {
    if (impl_->context == nullptr) return 0;
    const libusb_version* version = libusb_get_version();
    return pipeaddress::PackVersion(version->major, version->minor, version->micro);
}

Pipe LibusbPipeLibrary::UsbOpen(std::uint32_t instance, const char* deviceId, const char* endpoint,
                                std::uint32_t direction, std::uint32_t) {
    const auto id = pipeaddress::ParseDeviceId(deviceId);
    const auto address = pipeaddress::ParseEndpoint(endpoint, direction);
    if (impl_->context == nullptr || !id || !address) {
        impl_->lastFailure = OpenFailure::Other;
        return usbapi::INVALID_PIPE;
    }
    const Pipe pipe = impl_->Open(instance, *id, *address);
    impl_->FlushFdsChanged();
    return pipe;
}

std::uint32_t LibusbPipeLibrary::UsbRead(Pipe pipe, void* data, std::uint32_t wanted,
                                         std::uint32_t* received, std::uint32_t timeoutMs) {
    // A short or long reply still succeeds (only `wanted` bytes are stored); the caller
    // compares the count with what it wanted.
    const int result =
        impl_->Transfer(pipe, true, static_cast<unsigned char*>(data), wanted, received, timeoutMs);
    impl_->FlushFdsChanged();
    return result == LIBUSB_SUCCESS ? 1 : 0;
}

std::uint32_t LibusbPipeLibrary::UsbWrite(Pipe pipe, const void* data, std::uint32_t length,
                                          std::uint32_t* sent, std::uint32_t timeoutMs) {
    // libusb takes one buffer type for both directions; an OUT transfer only reads it.
    auto* bytes = const_cast<unsigned char*>(static_cast<const unsigned char*>(data));
    const int result = impl_->Transfer(pipe, false, bytes, length, sent, timeoutMs);
    impl_->FlushFdsChanged();
    return result == LIBUSB_SUCCESS ? 1 : 0;
}

void LibusbPipeLibrary::UsbClose(Pipe pipe) {
    // The device is released with the last pipe that holds it.
    if (impl_->pipes.erase(pipe) > 0) impl_->FlushFdsChanged();
}

OpenFailure LibusbPipeLibrary::LastOpenFailure() const {
    return impl_->lastFailure;
}

bool LibusbPipeLibrary::HasHotplug() const {
    return impl_->hotplug;
}

std::vector<usbapi::PipeEventSource::WatchedFd> LibusbPipeLibrary::Fds() const {
    std::vector<WatchedFd> result;
    if (impl_->context == nullptr) return result;
    const libusb_pollfd** list = libusb_get_pollfds(impl_->context);
    for (const libusb_pollfd** p = list; p != nullptr && *p != nullptr; ++p) {
        // An opened device adds its own descriptor, ready for writing when a transfer
        // has completed. The pipes' transfers are synchronous and collect their own
        // completions, so it would only wake the loop for nothing (on every turn where
        // the device is a socket, as under umockdev), and each wake costs a poll and a
        // request to the device. Arrivals and removals come through the others.
        if (((*p)->events & ~POLLOUT) == 0) continue;
        result.push_back({(*p)->fd, (*p)->events});
    }
    libusb_free_pollfds(list);
    return result;
}

void LibusbPipeLibrary::HandleEvents() {
    if (impl_->context == nullptr) return;
    impl_->PollEvents();
    impl_->FlushFdsChanged();
    if (impl_->arrivalPending) {
        impl_->arrivalPending = false;
        if (impl_->onArrival) impl_->onArrival();
    }
}

void LibusbPipeLibrary::SetCallbacks(std::function<void()> onArrival,
                                     std::function<void()> onFdsChanged) {
    impl_->onArrival = std::move(onArrival);
    impl_->onFdsChanged = std::move(onFdsChanged);
    if (impl_->context != nullptr) {
        libusb_set_pollfd_notifiers(impl_->context, &Impl::FdAdded, &Impl::FdRemoved, impl_.get());
    }
}
