// SPDX-License-Identifier: GPL-3.0-or-later
#include "system/TerminationSignals.h"

#include <QSocketNotifier>

#include <atomic>
#include <cerrno>
#include <fcntl.h>
#include <stdexcept>
#include <system_error>
#include <unistd.h>

namespace {

constexpr int kSignals[3] = {SIGTERM, SIGHUP, SIGINT};

// The one value a signal handler can reach: the pipe's write end while an instance exists.
std::atomic<int> signalPipe{-1};
static_assert(std::atomic<int>::is_always_lock_free);

extern "C" void OnTerminationSignal(int signalNumber) {
    const int savedErrno = errno;
    const int fd = signalPipe.load(std::memory_order_relaxed);
    if (fd >= 0) {
        const unsigned char byte = static_cast<unsigned char>(signalNumber);
        // Non-blocking: when the pipe is full, a byte is already waiting to be read.
        [[maybe_unused]] const ssize_t written = ::write(fd, &byte, 1);
    }
    errno = savedErrno;
}

} // namespace

TerminationSignals::TerminationSignals(Handler handler, QObject* parent)
    : QObject(parent)
    , handler_(std::move(handler)) {
    if (signalPipe.load() >= 0) throw std::logic_error("termination signals already handled");
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC | O_NONBLOCK) != 0)
        throw std::system_error(errno, std::generic_category(), "pipe2");
    readFd_ = fds[0];
    writeFd_ = fds[1];
    signalPipe.store(writeFd_);

    notifier_ = std::make_unique<QSocketNotifier>(readFd_, QSocketNotifier::Read);
    connect(notifier_.get(), &QSocketNotifier::activated, this, &TerminationSignals::Drain);

    struct sigaction action {};
    action.sa_handler = OnTerminationSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (int i = 0; i < 3; ++i)
        sigaction(kSignals[i], &action, &previous_[i]);
}

TerminationSignals::~TerminationSignals() {
    for (int i = 0; i < 3; ++i)
        sigaction(kSignals[i], &previous_[i], nullptr);
    signalPipe.store(-1);
    notifier_.reset();
    ::close(readFd_);
    ::close(writeFd_);
}

void TerminationSignals::Drain() {
    unsigned char bytes[16];
    ssize_t count;
    while ((count = ::read(readFd_, bytes, sizeof bytes)) > 0) {
        for (ssize_t i = 0; i < count; ++i)
            if (handler_) handler_(bytes[i]);
    }
}
