// SPDX-License-Identifier: GPL-3.0-or-later
// The device side of a USB redirection (usbredir): 04D8:000C with the same descriptors
// and the same bulk endpoints as the umockdev device, served to one peer at a time over
// a connected socket. qemu's usb-redir is such a peer: it gives the device to its guest.
//
// Bytes sent to the bulk OUT endpoint 0x01 go to a responder; its replies wait in the
// device (a few at most) until IN requests on 0x81 collect them, as in the sensor, each
// once the responder's hold on it is over (a late reply): if the host has given up
// waiting by then, the reply stays queued for the next read. A reset or an unplug drops
// what is queued.
//
// Everything runs on the GLib main loop of the thread that created the device.
#pragma once

#include "ReplyQueue.h"
#include "SensorProtocol.h"

#include <glib.h>
#include <usbredirparser.h>

#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <optional>
#include <string>
#include <vector>

class UsbRedirDevice {
public:
    using Reply = std::optional<SensorReply>;
    using Responder = std::function<Reply(const std::uint8_t* request, std::size_t length)>;
    using EventSink = std::function<void(const std::string& event)>;

    UsbRedirDevice(Responder responder, EventSink events);
    ~UsbRedirDevice();
    UsbRedirDevice(const UsbRedirDevice&) = delete;
    UsbRedirDevice& operator=(const UsbRedirDevice&) = delete;

    // Serves the peer on the connected socket `fd` (the device closes it when done); a
    // peer served until now is dropped. The device is announced once the peer has
    // greeted it, when it is plugged in.
    void serve(int fd);
    bool serving() const { return fd_ >= 0; }
    // Drops the peer, as when it went away.
    void drop(const char* why);

    // Plugging in and out, as seen by the peer (device_connect / device_disconnect).
    void plug();
    void unplug();
    bool plugged() const { return plugged_; }

    // Names each kind of control request the first time it comes.
    void setVerbose(bool verbose) { verbose_ = verbose; }

private:
    struct PendingRead {
        std::uint64_t id;
        std::size_t room;
    };

    // Parser callbacks (usbredirparser's C interface).
    static int readSocket(void* self, std::uint8_t* data, int count);
    static int writeSocket(void* self, std::uint8_t* data, int count);
    static void log(void* self, int level, const char* message);
    static void hello(void* self, struct usb_redir_hello_header* hello);
    static void reset(void* self);
    static void setConfiguration(void* self, std::uint64_t id,
                                 struct usb_redir_set_configuration_header* request);
    static void getConfiguration(void* self, std::uint64_t id);
    static void setAltSetting(void* self, std::uint64_t id,
                              struct usb_redir_set_alt_setting_header* request);
    static void getAltSetting(void* self, std::uint64_t id,
                              struct usb_redir_get_alt_setting_header* request);
    static void cancelDataPacket(void* self, std::uint64_t id);
    static void controlPacket(void* self, std::uint64_t id,
                              struct usb_redir_control_packet_header* header, std::uint8_t* data,
                              int length);
    static void bulkPacket(void* self, std::uint64_t id,
                           struct usb_redir_bulk_packet_header* header, std::uint8_t* data,
                           int length);
    static void filterReject(void* self);
    static void filterFilter(void* self, struct usbredirfilter_rule* rules, int count);
    static void ignore(void* self);

    static gboolean onSocket(gint fd, GIOCondition condition, gpointer self);
    static gboolean onHoldOver(gpointer self);

    void announce();
    void answerControl(std::uint64_t id, struct usb_redir_control_packet_header header,
                       const std::uint8_t* data, int length);
    void serveReads();
    void scheduleHeldReply();
    void cancelReads();
    void clearReplies();
    // Sends what is queued for the peer; drops the peer on a broken connection.
    void flush();
    void watch(bool writing);

    Responder responder_;
    EventSink events_;
    usbredirparser* parser_ = nullptr;
    int fd_ = -1;
    guint watch_ = 0;
    bool watchingWrites_ = false;
    bool broken_ = false;    // the socket failed or ended during a parser call
    bool greeted_ = false;   // the peer's hello came
    bool announced_ = false; // device_connect sent on this connection
    bool plugged_ = true;
    std::uint8_t configuration_ = 0;
    std::deque<PendingRead> reads_; // IN requests waiting for a reply
    ReplyQueue replies_;            // made and not yet read
    guint holdTimer_ = 0;           // serves the reads when a held reply is ready
    bool verbose_ = false;
    std::vector<unsigned> requestsSeen_;
};
