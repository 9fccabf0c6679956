// SPDX-License-Identifier: GPL-3.0-or-later
// The USB pipe library: five operations that open a pipe to or from the sensor,
// move bytes through it and close it. TPICUSB talks to the sensor only through
// this interface, so a scripted fake can stand in for the real library in tests.
#pragma once

#include <cstdint>
#include <functional>
#include <vector>

namespace usbapi {

using Pipe = std::int32_t;
constexpr Pipe INVALID_PIPE = -1;

constexpr std::uint32_t DIRECTION_WRITE = 0;
constexpr std::uint32_t DIRECTION_READ = 1;

// Why the last open failed, as far as the library can tell.
enum class OpenFailure { None, NoDevice, AccessDenied, Busy, Other };

class PipeLibrary {
public:
    virtual ~PipeLibrary() = default;

    // Library version; its four bytes, least significant first, read like "1.0.26.0".
    virtual std::uint32_t UsbGetDllVersion() = 0;
    // A pipe handle, or INVALID_PIPE when the pipe cannot be opened.
    virtual Pipe UsbOpen(std::uint32_t instance, const char* deviceId, const char* endpoint,
                         std::uint32_t direction, std::uint32_t reserved) = 0;
    // Non-zero on success, 0 on failure or time-out. `received` is the length of the reply
    // as the device sent it, which may be more than `wanted`; at most `wanted` bytes are
    // stored.
    virtual std::uint32_t UsbRead(Pipe pipe, void* data, std::uint32_t wanted,
                                  std::uint32_t* received, std::uint32_t timeoutMs) = 0;
    virtual std::uint32_t UsbWrite(Pipe pipe, const void* data, std::uint32_t length,
                                   std::uint32_t* sent, std::uint32_t timeoutMs) = 0;
    // Accepts INVALID_PIPE and handles that are already closed, and then does nothing.
    virtual void UsbClose(Pipe pipe) = 0;

    virtual OpenFailure LastOpenFailure() const { return OpenFailure::None; }
};

// Lets the single event loop learn of device arrivals without a thread of its own:
// the loop watches Fds() and calls HandleEvents() when one is ready.
class PipeEventSource {
public:
    struct WatchedFd {
        int fd;
        short events; // poll(2) event bits
    };

    virtual ~PipeEventSource() = default;
    // true when arrivals are reported through events; otherwise the caller retries on a timer.
    virtual bool HasHotplug() const = 0;
    // Descriptors to watch; read again after the fds-changed callback has run.
    virtual std::vector<WatchedFd> Fds() const = 0;
    // Processes what is pending without blocking; runs the callbacks from within.
    virtual void HandleEvents() = 0;
    virtual void SetCallbacks(std::function<void()> onArrival,
                              std::function<void()> onFdsChanged) = 0;
};

// The real library of this machine (libusb), created on first use and alive for the
// whole process: the program's one binding of the pipe library.
PipeLibrary& DefaultPipeLibrary();
// Its event source, or nullptr when the platform has none.
PipeEventSource* DefaultPipeEvents();

} // namespace usbapi
