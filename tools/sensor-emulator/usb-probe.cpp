// SPDX-License-Identifier: GPL-3.0-or-later
// usb-probe: talks to the light sensor 04D8:000C through libusb alone, to measure and to
// check the emulated sensor (it shares no code with Nocturo).
//
//   usb-probe [--count N] [--check] [--timeout MS]   N 'L'+'T' round trips, and their rate
//   usb-probe --for S                                 round trips for S seconds: the plain
//                                                     loop the programs are measured against
//   usb-probe --replug [--deadline S]                 the device goes away and comes back
//   usb-probe --faults-seen [--seconds S]             time-outs and short replies, then good
//   usb-probe --late [--deadline S]                   a late reply stays queued until a reset
//
// Exits 0 when what it was asked to see was seen.
#include <libusb.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

constexpr std::uint16_t kVendorId = 0x04D8, ProductId = 0x000C;
constexpr unsigned char kEndpointOut = 0x01, EndpointIn = 0x81;
using Clock = std::chrono::steady_clock;

struct Options {
    long count = 1000;
    double forSeconds = 0; // run for this long instead of `count` round trips
    bool check = false;
    bool replug = false;
    bool faultsSeen = false;
    bool late = false;
    unsigned timeoutMs = 50;
    double deadline = 5;
    double seconds = 3;
};

double since(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

int fail(const char* what) {
    std::fprintf(stderr, "usb-probe: %s\n", what);
    return 1;
}

libusb_device_handle* openSensor(libusb_context* ctx) {
    libusb_device_handle* handle = libusb_open_device_with_vid_pid(ctx, kVendorId, ProductId);
    if (handle && libusb_claim_interface(handle, 0) != 0) {
        libusb_close(handle);
        handle = nullptr;
    }
    return handle;
}

int countSensors(libusb_context* ctx) {
    libusb_device** list = nullptr;
    const ssize_t n = libusb_get_device_list(ctx, &list);
    int found = 0;
    for (ssize_t i = 0; i < n; ++i) {
        libusb_device_descriptor d{};
        if (libusb_get_device_descriptor(list[i], &d) == 0 && d.idVendor == kVendorId &&
            d.idProduct == ProductId)
            ++found;
    }
    libusb_free_device_list(list, 1);
    return found;
}

// One request and its reply. Returns a libusb error code; `got` is the reply's length.
int transact(libusb_device_handle* h, unsigned timeoutMs, const char* request, int length,
             unsigned char* reply, int wanted, int& got) {
    int sent = 0;
    got = 0;
    unsigned char out[2];
    std::memcpy(out, request, length);
    const int r = libusb_bulk_transfer(h, kEndpointOut, out, length, &sent, timeoutMs);
    if (r != 0) return r;
    return libusb_bulk_transfer(h, EndpointIn, reply, wanted, &got, timeoutMs);
}

struct Reading {
    int count, range;
    double celsius;
};

// One 'L' and one 'T' round trip; false unless both replies came whole.
bool roundTrip(libusb_device_handle* h, unsigned timeoutMs, Reading& reading,
               int* error = nullptr) {
    unsigned char light[3], temperature[2];
    int got = 0;
    int r = transact(h, timeoutMs, "L", 1, light, 3, got);
    if (r == 0 && got == 3) r = transact(h, timeoutMs, "T", 1, temperature, 2, got);
    if (error) *error = r;
    if (r != 0 || got != 2) return false;
    reading.count = light[0] | light[1] << 8;
    reading.range = light[2];
    const auto raw = static_cast<std::int16_t>(temperature[0] | temperature[1] << 8);
    reading.celsius = (raw >> 3) / 16.0;
    return true;
}

bool plausible(const Reading& r) {
    static const int factors[] = {0, 120, 8, 4, 2, 1};
    if (r.range < 1 || r.range > 5) return false;
    // A range is left at a full count, so any other range than the most sensitive one
    // reads at least a few thousand counts.
    if (r.range < 5 && r.count * factors[r.range] / factors[r.range + 1] < 1000) return false;
    return r.celsius > -40 && r.celsius < 85;
}

int rate(libusb_context* ctx, const Options& o) {
    libusb_device_handle* h = openSensor(ctx);
    if (!h) return fail("no sensor 04D8:000C to open");
    Reading reading{};
    const auto start = Clock::now();
    long done = 0;
    for (; o.forSeconds > 0 ? (done % 64 != 0 || since(start) < o.forSeconds) : done < o.count;
         ++done) {
        if (!roundTrip(h, o.timeoutMs, reading)) return fail("a round trip failed");
        if (o.check && !plausible(reading)) {
            std::fprintf(stderr, "usb-probe: implausible reading: count %d range %d %.2f C\n",
                         reading.count, reading.range, reading.celsius);
            return 1;
        }
    }
    const double elapsed = since(start);
    std::printf("usb-probe: %ld 'L'+'T' round trips in %.3f s: %.0f per second\n", done, elapsed,
                done / elapsed);
    std::printf("usb-probe: last reading: count %d, range %d, %.2f C\n", reading.count,
                reading.range, reading.celsius);
    if (o.check) {
        // The LED command answers two bytes; a read with nothing asked times out.
        unsigned char reply[8];
        int got = 0;
        if (transact(h, o.timeoutMs, "0\1", 2, reply, 2, got) != 0 || got != 2)
            return fail("the LED command got no two-byte reply");
        const auto before = Clock::now();
        const int r = libusb_bulk_transfer(h, EndpointIn, reply, 3, &got, o.timeoutMs);
        if (r != LIBUSB_ERROR_TIMEOUT) return fail("a read with nothing asked did not time out");
        if (since(before) > 1.0) return fail("the time-out took far longer than asked");
        if (!roundTrip(h, o.timeoutMs, reading)) return fail("no round trip after a time-out");
    }
    libusb_close(h);
    return 0;
}

int hotplugCount(libusb_context*, libusb_device*, libusb_hotplug_event event, void* data) {
    auto* counts = static_cast<int*>(data);
    ++counts[event == LIBUSB_HOTPLUG_EVENT_DEVICE_ARRIVED ? 0 : 1];
    return 0;
}

void pump(libusb_context* ctx) {
    timeval tv{0, 10000};
    libusb_handle_events_timeout_completed(ctx, &tv, nullptr);
}

int replug(libusb_context* ctx, const Options& o) {
    int counts[2] = {0, 0}; // arrivals, removals
    const bool hotplug = libusb_has_capability(LIBUSB_CAP_HAS_HOTPLUG);
    if (hotplug)
        libusb_hotplug_register_callback(
            ctx,
            static_cast<libusb_hotplug_event>(LIBUSB_HOTPLUG_EVENT_DEVICE_ARRIVED |
                                              LIBUSB_HOTPLUG_EVENT_DEVICE_LEFT),
            LIBUSB_HOTPLUG_NO_FLAGS, kVendorId, ProductId, LIBUSB_HOTPLUG_MATCH_ANY, hotplugCount,
            counts, nullptr);
    const auto start = Clock::now();
    libusb_device_handle* old = openSensor(ctx);
    if (!old) return fail("no sensor 04D8:000C to open");
    Reading reading{};
    if (!roundTrip(old, o.timeoutMs, reading)) return fail("no round trip before the unplug");
    int error = 0;
    while (roundTrip(old, o.timeoutMs, reading, &error))
        if (since(start) > o.deadline) return fail("the device never went away");
    std::printf("usb-probe: device gone after %.2f s (%s)\n", since(start),
                libusb_error_name(error));
    while (countSensors(ctx) != 0) {
        pump(ctx);
        if (since(start) > o.deadline) return fail("the device stayed in libusb's list");
    }
    while (countSensors(ctx) != 1) {
        pump(ctx);
        if (since(start) > o.deadline) return fail("the device never came back");
    }
    std::printf("usb-probe: device back after %.2f s\n", since(start));
    if (roundTrip(old, o.timeoutMs, reading)) return fail("a handle from before the unplug works");
    libusb_close(old);
    libusb_device_handle* h = openSensor(ctx);
    if (!h) return fail("cannot open the device after it came back");
    if (!roundTrip(h, o.timeoutMs, reading) || !plausible(reading))
        return fail("no good round trip after the device came back");
    pump(ctx);
    libusb_close(h);
    if (hotplug) {
        std::printf("usb-probe: hotplug: %d arrival(s), %d removal(s)\n", counts[0], counts[1]);
        if (counts[0] < 1 || counts[1] < 1) return fail("hotplug events missing");
    }
    return 0;
}

int faultsSeen(libusb_context* ctx, const Options& o) {
    libusb_device_handle* h = openSensor(ctx);
    if (!h) return fail("no sensor 04D8:000C to open");
    long good = 0, timedOut = 0, shortReply = 0, other = 0;
    bool lastGood = false;
    const auto start = Clock::now();
    while (since(start) < o.seconds) {
        unsigned char reply[3];
        int got = 0;
        const int r = transact(h, o.timeoutMs, "L", 1, reply, 3, got);
        lastGood = r == 0 && got == 3;
        if (lastGood)
            ++good;
        else if (r == LIBUSB_ERROR_TIMEOUT)
            ++timedOut;
        else if (r == 0)
            ++shortReply;
        else
            ++other;
    }
    libusb_close(h);
    std::printf("usb-probe: %ld good, %ld timed out, %ld short, %ld other\n", good, timedOut,
                shortReply, other);
    return good > 0 && timedOut > 0 && shortReply > 0 && other == 0 && lastGood ? 0 : 1;
}

// Waits for a light request to time out (the late fault), then finds its reply queued
// ahead of the next one, and a reset losing what is queued.
int lateSeen(libusb_context* ctx, const Options& o) {
    libusb_device_handle* h = openSensor(ctx);
    if (!h) return fail("no sensor 04D8:000C to open");
    unsigned char reply[64];
    int got = 0;
    const auto start = Clock::now();
    while (transact(h, o.timeoutMs, "L", 1, reply, sizeof reply, got) == 0) {
        if (since(start) > o.deadline) return fail("no request ever timed out");
    }
    const unsigned patient = 20 * o.timeoutMs + 1000;
    if (transact(h, o.timeoutMs, "T", 1, reply, sizeof reply, got) != 0 &&
        libusb_bulk_transfer(h, EndpointIn, reply, sizeof reply, &got, patient) != 0)
        return fail("the late reply never came");
    if (got != 3) return fail("the first reply after the time-out is not the late light reply");
    if (libusb_bulk_transfer(h, EndpointIn, reply, sizeof reply, &got, patient) != 0 || got != 2)
        return fail("the temperature reply did not follow the late one");
    unsigned char request[] = {'L'};
    if (libusb_bulk_transfer(h, kEndpointOut, request, 1, &got, o.timeoutMs) != 0)
        return fail("the device took no request");
    if (libusb_reset_device(h) != 0) return fail("the device cannot be reset");
    if (libusb_bulk_transfer(h, EndpointIn, reply, sizeof reply, &got, o.timeoutMs) !=
        LIBUSB_ERROR_TIMEOUT)
        return fail("a reply made before the reset was still queued after it");
    Reading reading{};
    if (!roundTrip(h, o.timeoutMs, reading) || !plausible(reading))
        return fail("no good round trip after the reset");
    libusb_close(h);
    std::printf("usb-probe: the late reply came in order, a reset cleared the queue\n");
    return 0;
}

bool parse(int argc, char** argv, Options& o) {
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        const bool hasValue = i + 1 < argc;
        if (a == "--check")
            o.check = true;
        else if (a == "--replug")
            o.replug = true;
        else if (a == "--faults-seen")
            o.faultsSeen = true;
        else if (a == "--late")
            o.late = true;
        else if (a == "--for" && hasValue)
            o.forSeconds = std::atof(argv[++i]);
        else if (a == "--count" && hasValue)
            o.count = std::atol(argv[++i]);
        else if (a == "--timeout" && hasValue)
            o.timeoutMs = static_cast<unsigned>(std::atoi(argv[++i]));
        else if (a == "--deadline" && hasValue)
            o.deadline = std::atof(argv[++i]);
        else if (a == "--seconds" && hasValue)
            o.seconds = std::atof(argv[++i]);
        else
            return false;
    }
    return o.count > 0 && o.timeoutMs > 0;
}

} // namespace

int main(int argc, char** argv) {
    Options o;
    if (!parse(argc, argv, o)) {
        std::fprintf(stderr,
                     "usage: usb-probe [--count N | --for S] [--check] [--timeout MS] | --replug "
                     "[--deadline S] | --faults-seen [--seconds S] | --late [--deadline S]\n");
        return 2;
    }
    libusb_context* ctx = nullptr;
    if (libusb_init(&ctx) != 0) return fail("libusb_init failed");
    const int result = o.replug       ? replug(ctx, o)
                       : o.faultsSeen ? faultsSeen(ctx, o)
                       : o.late       ? lateSeen(ctx, o)
                                      : rate(ctx, o);
    libusb_exit(ctx);
    return result;
}
