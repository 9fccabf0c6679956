// SPDX-License-Identifier: GPL-3.0-or-later
// One USB device, 04D8:000C at bus 1 address 2, in a umockdev testbed. It answers the
// usbfs requests that libusb makes on the device node: bytes sent to the bulk OUT
// endpoint 0x01 go to a responder, and its replies come back on the bulk IN endpoint
// 0x81, each once the responder's hold on it is over. Replies not read stay queued until
// they are read or the device is reset or unplugged. It can be unplugged and plugged back in;
// handles opened before an unplug stay dead, as they do with a real device.
//
// umockdev answers requests on a thread of its own, so the device's state is guarded by
// a lock, and the responder is called on that thread.
#pragma once

#include "ReplyQueue.h"
#include "SensorProtocol.h"

#include <umockdev.h>

#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <vector>

class EmulatedUsbDevice {
public:
    using Reply = std::optional<SensorReply>;
    using Responder = std::function<Reply(const std::uint8_t* request, std::size_t length)>;

    explicit EmulatedUsbDevice(Responder responder);
    ~EmulatedUsbDevice();
    EmulatedUsbDevice(const EmulatedUsbDevice&) = delete;
    EmulatedUsbDevice& operator=(const EmulatedUsbDevice&) = delete;

    // Adds the device to the testbed (and sends "add"); false with a message on failure.
    bool plug(std::string& error);
    // Removes the device (and sends "remove"); transfers in flight end as "no device".
    void unplug();
    bool plugged() const;

    // The testbed's directory, for the UMOCKDEV_DIR of the programs that use the device.
    std::string rootDir() const;
    // Names each kind of request the first time it comes, and stalled control requests.
    void setVerbose(bool verbose) { verbose_ = verbose; }

private:
    struct Urb {
        UMockdevIoctlData* urb = nullptr;    // local copy of the client's struct usbdevfs_urb
        UMockdevIoctlData* buffer = nullptr; // local copy of its data buffer, or null
    };
    struct Client {
        unsigned generation = 0; // the plug-in the client opened; 0: opened while unplugged
        std::deque<Urb> reads;   // IN transfers waiting for a reply
        std::deque<Urb> done;    // completed transfers waiting to be reaped
    };

    static gboolean onIoctl(UMockdevIoctlBase*, UMockdevIoctlClient* client, gpointer self);
    static void onConnected(UMockdevIoctlBase*, UMockdevIoctlClient* client, gpointer self);
    static void onVanished(UMockdevIoctlBase*, UMockdevIoctlClient* client, gpointer self);

    bool handleIoctl(UMockdevIoctlClient* client);
    Client& clientFor(UMockdevIoctlClient* client);
    bool live(const Client& client) const { return plugged_ && client.generation == generation_; }
    void submit(UMockdevIoctlClient* client, Client& state, UMockdevIoctlData* arg);
    void reap(UMockdevIoctlClient* client, Client& state, UMockdevIoctlData* arg);
    void discard(UMockdevIoctlClient* client, Client& state, UMockdevIoctlData* arg);
    void control(Urb& urb);
    void serveReads();
    void scheduleHeldReply();
    static gboolean onHoldOver(gpointer self);
    static void finish(Urb& urb, int status, int actualLength);
    static void release(Urb& urb);

    mutable std::mutex mutex_; // guards everything below
    Responder responder_;
    UMockdevTestbed* testbed_ = nullptr;
    UMockdevIoctlBase* handler_ = nullptr;
    std::map<UMockdevIoctlClient*, Client> clients_;
    ReplyQueue replies_;  // made and not yet read
    guint holdTimer_ = 0; // serves the reads when the held reply is ready
    unsigned generation_ = 0;
    bool plugged_ = false;
    bool verbose_ = false;
    std::set<gulong> requestsSeen_;
    bool closing_ = false;
};
