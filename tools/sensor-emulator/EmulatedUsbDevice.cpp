// SPDX-License-Identifier: GPL-3.0-or-later
#include "EmulatedUsbDevice.h"

#include "UsbDescriptors.h"

#include <sys/ioctl.h>

#include <linux/usb/ch9.h>
#include <linux/usbdevice_fs.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>

// The client's memory is reached only through umockdev's local copies: resolving the URB
// and then its buffer gives copies that umockdev writes back when the request completes,
// and a reaped URB is handed back with set_ptr so that its address is the client's own.

namespace {
constexpr std::size_t kSetupLength = 8; // control transfers start with their setup packet

usbdevfs_urb* urbOf(UMockdevIoctlData* data) {
    return reinterpret_cast<usbdevfs_urb*>(data->data);
}

const char* requestName(gulong request) {
    static const struct {
        gulong request;
        const char* name;
    } names[] = {{USBDEVFS_SUBMITURB, "SUBMITURB"},
                 {USBDEVFS_REAPURB, "REAPURB"},
                 {USBDEVFS_REAPURBNDELAY, "REAPURBNDELAY"},
                 {USBDEVFS_DISCARDURB, "DISCARDURB"},
                 {USBDEVFS_GET_CAPABILITIES, "GET_CAPABILITIES"},
                 {USBDEVFS_CONNECTINFO, "CONNECTINFO"},
                 {USBDEVFS_GET_SPEED, "GET_SPEED"},
                 {USBDEVFS_GETDRIVER, "GETDRIVER"},
                 {USBDEVFS_IOCTL, "IOCTL"},
                 {USBDEVFS_RESET, "RESET"},
                 {USBDEVFS_CLAIMINTERFACE, "CLAIMINTERFACE"},
                 {USBDEVFS_RELEASEINTERFACE, "RELEASEINTERFACE"},
                 {USBDEVFS_DISCONNECT_CLAIM, "DISCONNECT_CLAIM"},
                 {USBDEVFS_SETINTERFACE, "SETINTERFACE"},
                 {USBDEVFS_SETCONFIGURATION, "SETCONFIGURATION"},
                 {USBDEVFS_CLEAR_HALT, "CLEAR_HALT"},
                 {USBDEVFS_RESETEP, "RESETEP"}};
    for (const auto& n : names)
        if (n.request == request) return n.name;
    return "unknown";
}
} // namespace

EmulatedUsbDevice::EmulatedUsbDevice(Responder responder)
    : responder_(std::move(responder))
    , testbed_(umockdev_testbed_new())
    , handler_(umockdev_ioctl_base_new()) {
    g_signal_connect(handler_, "handle-ioctl", G_CALLBACK(onIoctl), this);
    g_signal_connect(handler_, "client-connected", G_CALLBACK(onConnected), this);
    g_signal_connect(handler_, "client-vanished", G_CALLBACK(onVanished), this);
}

EmulatedUsbDevice::~EmulatedUsbDevice() {
    {
        std::lock_guard lock(mutex_);
        closing_ = true;
        for (auto& [client, state] : clients_) {
            for (Urb& urb : state.reads)
                release(urb);
            for (Urb& urb : state.done)
                release(urb);
        }
        clients_.clear();
        if (holdTimer_) g_source_remove(holdTimer_);
        holdTimer_ = 0;
    }
    g_signal_handlers_disconnect_by_data(handler_, this);
    g_object_unref(testbed_); // removes the testbed's directory
    g_object_unref(handler_);
}

std::string EmulatedUsbDevice::rootDir() const {
    gchar* dir = umockdev_testbed_get_root_dir(testbed_);
    std::string result(dir);
    g_free(dir);
    return result;
}

bool EmulatedUsbDevice::plugged() const {
    std::lock_guard lock(mutex_);
    return plugged_;
}

// The testbed calls below run without the lock: they may wait for umockdev's thread.
bool EmulatedUsbDevice::plug(std::string& error) {
    bool replug = false;
    {
        std::lock_guard lock(mutex_);
        if (plugged_) return true;
        replug = generation_ > 0;
        ++generation_;
        plugged_ = true;
    }
    GError* gerror = nullptr;
    // The node must answer before "add" goes out, or a quick client finds a dead node.
    // Removing the device took its node away, so a replug attaches the handler anew.
    if (replug) umockdev_testbed_detach_ioctl(testbed_, usbdesc::kDeviceNode, nullptr);
    if (umockdev_testbed_attach_ioctl(testbed_, usbdesc::kDeviceNode, handler_, &gerror) &&
        umockdev_testbed_add_from_string(testbed_, usbdesc::udevRecord().c_str(), &gerror))
        return true;
    error = gerror->message;
    g_error_free(gerror);
    std::lock_guard lock(mutex_);
    plugged_ = false;
    return false;
}

void EmulatedUsbDevice::unplug() {
    {
        std::lock_guard lock(mutex_);
        if (!plugged_) return;
        plugged_ = false;
        replies_.clear();
        // As the kernel does, transfers in flight end with -ESHUTDOWN and can still be
        // reaped.
        for (auto& [client, state] : clients_)
            while (!state.reads.empty()) {
                finish(state.reads.front(), -ESHUTDOWN, 0);
                state.done.push_back(state.reads.front());
                state.reads.pop_front();
            }
    }
    // "remove" first, while the device can still be looked up, then its files.
    umockdev_testbed_uevent(testbed_, usbdesc::kSysPath, "remove");
    umockdev_testbed_remove_device(testbed_, usbdesc::kSysPath);
}

void EmulatedUsbDevice::onConnected(UMockdevIoctlBase*, UMockdevIoctlClient* client,
                                    gpointer self) {
    auto* device = static_cast<EmulatedUsbDevice*>(self);
    std::lock_guard lock(device->mutex_);
    if (!device->closing_) device->clientFor(client);
}

void EmulatedUsbDevice::onVanished(UMockdevIoctlBase*, UMockdevIoctlClient* client, gpointer self) {
    auto* device = static_cast<EmulatedUsbDevice*>(self);
    std::lock_guard lock(device->mutex_);
    const auto found = device->clients_.find(client);
    if (found == device->clients_.end()) return;
    for (Urb& urb : found->second.reads)
        release(urb);
    for (Urb& urb : found->second.done)
        release(urb);
    device->clients_.erase(found);
}

EmulatedUsbDevice::Client& EmulatedUsbDevice::clientFor(UMockdevIoctlClient* client) {
    const auto found = clients_.find(client);
    if (found != clients_.end()) return found->second;
    Client& state = clients_[client];
    state.generation = plugged_ ? generation_ : 0;
    return state;
}

gboolean EmulatedUsbDevice::onIoctl(UMockdevIoctlBase*, UMockdevIoctlClient* client,
                                    gpointer self) {
    return static_cast<EmulatedUsbDevice*>(self)->handleIoctl(client);
}

bool EmulatedUsbDevice::handleIoctl(UMockdevIoctlClient* client) {
    std::lock_guard lock(mutex_);
    if (closing_) {
        umockdev_ioctl_client_complete(client, -1, ENODEV);
        return true;
    }
    Client& state = clientFor(client);
    const gulong request = umockdev_ioctl_client_get_request(client);
    UMockdevIoctlData* arg = umockdev_ioctl_client_get_arg(client);
    if (verbose_ && requestsSeen_.insert(request).second)
        std::fprintf(stderr, "sensor-emulator: first usbfs request %s (0x%lx)\n",
                     requestName(request), request);

    // Reaping goes on after an unplug until the killed transfers are collected.
    if (request == USBDEVFS_REAPURB || request == USBDEVFS_REAPURBNDELAY) {
        reap(client, state, arg);
        return true;
    }
    if (request == USBDEVFS_DISCARDURB) {
        discard(client, state, arg);
        return true;
    }
    if (!live(state)) {
        umockdev_ioctl_client_complete(client, -1, ENODEV);
        return true;
    }
    switch (request) {
    case USBDEVFS_SUBMITURB:
        submit(client, state, arg);
        return true;
    case USBDEVFS_GET_CAPABILITIES: {
        UMockdevIoctlData* caps = umockdev_ioctl_data_resolve(arg, 0, sizeof(guint32), nullptr);
        if (!caps) break;
        const guint32 value = USBDEVFS_CAP_BULK_CONTINUATION | USBDEVFS_CAP_NO_PACKET_SIZE_LIM |
                              USBDEVFS_CAP_REAP_AFTER_DISCONNECT;
        std::memcpy(caps->data, &value, sizeof value);
        g_object_unref(caps);
        umockdev_ioctl_client_complete(client, 0, 0);
        return true;
    }
    case USBDEVFS_CONNECTINFO: {
        UMockdevIoctlData* info =
            umockdev_ioctl_data_resolve(arg, 0, sizeof(usbdevfs_connectinfo), nullptr);
        if (!info) break;
        const usbdevfs_connectinfo value{2, 0};
        std::memcpy(info->data, &value, sizeof value);
        g_object_unref(info);
        umockdev_ioctl_client_complete(client, 0, 0);
        return true;
    }
    case USBDEVFS_GET_SPEED:
        umockdev_ioctl_client_complete(client, USB_SPEED_FULL, 0);
        return true;
    case USBDEVFS_GETDRIVER:
    case USBDEVFS_IOCTL: // no kernel driver to ask about, detach or attach
        umockdev_ioctl_client_complete(client, -1, ENODATA);
        return true;
    case USBDEVFS_RESET:
        replies_.clear();
        [[fallthrough]];
    case USBDEVFS_CLAIMINTERFACE:
    case USBDEVFS_RELEASEINTERFACE:
    case USBDEVFS_DISCONNECT_CLAIM:
    case USBDEVFS_SETINTERFACE:
    case USBDEVFS_SETCONFIGURATION:
    case USBDEVFS_CLEAR_HALT:
    case USBDEVFS_RESETEP:
        umockdev_ioctl_client_complete(client, 0, 0);
        return true;
    default:
        break;
    }
    std::fprintf(stderr, "sensor-emulator: usbfs request 0x%lx not emulated\n", request);
    umockdev_ioctl_client_complete(client, -1, ENOTTY);
    return true;
}

void EmulatedUsbDevice::submit(UMockdevIoctlClient* client, Client& state, UMockdevIoctlData* arg) {
    Urb urb;
    urb.urb = umockdev_ioctl_data_resolve(arg, 0, sizeof(usbdevfs_urb), nullptr);
    if (!urb.urb) {
        umockdev_ioctl_client_complete(client, -1, EFAULT);
        return;
    }
    usbdevfs_urb* u = urbOf(urb.urb);
    if (u->buffer_length > 0)
        urb.buffer = umockdev_ioctl_data_resolve(urb.urb, G_STRUCT_OFFSET(usbdevfs_urb, buffer),
                                                 static_cast<gsize>(u->buffer_length), nullptr);
    const bool bulk = u->type == USBDEVFS_URB_TYPE_BULK;
    const bool isControl = u->type == USBDEVFS_URB_TYPE_CONTROL && u->endpoint == 0 && urb.buffer &&
                           u->buffer_length >= static_cast<int>(kSetupLength);
    if (!(isControl || (bulk && (u->endpoint == usbdesc::kEndpointOut ||
                                 u->endpoint == usbdesc::kEndpointIn)))) {
        release(urb);
        umockdev_ioctl_client_complete(client, -1, EINVAL);
        return;
    }
    if (isControl) {
        control(urb);
        state.done.push_back(urb);
    } else if (u->endpoint == usbdesc::kEndpointIn) {
        state.reads.push_back(urb);
    } else {
        const int length = u->buffer_length;
        Reply reply = urb.buffer ? responder_(urb.buffer->data, static_cast<std::size_t>(length))
                                 : std::nullopt;
        if (reply) replies_.push(std::move(*reply), ReplyQueue::Clock::now());
        finish(urb, 0, length);
        state.done.push_back(urb);
    }
    umockdev_ioctl_client_complete(client, 0, 0);
    serveReads();
}

void EmulatedUsbDevice::serveReads() {
    const auto now = ReplyQueue::Clock::now();
    for (auto& [client, state] : clients_) {
        while (!state.reads.empty() && live(state)) {
            const auto reply = replies_.take(now);
            if (!reply) break;
            Urb urb = state.reads.front();
            state.reads.pop_front();
            const int room = urbOf(urb.urb)->buffer_length;
            const int length = std::min(room, static_cast<int>(reply->size()));
            if (length > 0) std::memcpy(urb.buffer->data, reply->data(), length);
            finish(urb, static_cast<int>(reply->size()) > room ? -EOVERFLOW : 0, length);
            state.done.push_back(urb);
        }
    }
    scheduleHeldReply();
}

// A held reply is served by a timer on the main loop once its hold is over; a read
// submitted later finds it ready by itself.
void EmulatedUsbDevice::scheduleHeldReply() {
    const auto ready = replies_.nextReady();
    if (holdTimer_ || !ready) return;
    const auto wait =
        std::chrono::ceil<std::chrono::milliseconds>(*ready - ReplyQueue::Clock::now());
    if (wait.count() <= 0) return;
    holdTimer_ = g_timeout_add(static_cast<guint>(wait.count()), onHoldOver, this);
}

gboolean EmulatedUsbDevice::onHoldOver(gpointer self) {
    auto* device = static_cast<EmulatedUsbDevice*>(self);
    std::lock_guard lock(device->mutex_);
    device->holdTimer_ = 0;
    device->serveReads();
    return G_SOURCE_REMOVE;
}

void EmulatedUsbDevice::control(Urb& urb) {
    const std::uint8_t* setup = urb.buffer->data;
    const unsigned type = setup[0], request = setup[1];
    const unsigned value = setup[2] | setup[3] << 8;
    const int wanted = setup[6] | setup[7] << 8;
    const int room = urbOf(urb.urb)->buffer_length - static_cast<int>(kSetupLength);
    const auto answer = usbdesc::control(
        static_cast<std::uint8_t>(type), static_cast<std::uint8_t>(request),
        static_cast<std::uint16_t>(value), static_cast<std::uint16_t>(std::min(wanted, room)), 1);
    if (answer) {
        if (!answer->empty())
            std::memcpy(urb.buffer->data + kSetupLength, answer->data(), answer->size());
        finish(urb, 0, static_cast<int>(answer->size()));
        return;
    }
    if (verbose_)
        std::fprintf(stderr, "sensor-emulator: control request %02x %02x %04x stalled\n", type,
                     request, value);
    finish(urb, -EPIPE, 0);
}

void EmulatedUsbDevice::reap(UMockdevIoctlClient* client, Client& state, UMockdevIoctlData* arg) {
    if (state.done.empty()) {
        umockdev_ioctl_client_complete(client, -1, live(state) ? EAGAIN : ENODEV);
        return;
    }
    Urb urb = state.done.front();
    state.done.pop_front();
    UMockdevIoctlData* pointer = umockdev_ioctl_data_resolve(arg, 0, sizeof(gpointer), nullptr);
    if (!pointer) {
        release(urb);
        umockdev_ioctl_client_complete(client, -1, EFAULT);
        return;
    }
    // umockdev writes the URB back with the buffer it was resolved with; resolving the
    // buffer again makes sure it counts as changed, as it is for a completed read.
    if (urb.buffer) {
        UMockdevIoctlData* again = umockdev_ioctl_data_resolve(
            urb.urb, G_STRUCT_OFFSET(usbdevfs_urb, buffer), urb.buffer->data_len, nullptr);
        if (again) g_object_unref(again);
    }
    umockdev_ioctl_data_set_ptr(pointer, 0, urb.urb);
    g_object_unref(pointer);
    release(urb);
    umockdev_ioctl_client_complete(client, 0, 0);
}

void EmulatedUsbDevice::discard(UMockdevIoctlClient* client, Client& state,
                                UMockdevIoctlData* arg) {
    // The argument is the client's address of the URB itself.
    gulong address = 0;
    std::memcpy(&address, arg->data, sizeof address);
    const auto found = std::find_if(state.reads.begin(), state.reads.end(), [&](const Urb& urb) {
        return urb.urb->client_addr == address;
    });
    if (found == state.reads.end()) {
        umockdev_ioctl_client_complete(client, -1, EINVAL); // already completed
        return;
    }
    finish(*found, -ENOENT, 0);
    state.done.push_back(*found);
    state.reads.erase(found);
    umockdev_ioctl_client_complete(client, 0, 0);
}

void EmulatedUsbDevice::finish(Urb& urb, int status, int actualLength) {
    usbdevfs_urb* u = urbOf(urb.urb);
    u->status = status;
    u->actual_length = actualLength;
}

void EmulatedUsbDevice::release(Urb& urb) {
    if (urb.buffer) g_object_unref(urb.buffer);
    if (urb.urb) g_object_unref(urb.urb);
    urb = {};
}
