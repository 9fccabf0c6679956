// SPDX-License-Identifier: GPL-3.0-or-later
// A server on a loopback TCP port that accepts every connection and then either passes
// its bytes on to a Unix socket (a PostgreSQL server of the test's own) or, while held,
// says nothing and passes nothing on: an archive that stops answering without closing
// anything, as a frozen machine does. Without a socket to pass on to, it never answers.
#pragma once

#include <QString>

#include <array>
#include <atomic>
#include <cstdint>
#include <mutex>
#include <thread>
#include <vector>

#include <QByteArray>

#include <algorithm>

#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

namespace testsupport {

class SilentRelay {
public:
    explicit SilentRelay(const QString& unixSocket = {})
        : target_(unixSocket) {
        listener_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof address;
        if (listener_ < 0 ||
            ::bind(listener_, reinterpret_cast<sockaddr*>(&address), length) != 0 ||
            ::listen(listener_, 16) != 0 ||
            ::getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &length) != 0 ||
            ::pipe2(wake_.data(), O_CLOEXEC) != 0)
            return;
        port_ = ntohs(address.sin_port);
        thread_ = std::thread([this] { Run(); });
    }
    ~SilentRelay() {
        ending_ = true;
        Wake();
        if (thread_.joinable()) thread_.join();
        for (const Pair& pair : pairs_)
            Close(pair);
        for (int fd : {listener_, wake_[0], wake_[1]})
            if (fd >= 0) ::close(fd);
    }
    SilentRelay(const SilentRelay&) = delete;
    SilentRelay& operator=(const SilentRelay&) = delete;

    bool Ok() const { return port_ != 0; }
    int Port() const { return port_; }
    // A libpq address of the server's "postgres" database through the relay.
    QString Url() const {
        return QStringLiteral("postgresql://postgres@127.0.0.1:%1/postgres?sslmode=disable"
                              "&gssencmode=disable")
            .arg(port_);
    }
    // While held, nothing passes in either direction; what was sent waits in the sockets.
    void Hold(bool hold) {
        held_ = hold;
        Wake();
    }
    // Connections accepted so far.
    int Accepted() const {
        const std::lock_guard lock(mutex_);
        return accepted_;
    }

private:
    struct Pair {
        int client = -1;
        int server = -1;
    };

    void Wake() {
        const char byte = 0;
        if (wake_[1] >= 0 && ::write(wake_[1], &byte, 1) < 0) {
        }
    }
    static void Close(const Pair& pair) {
        for (int fd : {pair.client, pair.server})
            if (fd >= 0) ::close(fd);
    }
    int ConnectTarget() const {
        if (target_.isEmpty()) return -1;
        const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        const QByteArray path = target_.toLocal8Bit();
        std::copy_n(path.constData(),
                    std::min<std::size_t>(std::size_t(path.size()), sizeof address.sun_path - 1),
                    address.sun_path);
        if (::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
            ::close(fd);
            return -1;
        }
        return fd;
    }
    // Passes what `from` has to `to`; false when either end closed.
    static bool Pass(int from, int to) {
        char buffer[65536];
        const ssize_t got = ::read(from, buffer, sizeof buffer);
        if (got <= 0) return false;
        for (ssize_t sent = 0; sent < got;) {
            const ssize_t n = ::write(to, buffer + sent, std::size_t(got - sent));
            if (n <= 0) return false;
            sent += n;
        }
        return true;
    }
    void Run() {
        while (!ending_) {
            std::vector<pollfd> fds{{listener_, POLLIN, 0}, {wake_[0], POLLIN, 0}};
            const bool held = held_;
            if (!held)
                for (const Pair& pair : pairs_) {
                    fds.push_back({pair.client, POLLIN, 0});
                    fds.push_back({pair.server, short(pair.server >= 0 ? POLLIN : 0), 0});
                }
            if (::poll(fds.data(), fds.size(), -1) < 0) continue;
            if (fds[1].revents != 0) {
                char drain[64];
                if (::read(wake_[0], drain, sizeof drain) < 0) {
                }
            }
            if (fds[0].revents != 0) {
                const int client = ::accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
                if (client >= 0) {
                    pairs_.push_back({client, ConnectTarget()});
                    const std::lock_guard lock(mutex_);
                    ++accepted_;
                }
            }
            if (held) continue;
            std::vector<Pair> open;
            for (std::size_t i = 0; i < pairs_.size(); ++i) {
                const Pair& pair = pairs_[i];
                // The pairs polled are those before any accepted in this round.
                const std::size_t at = 2 + 2 * i;
                bool alive = true;
                if (at + 1 < fds.size()) {
                    if (fds[at].revents != 0)
                        alive = pair.server >= 0 ? Pass(pair.client, pair.server)
                                                 : Discard(pair.client);
                    if (alive && pair.server >= 0 && fds[at + 1].revents != 0)
                        alive = Pass(pair.server, pair.client);
                }
                if (alive)
                    open.push_back(pair);
                else
                    Close(pair);
            }
            pairs_ = std::move(open);
        }
    }
    // Without a server behind: reads what the client says and answers nothing.
    static bool Discard(int from) {
        char buffer[4096];
        return ::read(from, buffer, sizeof buffer) > 0;
    }

    QString target_;
    int listener_ = -1;
    int port_ = 0;
    std::array<int, 2> wake_{-1, -1};
    std::atomic<bool> held_ = false;
    std::atomic<bool> ending_ = false;
    mutable std::mutex mutex_;
    int accepted_ = 0;
    std::vector<Pair> pairs_; // the relay's thread's own
    std::thread thread_;
};

} // namespace testsupport
