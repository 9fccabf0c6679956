// SPDX-License-Identifier: GPL-3.0-or-later
// The host's side of a USB redirection, as qemu's usb-redir plays it, for testing the
// emulator's usbredir front end without a virtual machine: it connects to the socket,
// learns the device from its announcements and makes control and bulk transfers. A
// bulk read that is not answered in time is cancelled, as a host does on a time-out.
#pragma once

#include <usbredirparser.h>

#include <chrono>
#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

class RedirHost {
public:
    struct Reply {
        int status = -1; // usb_redir_success, usb_redir_stall, ...
        std::vector<std::uint8_t> data;
    };

    RedirHost() = default;
    ~RedirHost();
    RedirHost(const RedirHost&) = delete;
    RedirHost& operator=(const RedirHost&) = delete;

    // Connects to the device's socket and exchanges greetings. False on failure.
    bool connect(const std::string& path);
    void disconnect();
    bool open() const { return fd_ >= 0; }

    // Handles what comes until `done` holds or `timeout` passes; false on a time-out or
    // when the connection ended first (then `closedByPeer` is set).
    bool waitFor(const std::function<bool()>& done,
                 std::chrono::milliseconds timeout = std::chrono::seconds(10));

    // What the device announced.
    int connects = 0;
    int disconnects = 0;
    bool closedByPeer = false;
    std::optional<usb_redir_device_connect_header> device;
    std::optional<usb_redir_interface_info_header> interfaces;
    std::optional<usb_redir_ep_info_header> endpoints;

    // Transfers; nothing when no answer came within the guard time.
    std::optional<Reply> control(std::uint8_t requestType, std::uint8_t request,
                                 std::uint16_t value, std::uint16_t index, std::uint16_t length);
    // qemu turns the standard configuration requests into messages of their own.
    std::optional<Reply> setConfiguration(std::uint8_t configuration);
    std::optional<Reply> getConfiguration();
    std::optional<Reply> bulkOut(const std::vector<std::uint8_t>& data);
    // A read of up to `room` bytes from 0x81, cancelled after `timeout` without a
    // reply: then the reply is the device's answer to the cancel (usb_redir_cancelled).
    std::optional<Reply> bulkIn(std::size_t room, std::chrono::milliseconds timeout);
    // Request, then read its reply (with a 1 s read time-out).
    std::optional<Reply> transact(const std::vector<std::uint8_t>& request);
    void reset();

private:
    static int readSocket(void* self, std::uint8_t* data, int count);
    static int writeSocket(void* self, std::uint8_t* data, int count);
    std::optional<Reply> awaitReply(std::uint64_t id, std::chrono::milliseconds timeout);
    void flush();

    usbredirparser* parser_ = nullptr;
    int fd_ = -1;
    std::uint64_t nextId_ = 1;
    std::map<std::uint64_t, Reply> replies_;
};
