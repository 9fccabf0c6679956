// SPDX-License-Identifier: GPL-3.0-or-later
#include "UsbRedirFrontEnd.h"

#include "EmulatorSession.h"
#include "UsbRedirDevice.h"

#include <glib-unix.h>

#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <map>

namespace {

class UsbRedirPort : public PluggableDevice {
public:
    explicit UsbRedirPort(EmulatorSession& session)
        : session_(session)
        , device_(
              [&session](const std::uint8_t* request, std::size_t length) {
                  return session.sensor().answer(request, length, session.elapsed());
              },
              [&session](const std::string& event) { session.say(event); }) {
        device_.setVerbose(session.options().verbose);
    }
    ~UsbRedirPort() override {
        for (auto& [fd, watch] : waiting_) {
            g_source_remove(watch);
            close(fd);
        }
        if (acceptWatch_) g_source_remove(acceptWatch_);
        if (listening_ >= 0) {
            close(listening_);
            unlink(path_.c_str());
        }
    }

    bool listen(const std::string& path, std::string& error);
    bool plug(std::string&) override {
        device_.plug();
        return true;
    }
    void unplug() override { device_.unplug(); }

private:
    static gboolean onConnection(gint fd, GIOCondition, gpointer self);
    static gboolean onFirstWords(gint fd, GIOCondition, gpointer self);

    EmulatorSession& session_;
    UsbRedirDevice device_;
    std::string path_;
    int listening_ = -1;
    guint acceptWatch_ = 0;
    std::map<int, guint> waiting_; // connections that have not spoken yet, and their watches
};

// A socket file left by an emulator that is gone may be replaced; a live one may not.
bool socketInUse(const sockaddr_un& address) {
    const int probe = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    const bool inUse = probe >= 0 && connect(probe, reinterpret_cast<const sockaddr*>(&address),
                                             sizeof address) == 0;
    if (probe >= 0) close(probe);
    return inUse;
}

bool UsbRedirPort::listen(const std::string& path, std::string& error) {
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    if (path.empty() || path.size() >= sizeof address.sun_path) {
        error = "the socket path must have 1 to " + std::to_string(sizeof address.sun_path - 1) +
                " characters";
        return false;
    }
    std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
    struct stat existing {};
    if (lstat(path.c_str(), &existing) == 0) {
        if (!S_ISSOCK(existing.st_mode)) {
            error = path + " exists and is not a socket";
            return false;
        }
        if (socketInUse(address)) {
            error = path + " is in use by another program";
            return false;
        }
        unlink(path.c_str());
    }
    listening_ = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (listening_ < 0 ||
        bind(listening_, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0 ||
        ::listen(listening_, 4) != 0) {
        error = path + ": " + std::strerror(errno);
        if (listening_ >= 0) close(listening_);
        listening_ = -1;
        return false;
    }
    path_ = path;
    acceptWatch_ = g_unix_fd_add(listening_, G_IO_IN, onConnection, this);
    return true;
}

gboolean UsbRedirPort::onConnection(gint fd, GIOCondition, gpointer self) {
    auto* port = static_cast<UsbRedirPort*>(self);
    const int peer = accept4(fd, nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK);
    if (peer < 0) {
        if (errno != EAGAIN && errno != EINTR)
            port->session_.say(std::string("accepting a connection failed: ") +
                               std::strerror(errno));
        return G_SOURCE_CONTINUE;
    }
    port->waiting_[peer] = g_unix_fd_add(
        peer, static_cast<GIOCondition>(G_IO_IN | G_IO_HUP | G_IO_ERR), onFirstWords, port);
    return G_SOURCE_CONTINUE;
}

// One host at a time: a connection that speaks (qemu greets at once) replaces the one
// served so far, as when qemu was killed and started again before the old connection
// was seen to end. One that closes unheard, such as another emulator's check whether
// the socket is in use, changes nothing.
gboolean UsbRedirPort::onFirstWords(gint fd, GIOCondition, gpointer self) {
    auto* port = static_cast<UsbRedirPort*>(self);
    char first = 0;
    const ssize_t n = recv(fd, &first, 1, MSG_PEEK | MSG_DONTWAIT);
    if (n < 0 && (errno == EAGAIN || errno == EINTR)) return G_SOURCE_CONTINUE;
    port->waiting_.erase(fd);
    if (n > 0)
        port->device_.serve(fd);
    else
        close(fd);
    return G_SOURCE_REMOVE;
}

} // namespace

int runUsbRedirFrontEnd(EmulatorSession& session) {
    UsbRedirPort port(session);
    std::string error;
    if (!port.listen(session.options().usbredirSocket, error)) {
        std::fprintf(stderr, "sensor-emulator: cannot listen: %s\n", error.c_str());
        return 1;
    }
    if (!session.start(port)) return 2;
    session.say("listening on " + session.options().usbredirSocket);
    return session.run();
}
