// SPDX-License-Identifier: GPL-3.0-or-later
#include "RedirHost.h"

#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

namespace {
RedirHost& hostOf(void* self) {
    return *static_cast<RedirHost*>(self);
}
using Clock = std::chrono::steady_clock;
} // namespace

RedirHost::~RedirHost() {
    disconnect();
}

bool RedirHost::connect(const std::string& path) {
    disconnect();
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    if (path.size() >= sizeof address.sun_path) return false;
    std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
    fd_ = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd_ < 0 || ::connect(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
        disconnect();
        return false;
    }
    closedByPeer = false;
    device.reset();
    interfaces.reset();
    endpoints.reset();
    parser_ = usbredirparser_create();
    parser_->priv = this;
    parser_->read_func = readSocket;
    parser_->write_func = writeSocket;
    parser_->log_func = [](void*, int, const char*) {};
    parser_->hello_func = [](void*, usb_redir_hello_header*) {};
    parser_->device_connect_func = [](void* self, usb_redir_device_connect_header* header) {
        hostOf(self).device = *header;
        ++hostOf(self).connects;
    };
    parser_->device_disconnect_func = [](void* self) {
        hostOf(self).device.reset();
        ++hostOf(self).disconnects;
    };
    parser_->interface_info_func = [](void* self, usb_redir_interface_info_header* header) {
        hostOf(self).interfaces = *header;
    };
    parser_->ep_info_func = [](void* self, usb_redir_ep_info_header* header) {
        hostOf(self).endpoints = *header;
    };
    parser_->configuration_status_func = [](void* self, std::uint64_t id,
                                            usb_redir_configuration_status_header* header) {
        hostOf(self).replies_[id] = {header->status, {header->configuration}};
    };
    parser_->alt_setting_status_func = [](void* self, std::uint64_t id,
                                          usb_redir_alt_setting_status_header* header) {
        hostOf(self).replies_[id] = {header->status, {header->alt}};
    };
    parser_->control_packet_func = [](void* self, std::uint64_t id,
                                      usb_redir_control_packet_header* header, std::uint8_t* data,
                                      int length) {
        hostOf(self).replies_[id] = {header->status,
                                     std::vector<std::uint8_t>(data, data + length)};
        usbredirparser_free_packet_data(hostOf(self).parser_, data);
    };
    parser_->bulk_packet_func = [](void* self, std::uint64_t id,
                                   usb_redir_bulk_packet_header* header, std::uint8_t* data,
                                   int length) {
        hostOf(self).replies_[id] = {header->status,
                                     std::vector<std::uint8_t>(data, data + length)};
        usbredirparser_free_packet_data(hostOf(self).parser_, data);
    };
    parser_->filter_reject_func = [](void*) {};
    parser_->filter_filter_func = [](void*, usbredirfilter_rule* rules, int) { std::free(rules); };
    parser_->device_disconnect_ack_func = [](void*) {};
    std::uint32_t caps[USB_REDIR_CAPS_SIZE] = {};
    for (int cap : {usb_redir_cap_connect_device_version, usb_redir_cap_filter,
                    usb_redir_cap_device_disconnect_ack, usb_redir_cap_ep_info_max_packet_size,
                    usb_redir_cap_64bits_ids, usb_redir_cap_32bits_bulk_length})
        usbredirparser_caps_set_cap(caps, cap);
    usbredirparser_init(parser_, "nocturo test host", caps, USB_REDIR_CAPS_SIZE, 0);
    flush();
    return waitFor([this] { return usbredirparser_have_peer_caps(parser_) != 0; });
}

void RedirHost::disconnect() {
    if (parser_) usbredirparser_destroy(parser_);
    parser_ = nullptr;
    if (fd_ >= 0) close(fd_);
    fd_ = -1;
    replies_.clear();
}

int RedirHost::readSocket(void* self, std::uint8_t* data, int count) {
    RedirHost& host = hostOf(self);
    const ssize_t n = recv(host.fd_, data, static_cast<std::size_t>(count), MSG_DONTWAIT);
    if (n > 0) return static_cast<int>(n);
    if (n < 0 && (errno == EAGAIN || errno == EINTR)) return 0;
    host.closedByPeer = true;
    return -1;
}

int RedirHost::writeSocket(void* self, std::uint8_t* data, int count) {
    const ssize_t n = send(hostOf(self).fd_, data, static_cast<std::size_t>(count), MSG_NOSIGNAL);
    return n < 0 ? -1 : static_cast<int>(n);
}

void RedirHost::flush() {
    if (parser_) usbredirparser_do_write(parser_);
}

bool RedirHost::waitFor(const std::function<bool()>& done, std::chrono::milliseconds timeout) {
    const auto deadline = Clock::now() + timeout;
    while (!done()) {
        if (!parser_ || closedByPeer) return false;
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
        if (left.count() <= 0) return false;
        pollfd p{fd_, POLLIN, 0};
        if (poll(&p, 1, static_cast<int>(left.count())) > 0) {
            usbredirparser_do_read(parser_);
            flush();
        }
    }
    return true;
}

std::optional<RedirHost::Reply> RedirHost::awaitReply(std::uint64_t id,
                                                      std::chrono::milliseconds timeout) {
    flush();
    if (!waitFor([this, id] { return replies_.count(id) > 0; }, timeout)) return std::nullopt;
    Reply reply = replies_[id];
    replies_.erase(id);
    return reply;
}

std::optional<RedirHost::Reply> RedirHost::control(std::uint8_t requestType, std::uint8_t request,
                                                   std::uint16_t value, std::uint16_t index,
                                                   std::uint16_t length) {
    usb_redir_control_packet_header header{};
    header.endpoint = requestType & 0x80;
    header.requesttype = requestType;
    header.request = request;
    header.value = value;
    header.index = index;
    header.length = length;
    const std::uint64_t id = nextId_++;
    usbredirparser_send_control_packet(parser_, id, &header, nullptr, 0);
    return awaitReply(id, std::chrono::seconds(10));
}

std::optional<RedirHost::Reply> RedirHost::setConfiguration(std::uint8_t configuration) {
    usb_redir_set_configuration_header header{configuration};
    const std::uint64_t id = nextId_++;
    usbredirparser_send_set_configuration(parser_, id, &header);
    return awaitReply(id, std::chrono::seconds(10));
}

std::optional<RedirHost::Reply> RedirHost::getConfiguration() {
    const std::uint64_t id = nextId_++;
    usbredirparser_send_get_configuration(parser_, id);
    return awaitReply(id, std::chrono::seconds(10));
}

std::optional<RedirHost::Reply> RedirHost::bulkOut(const std::vector<std::uint8_t>& data) {
    usb_redir_bulk_packet_header header{};
    header.endpoint = 0x01;
    header.length = static_cast<std::uint16_t>(data.size());
    const std::uint64_t id = nextId_++;
    usbredirparser_send_bulk_packet(parser_, id, &header, const_cast<std::uint8_t*>(data.data()),
                                    static_cast<int>(data.size()));
    return awaitReply(id, std::chrono::seconds(10));
}

std::optional<RedirHost::Reply> RedirHost::bulkIn(std::size_t room,
                                                  std::chrono::milliseconds timeout) {
    usb_redir_bulk_packet_header header{};
    header.endpoint = 0x81;
    header.length = static_cast<std::uint16_t>(room);
    const std::uint64_t id = nextId_++;
    usbredirparser_send_bulk_packet(parser_, id, &header, nullptr, 0);
    if (auto reply = awaitReply(id, timeout)) return reply;
    if (!parser_ || closedByPeer) return std::nullopt;
    usbredirparser_send_cancel_data_packet(parser_, id);
    return awaitReply(id, std::chrono::seconds(10));
}

std::optional<RedirHost::Reply> RedirHost::transact(const std::vector<std::uint8_t>& request) {
    const auto sent = bulkOut(request);
    if (!sent || sent->status != usb_redir_success) return sent;
    return bulkIn(64, std::chrono::seconds(1));
}

void RedirHost::reset() {
    usbredirparser_send_reset(parser_);
    flush();
}
