// SPDX-License-Identifier: GPL-3.0-or-later
// The emulator's usbredir front end, driven as qemu drives it: a host connects to the
// socket, sees the sensor announced, reads its descriptors and makes the bulk round trips
// that the programs make, while keys on a pipe (as a VM test writes them) apply faults.
#include "EmulatorProcess.h"
#include "RedirHost.h"

#include <gtest/gtest.h>

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <string>

using namespace std::chrono_literals;
using Bytes = std::vector<std::uint8_t>;

namespace {

constexpr std::uint8_t kIn = 0x80;
constexpr std::uint8_t kGetDescriptor = 6;
const Bytes kLight = {0xD2, 0x04, 3};    // 1234 in range 3
const Bytes kTemperature = {0xC0, 0x0A}; // 21.5 degrees: 344 sixteenths, times 8

class UsbRedirFrontEnd : public testing::Test {
protected:
    void SetUp() override {
        char pattern[] = "/tmp/usbredir-test-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        dir_ = pattern;
        socket_ = dir_ + "/sensor.sock";
    }
    void TearDown() override {
        emulator_.reset();
        unlink(socket_.c_str());
        rmdir(dir_.c_str());
    }

    // Starts the emulator with a held light and temperature, and waits until it listens.
    void start(std::vector<std::string> extra = {}) {
        std::vector<std::string> arguments{"--usbredir", socket_,         "--light",
                                           "1234:3",     "--temperature", "21.5"};
        arguments.insert(arguments.end(), extra.begin(), extra.end());
        emulator_ = std::make_unique<EmulatorProcess>(SENSOR_EMULATOR, arguments);
        ASSERT_TRUE(emulator_->waitForLine("listening on")) << emulator_->transcript();
    }

    // Connects a host and waits until the sensor is announced to it.
    void attach(RedirHost& host) {
        ASSERT_TRUE(host.connect(socket_)) << emulator_->transcript();
        ASSERT_TRUE(host.waitFor([&] { return host.device.has_value(); }))
            << emulator_->transcript();
    }

    // The light and the temperature, as a program reads them.
    void expectRoundTrip(RedirHost& host, const Bytes& light = kLight) {
        const auto l = host.transact({'L'});
        ASSERT_TRUE(l) << emulator_->transcript();
        EXPECT_EQ(l->status, usb_redir_success);
        EXPECT_EQ(l->data, light);
        const auto t = host.transact({'T'});
        ASSERT_TRUE(t) << emulator_->transcript();
        EXPECT_EQ(t->data, kTemperature);
    }

    // A key on the emulator's standard input, once it has said it applied it.
    void fault(char key, const std::string& event) {
        emulator_->key(key);
        ASSERT_TRUE(emulator_->waitForLine(": " + event)) << emulator_->transcript();
    }

    std::string dir_, socket_;
    std::unique_ptr<EmulatorProcess> emulator_;
};

TEST_F(UsbRedirFrontEnd, AnnouncesTheSensorAndAnswersAsItDoes) {
    start();
    RedirHost host;
    attach(host);
    ASSERT_TRUE(emulator_->waitForLine("connected: nocturo test host"));
    EXPECT_EQ(host.device->vendor_id, 0x04D8);
    EXPECT_EQ(host.device->product_id, 0x000C);
    EXPECT_EQ(host.device->speed, usb_redir_speed_full);
    EXPECT_EQ(host.device->device_class, 0xFF);
    ASSERT_TRUE(host.interfaces && host.endpoints);
    EXPECT_EQ(host.interfaces->interface_count, 1u);
    EXPECT_EQ(host.interfaces->interface_class[0], 0xFF);
    EXPECT_EQ(host.endpoints->type[0x01], usb_redir_type_bulk); // 0x01, OUT
    EXPECT_EQ(host.endpoints->type[0x11], usb_redir_type_bulk); // 0x81, IN
    EXPECT_EQ(host.endpoints->max_packet_size[0x11], 64);
    EXPECT_EQ(host.endpoints->type[0x02], usb_redir_type_invalid);

    // What the guest's kernel reads when it enumerates the device.
    const auto device = host.control(kIn, kGetDescriptor, 0x0100, 0, 64);
    ASSERT_TRUE(device);
    ASSERT_EQ(device->data.size(), 18u);
    EXPECT_EQ(Bytes(device->data.begin() + 8, device->data.begin() + 12),
              (Bytes{0xD8, 0x04, 0x0C, 0x00}));
    const auto head = host.control(kIn, kGetDescriptor, 0x0200, 0, 9);
    ASSERT_TRUE(head);
    ASSERT_EQ(head->data.size(), 9u);
    const int total = head->data[2] | head->data[3] << 8;
    const auto configuration = host.control(kIn, kGetDescriptor, 0x0200, 0, total);
    ASSERT_TRUE(configuration);
    ASSERT_EQ(configuration->data.size(), static_cast<std::size_t>(total));
    std::string endpoints;
    for (std::size_t at = 0; at + 1 < configuration->data.size(); at += configuration->data[at])
        if (configuration->data[at + 1] == 5) // endpoint descriptor: address, attributes
            endpoints += std::to_string(configuration->data[at + 2]) + "/" +
                         std::to_string(configuration->data[at + 3]) + " ";
    EXPECT_EQ(endpoints, "1/2 129/2 ");
    const auto product = host.control(kIn, kGetDescriptor, 0x0302, 0x0409, 255);
    ASSERT_TRUE(product);
    std::string name;
    for (std::size_t i = 2; i + 1 < product->data.size(); i += 2)
        name += static_cast<char>(product->data[i]);
    EXPECT_EQ(name, "Emulated light sensor");
    const auto bos = host.control(kIn, kGetDescriptor, 0x0F00, 0, 5);
    ASSERT_TRUE(bos);
    EXPECT_EQ(bos->status, usb_redir_stall);
    const auto vendor = host.control(kIn | 0x40, 1, 0, 0, 4);
    ASSERT_TRUE(vendor);
    EXPECT_EQ(vendor->status, usb_redir_stall);
    ASSERT_TRUE(host.setConfiguration(1));
    const auto active = host.getConfiguration();
    ASSERT_TRUE(active);
    EXPECT_EQ(active->data, Bytes{1});

    for (int i = 0; i < 50; ++i)
        expectRoundTrip(host);
    const auto led = host.transact({'0', 1});
    ASSERT_TRUE(led);
    EXPECT_EQ(led->data, (Bytes{'0', 1}));
    // A read with nothing asked waits until the host gives up.
    const auto nothing = host.bulkIn(64, 100ms);
    ASSERT_TRUE(nothing);
    EXPECT_EQ(nothing->status, usb_redir_cancelled);
    expectRoundTrip(host);
    EXPECT_EQ(emulator_->terminate(), 0) << emulator_->transcript();
}

TEST_F(UsbRedirFrontEnd, FaultKeysFromAPipeAndItsEndDoesNotStopIt) {
    start();
    RedirHost host;
    attach(host);
    expectRoundTrip(host);

    fault('s', "silent");
    ASSERT_TRUE(host.bulkOut({'L'}));
    const auto timedOut = host.bulkIn(64, 200ms);
    ASSERT_TRUE(timedOut);
    EXPECT_EQ(timedOut->status, usb_redir_cancelled);
    fault('a', "answer");
    expectRoundTrip(host);

    fault('h', "short");
    const auto shortReply = host.transact({'L'});
    ASSERT_TRUE(shortReply);
    EXPECT_EQ(shortReply->data, Bytes(kLight.begin(), kLight.end() - 1));
    fault('n', "normal");
    expectRoundTrip(host);

    // Unplugged: a read in flight ends, the host is told, transfers fail until replugged.
    ASSERT_TRUE(host.bulkOut({'T'}));
    const auto pending = host.bulkIn(64, 1ms); // answered at once: the reply was queued
    ASSERT_TRUE(pending);
    fault('u', "unplug");
    ASSERT_TRUE(host.waitFor([&] { return host.disconnects == 1; }));
    const auto refused = host.bulkOut({'L'});
    ASSERT_TRUE(refused);
    EXPECT_EQ(refused->status, usb_redir_ioerror);
    fault('p', "replug");
    ASSERT_TRUE(host.waitFor([&] { return host.device.has_value(); }));
    EXPECT_EQ(host.connects, 2);
    expectRoundTrip(host);

    // A host that connects while the sensor is unplugged sees it when it is plugged in.
    fault('u', "unplug");
    RedirHost late;
    ASSERT_TRUE(late.connect(socket_));
    EXPECT_FALSE(late.waitFor([&] { return late.device.has_value(); }, 300ms));
    fault('p', "replug");
    ASSERT_TRUE(late.waitFor([&] { return late.device.has_value(); }));
    expectRoundTrip(late);

    // The end of the keys is not the end of the emulator.
    emulator_->closeKeys();
    RedirHost again;
    attach(again);
    expectRoundTrip(again);
    EXPECT_TRUE(emulator_->running());
    EXPECT_EQ(emulator_->terminate(), 0) << emulator_->transcript();
}

// The late reply: held past the host's time-out, it stays queued ahead of the next
// reply, as the real sensor keeps it, until it is read or the device is reset.
TEST_F(UsbRedirFrontEnd, LateReplyStaysQueuedUntilReadOrReset) {
    start({"--late-ms", "300"});
    RedirHost host;
    attach(host);
    expectRoundTrip(host);

    fault('l', "late");
    ASSERT_TRUE(host.bulkOut({'L'}));
    const auto gaveUp = host.bulkIn(64, 50ms);
    ASSERT_TRUE(gaveUp);
    EXPECT_EQ(gaveUp->status, usb_redir_cancelled);
    ASSERT_TRUE(emulator_->waitForLine("late reply held 300 ms")) << emulator_->transcript();
    ASSERT_TRUE(emulator_->waitForLine("nobody is reading")) << emulator_->transcript();
    ASSERT_TRUE(host.bulkOut({'T'}));
    const auto stale = host.bulkIn(64, 1s);
    ASSERT_TRUE(stale);
    EXPECT_EQ(stale->data, kLight) << "the temperature request is answered with the light";
    const auto behind = host.bulkIn(64, 1s);
    ASSERT_TRUE(behind);
    EXPECT_EQ(behind->data, kTemperature);

    // A reset drops the held reply.
    fault('l', "late");
    ASSERT_TRUE(host.bulkOut({'L'}));
    EXPECT_EQ(host.bulkIn(64, 50ms)->status, usb_redir_cancelled);
    host.reset();
    ASSERT_TRUE(emulator_->waitForLine("reset by the host"));
    expectRoundTrip(host);
    const auto nothing = host.bulkIn(64, 600ms);
    ASSERT_TRUE(nothing);
    EXPECT_EQ(nothing->status, usb_redir_cancelled) << "nothing stale after the reset";

    // A host that waits long enough gets the late reply in its place.
    fault('l', "late");
    ASSERT_TRUE(host.bulkOut({'L'}));
    const auto patient = host.bulkIn(64, 5s);
    ASSERT_TRUE(patient);
    EXPECT_EQ(patient->data, kLight);
    ASSERT_TRUE(emulator_->waitForLine("sent to the waiting read"));
    expectRoundTrip(host);
}

TEST_F(UsbRedirFrontEnd, ServesTheHostAgainAfterItWentAway) {
    start();
    {
        RedirHost first;
        attach(first);
        expectRoundTrip(first);
    } // the host quits (qemu killed)
    ASSERT_TRUE(emulator_->waitForLine("disconnected")) << emulator_->transcript();
    RedirHost second;
    attach(second);
    expectRoundTrip(second);
    // A host that connects while another is connected takes the device over.
    RedirHost third;
    attach(third);
    EXPECT_TRUE(second.waitFor([] { return false; }, 2s) == false && second.closedByPeer);
    expectRoundTrip(third);

    // While one emulator serves the socket, a second one refuses to take it over.
    EmulatorProcess intruder(SENSOR_EMULATOR, {"--usbredir", socket_});
    EXPECT_EQ(intruder.wait(), 1);
    EXPECT_TRUE(intruder.waitForLine("in use")) << intruder.transcript();
    expectRoundTrip(third);
    EXPECT_EQ(emulator_->terminate(), 0);
    EXPECT_NE(access(socket_.c_str(), F_OK), 0) << "the socket is removed at the end";

    // A socket file left behind by an emulator that died is taken over.
    const int stale = socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::strcpy(address.sun_path, socket_.c_str());
    ASSERT_EQ(bind(stale, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    close(stale);
    start();
    RedirHost fourth;
    attach(fourth);
    expectRoundTrip(fourth);
}

TEST_F(UsbRedirFrontEnd, FaultTimetableUnplugsAndReplugs) {
    start({"--faults", "0.5:unplug,1.5:replug"});
    RedirHost host;
    attach(host);
    ASSERT_TRUE(host.waitFor([&] { return host.disconnects == 1; }));
    ASSERT_TRUE(host.waitFor([&] { return host.connects == 2; }));
    expectRoundTrip(host);
}

} // namespace
