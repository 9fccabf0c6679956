// Placeholder until the libusb implementation lands: no device can be opened.
#include "LibusbPipeLibrary.h"

struct LibusbPipeLibrary::Impl {};

LibusbPipeLibrary::LibusbPipeLibrary()
    : impl_(std::make_unique<Impl>()) {}
LibusbPipeLibrary::~LibusbPipeLibrary() = default;
std::uint32_t LibusbPipeLibrary::UsbGetDllVersion() {
    return 0;
}
usbapi::Pipe LibusbPipeLibrary::UsbOpen(std::uint32_t, const char*, const char*, std::uint32_t,
                                        std::uint32_t) {
    return usbapi::INVALID_PIPE;
}
std::uint32_t LibusbPipeLibrary::UsbRead(usbapi::Pipe, void*, std::uint32_t, std::uint32_t*,
                                         std::uint32_t) {
    return 0;
}
std::uint32_t LibusbPipeLibrary::UsbWrite(usbapi::Pipe, const void*, std::uint32_t, std::uint32_t*,
                                          std::uint32_t) {
    return 0;
}
void LibusbPipeLibrary::UsbClose(usbapi::Pipe) {}
usbapi::OpenFailure LibusbPipeLibrary::lastOpenFailure() const {
    return usbapi::OpenFailure::NoDevice;
}
bool LibusbPipeLibrary::hasHotplug() const {
    return false;
}
std::vector<usbapi::PipeEventSource::WatchedFd> LibusbPipeLibrary::fds() const {
    return {};
}
void LibusbPipeLibrary::handleEvents() {}
void LibusbPipeLibrary::setCallbacks(std::function<void()>, std::function<void()>) {}

namespace usbapi {
static LibusbPipeLibrary& binding() {
    static LibusbPipeLibrary library;
    return library;
}
PipeLibrary& DefaultPipeLibrary() {
    return binding();
}
PipeEventSource* DefaultPipeEvents() {
    return &binding();
}
} // namespace usbapi
