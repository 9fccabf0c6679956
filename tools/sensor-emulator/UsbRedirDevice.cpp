// SPDX-License-Identifier: GPL-3.0-or-later
#include "UsbRedirDevice.h"

#include "UsbDescriptors.h"

#include <glib-unix.h>
#include <linux/usb/ch9.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {
constexpr const char* kVersion = "sensor-emulator usbredir device";
constexpr std::uint8_t kMaxPacket = 64;

UsbRedirDevice& deviceOf(void* self) {
    return *static_cast<UsbRedirDevice*>(self);
}

// Endpoint address to the index of usbredir's per-endpoint tables.
int endpointIndex(std::uint8_t address) {
    return ((address & 0x80) >> 3) | (address & 0x0F);
}
} // namespace

UsbRedirDevice::UsbRedirDevice(Responder responder, EventSink events)
    : responder_(std::move(responder))
    , events_(std::move(events)) {}

UsbRedirDevice::~UsbRedirDevice() {
    clearReplies();
    if (serving()) drop(nullptr);
}

void UsbRedirDevice::serve(int fd) {
    if (serving()) drop("replaced by a new connection");
    fd_ = fd;
    broken_ = greeted_ = announced_ = false;
    parser_ = usbredirparser_create();
    parser_->priv = this;
    parser_->log_func = log;
    parser_->read_func = readSocket;
    parser_->write_func = writeSocket;
    parser_->hello_func = hello;
    parser_->reset_func = reset;
    parser_->set_configuration_func = setConfiguration;
    parser_->get_configuration_func = getConfiguration;
    parser_->set_alt_setting_func = setAltSetting;
    parser_->get_alt_setting_func = getAltSetting;
    parser_->cancel_data_packet_func = cancelDataPacket;
    parser_->control_packet_func = controlPacket;
    parser_->bulk_packet_func = bulkPacket;
    parser_->filter_reject_func = filterReject;
    parser_->filter_filter_func = filterFilter;
    parser_->device_disconnect_ack_func = ignore;
    // Streams, isochronous and interrupt transfers are not offered (the device has only
    // bulk endpoints), so a well-behaved peer never asks for them.
    std::uint32_t caps[USB_REDIR_CAPS_SIZE] = {};
    for (int cap : {usb_redir_cap_connect_device_version, usb_redir_cap_filter,
                    usb_redir_cap_device_disconnect_ack, usb_redir_cap_ep_info_max_packet_size,
                    usb_redir_cap_64bits_ids, usb_redir_cap_32bits_bulk_length})
        usbredirparser_caps_set_cap(caps, cap);
    usbredirparser_init(parser_, kVersion, caps, USB_REDIR_CAPS_SIZE, usbredirparser_fl_usb_host);
    watch(false);
    flush();
}

void UsbRedirDevice::drop(const char* why) {
    if (!serving()) return;
    if (watch_) g_source_remove(watch_);
    watch_ = 0;
    usbredirparser_destroy(parser_);
    parser_ = nullptr;
    close(fd_);
    fd_ = -1;
    reads_.clear(); // the peer's requests went with it; queued replies stay in the device
    if (why) events_(std::string("disconnected: ") + why);
}

void UsbRedirDevice::plug() {
    if (plugged_) return;
    plugged_ = true;
    configuration_ = 0;
    if (serving() && greeted_) announce();
    flush();
}

void UsbRedirDevice::unplug() {
    if (!plugged_) return;
    plugged_ = false;
    clearReplies();
    if (serving() && announced_) {
        cancelReads(); // transfers in flight end, as they do when a cable is pulled
        usbredirparser_send_device_disconnect(parser_);
        announced_ = false;
        events_("unplugged from the host");
    }
    flush();
}

void UsbRedirDevice::announce() {
    usb_redir_interface_info_header interfaces{};
    interfaces.interface_count = 1;
    interfaces.interface[0] = 0;
    interfaces.interface_class[0] = 0xFF; // vendor-specific, as in the descriptors
    usbredirparser_send_interface_info(parser_, &interfaces);

    usb_redir_ep_info_header endpoints{};
    std::fill(std::begin(endpoints.type), std::end(endpoints.type), usb_redir_type_invalid);
    for (std::uint8_t address : {std::uint8_t{0x00}, std::uint8_t{0x80}}) {
        endpoints.type[endpointIndex(address)] = usb_redir_type_control;
        endpoints.max_packet_size[endpointIndex(address)] = kMaxPacket;
    }
    for (std::uint8_t address : {usbdesc::kEndpointOut, usbdesc::kEndpointIn}) {
        endpoints.type[endpointIndex(address)] = usb_redir_type_bulk;
        endpoints.max_packet_size[endpointIndex(address)] = kMaxPacket;
    }
    usbredirparser_send_ep_info(parser_, &endpoints);

    usb_redir_device_connect_header connect{};
    connect.speed = usb_redir_speed_full;
    connect.device_class = 0xFF;
    connect.vendor_id = usbdesc::kVendorId;
    connect.product_id = usbdesc::kProductId;
    connect.device_version_bcd = 0x0100;
    usbredirparser_send_device_connect(parser_, &connect);
    announced_ = true;
    events_("plugged in to the host");
}

// --- socket --------------------------------------------------------------------------

int UsbRedirDevice::readSocket(void* self, std::uint8_t* data, int count) {
    UsbRedirDevice& device = deviceOf(self);
    const ssize_t n = recv(device.fd_, data, static_cast<std::size_t>(count), MSG_DONTWAIT);
    if (n > 0) return static_cast<int>(n);
    if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR)) return 0;
    device.broken_ = true; // the peer closed the connection, or it failed
    return -1;
}

int UsbRedirDevice::writeSocket(void* self, std::uint8_t* data, int count) {
    UsbRedirDevice& device = deviceOf(self);
    const ssize_t n =
        send(device.fd_, data, static_cast<std::size_t>(count), MSG_DONTWAIT | MSG_NOSIGNAL);
    if (n >= 0) return static_cast<int>(n);
    if (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR) return 0;
    device.broken_ = true;
    return -1;
}

void UsbRedirDevice::flush() {
    if (!serving()) return;
    usbredirparser_do_write(parser_);
    if (broken_) {
        drop("the connection failed");
        return;
    }
    watch(usbredirparser_has_data_to_write(parser_) > 0);
}

void UsbRedirDevice::watch(bool writing) {
    if (watch_ && writing == watchingWrites_) return;
    if (watch_) g_source_remove(watch_);
    const int in = G_IO_IN | G_IO_HUP | G_IO_ERR;
    watch_ =
        g_unix_fd_add(fd_, static_cast<GIOCondition>(writing ? in | G_IO_OUT : in), onSocket, this);
    watchingWrites_ = writing;
}

gboolean UsbRedirDevice::onSocket(gint, GIOCondition condition, gpointer self) {
    UsbRedirDevice& device = deviceOf(self);
    if (condition & (G_IO_IN | G_IO_HUP | G_IO_ERR)) {
        const int result = usbredirparser_do_read(device.parser_);
        if (device.broken_ || result == usbredirparser_read_io_error) {
            device.watch_ = 0; // removed by returning G_SOURCE_REMOVE
            device.drop("the host closed the connection");
            return G_SOURCE_REMOVE;
        }
    }
    device.flush();
    // flush() may have replaced this watch (or dropped the peer).
    return G_SOURCE_CONTINUE;
}

// --- packets from the peer -------------------------------------------------------------

void UsbRedirDevice::log(void* self, int level, const char* message) {
    if (level <= usbredirparser_warning)
        deviceOf(self).events_(std::string("usbredir: ") + message);
}

void UsbRedirDevice::hello(void* self, usb_redir_hello_header* hello) {
    UsbRedirDevice& device = deviceOf(self);
    device.greeted_ = true;
    char version[sizeof hello->version + 1] = {};
    std::memcpy(version, hello->version, sizeof hello->version);
    device.events_(std::string("connected: ") + version);
    if (device.plugged_) device.announce();
}

void UsbRedirDevice::reset(void* self) {
    UsbRedirDevice& device = deviceOf(self);
    device.clearReplies();
    device.configuration_ = 0;
    device.events_("reset by the host");
}

void UsbRedirDevice::setConfiguration(void* self, std::uint64_t id,
                                      usb_redir_set_configuration_header* request) {
    UsbRedirDevice& device = deviceOf(self);
    usb_redir_configuration_status_header status{};
    if (request->configuration <= 1) {
        device.configuration_ = request->configuration;
        status.status = usb_redir_success;
    } else {
        status.status = usb_redir_stall;
    }
    status.configuration = device.configuration_;
    usbredirparser_send_configuration_status(device.parser_, id, &status);
}

void UsbRedirDevice::getConfiguration(void* self, std::uint64_t id) {
    UsbRedirDevice& device = deviceOf(self);
    usb_redir_configuration_status_header status{usb_redir_success, device.configuration_};
    usbredirparser_send_configuration_status(device.parser_, id, &status);
}

void UsbRedirDevice::setAltSetting(void* self, std::uint64_t id,
                                   usb_redir_set_alt_setting_header* request) {
    const bool known = request->interface == 0 && request->alt == 0;
    usb_redir_alt_setting_status_header status{
        static_cast<std::uint8_t>(known ? usb_redir_success : usb_redir_stall), request->interface,
        0};
    usbredirparser_send_alt_setting_status(deviceOf(self).parser_, id, &status);
}

void UsbRedirDevice::getAltSetting(void* self, std::uint64_t id,
                                   usb_redir_get_alt_setting_header* request) {
    usb_redir_alt_setting_status_header status{
        static_cast<std::uint8_t>(request->interface == 0 ? usb_redir_success : usb_redir_stall),
        request->interface, 0};
    usbredirparser_send_alt_setting_status(deviceOf(self).parser_, id, &status);
}

void UsbRedirDevice::cancelDataPacket(void* self, std::uint64_t id) {
    UsbRedirDevice& device = deviceOf(self);
    const auto found = std::find_if(device.reads_.begin(), device.reads_.end(),
                                    [id](const PendingRead& read) { return read.id == id; });
    if (found == device.reads_.end()) return; // already answered
    device.reads_.erase(found);
    usb_redir_bulk_packet_header header{};
    header.endpoint = usbdesc::kEndpointIn;
    header.status = usb_redir_cancelled;
    usbredirparser_send_bulk_packet(device.parser_, id, &header, nullptr, 0);
}

void UsbRedirDevice::controlPacket(void* self, std::uint64_t id,
                                   usb_redir_control_packet_header* header, std::uint8_t* data,
                                   int length) {
    UsbRedirDevice& device = deviceOf(self);
    device.answerControl(id, *header, data, length);
    usbredirparser_free_packet_data(device.parser_, data);
}

void UsbRedirDevice::answerControl(std::uint64_t id, usb_redir_control_packet_header header,
                                   const std::uint8_t*, int length) {
    const unsigned kind = header.requesttype << 8 | header.request;
    if (verbose_ &&
        std::find(requestsSeen_.begin(), requestsSeen_.end(), kind) == requestsSeen_.end()) {
        requestsSeen_.push_back(kind);
        char line[64];
        std::snprintf(line, sizeof line, "first control request %02x %02x", header.requesttype,
                      header.request);
        events_(line);
    }
    const bool in = header.requesttype & USB_DIR_IN;
    auto answer = plugged_ ? usbdesc::control(header.requesttype, header.request, header.value,
                                              in ? header.length : length, configuration_)
                           : std::nullopt;
    header.status = answer ? usb_redir_success : plugged_ ? usb_redir_stall : usb_redir_ioerror;
    if (!in) {
        header.length = answer ? static_cast<std::uint16_t>(length) : 0;
        usbredirparser_send_control_packet(parser_, id, &header, nullptr, 0);
        return;
    }
    std::vector<std::uint8_t> data = answer ? std::move(*answer) : std::vector<std::uint8_t>{};
    header.length = static_cast<std::uint16_t>(data.size());
    usbredirparser_send_control_packet(parser_, id, &header, data.data(),
                                       static_cast<int>(data.size()));
}

void UsbRedirDevice::bulkPacket(void* self, std::uint64_t id, usb_redir_bulk_packet_header* header,
                                std::uint8_t* data, int length) {
    UsbRedirDevice& device = deviceOf(self);
    usb_redir_bulk_packet_header answer{};
    answer.endpoint = header->endpoint;
    const std::size_t wanted = static_cast<std::size_t>(header->length_high) << 16 | header->length;
    if (!device.plugged_) {
        answer.status = usb_redir_ioerror;
    } else if (header->endpoint == usbdesc::kEndpointIn) {
        device.reads_.push_back({id, wanted});
        device.serveReads();
        usbredirparser_free_packet_data(device.parser_, data);
        return;
    } else if (header->endpoint == usbdesc::kEndpointOut) {
        if (auto reply = device.responder_(data, static_cast<std::size_t>(length))) {
            if (reply->hold.count() > 0)
                device.events_("late reply held " + std::to_string(reply->hold.count()) + " ms");
            device.replies_.push(std::move(*reply), ReplyQueue::Clock::now());
        }
        answer.status = usb_redir_success;
        answer.length = static_cast<std::uint16_t>(length & 0xFFFF);
        answer.length_high = static_cast<std::uint16_t>(length >> 16);
    } else {
        answer.status = usb_redir_inval;
    }
    usbredirparser_free_packet_data(device.parser_, data);
    usbredirparser_send_bulk_packet(device.parser_, id, &answer, nullptr, 0);
    device.serveReads();
}

void UsbRedirDevice::filterReject(void* self) {
    deviceOf(self).events_("the host refused the device");
}

void UsbRedirDevice::filterFilter(void*, usbredirfilter_rule* rules, int) {
    std::free(rules); // the host's filter applies to devices it would be offered; ours is fixed
}

void UsbRedirDevice::ignore(void*) {}

// --- replies -------------------------------------------------------------------------

// A held reply is served by a timer once its hold is over; a read that comes later finds
// it ready by itself.
void UsbRedirDevice::scheduleHeldReply() {
    const auto ready = replies_.nextReady();
    if (holdTimer_ || !ready) return;
    const auto wait =
        std::chrono::ceil<std::chrono::milliseconds>(*ready - ReplyQueue::Clock::now());
    if (wait.count() <= 0) return;
    holdTimer_ = g_timeout_add(static_cast<guint>(wait.count()), onHoldOver, this);
}

gboolean UsbRedirDevice::onHoldOver(gpointer self) {
    UsbRedirDevice& device = deviceOf(self);
    device.holdTimer_ = 0;
    device.events_(device.reads_.empty() ? "late reply ready, nobody is reading: it stays queued"
                                         : "late reply ready, sent to the waiting read");
    device.serveReads();
    device.flush();
    return G_SOURCE_REMOVE;
}

void UsbRedirDevice::clearReplies() {
    if (holdTimer_) g_source_remove(holdTimer_);
    holdTimer_ = 0;
    replies_.clear();
}

void UsbRedirDevice::serveReads() {
    if (!serving()) return;
    const auto now = ReplyQueue::Clock::now();
    while (!reads_.empty()) {
        auto ready = replies_.take(now);
        if (!ready) break;
        std::vector<std::uint8_t> reply = std::move(*ready);
        const PendingRead read = reads_.front();
        reads_.pop_front();
        usb_redir_bulk_packet_header header{};
        header.endpoint = usbdesc::kEndpointIn;
        header.status = usb_redir_success;
        if (reply.size() > read.room) { // more than asked for: the host sees an overflow
            reply.resize(read.room);
            header.status = usb_redir_babble;
        }
        header.length = static_cast<std::uint16_t>(reply.size());
        usbredirparser_send_bulk_packet(parser_, read.id, &header, reply.data(),
                                        static_cast<int>(reply.size()));
    }
    scheduleHeldReply();
}

void UsbRedirDevice::cancelReads() {
    for (const PendingRead& read : reads_) {
        usb_redir_bulk_packet_header header{};
        header.endpoint = usbdesc::kEndpointIn;
        header.status = usb_redir_cancelled;
        usbredirparser_send_bulk_packet(parser_, read.id, &header, nullptr, 0);
    }
    reads_.clear();
}
