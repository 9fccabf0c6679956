// SPDX-License-Identifier: GPL-3.0-or-later
#include "KeyInput.h"

#include <glib-unix.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

KeyInput::KeyInput(std::function<void(char)> onKey)
    : onKey_(std::move(onKey)) {}

KeyInput::~KeyInput() {
    if (watch_) g_source_remove(watch_);
    if (terminal_) tcsetattr(STDIN_FILENO, TCSANOW, &savedTerminal_);
    if (ownFd_) close(fd_);
}

bool KeyInput::start() {
    struct stat status {};
    if (fstat(STDIN_FILENO, &status) != 0) return false;
    if (isatty(STDIN_FILENO)) {
        // A terminal that belongs to another job would stop this process at tcsetattr.
        if (tcgetpgrp(STDIN_FILENO) != getpgrp() || tcgetattr(STDIN_FILENO, &savedTerminal_) != 0)
            return false;
        termios raw = savedTerminal_;
        raw.c_lflag &= ~(ICANON | ECHO);
        tcsetattr(STDIN_FILENO, TCSANOW, &raw);
        terminal_ = true;
        fd_ = STDIN_FILENO;
    } else if (S_ISFIFO(status.st_mode)) {
        // Holding the pipe open for writing as well means no end of input ever comes:
        // a FIFO that one writer after another opens keeps delivering their keys.
        fd_ = open("/proc/self/fd/0", O_RDWR | O_CLOEXEC);
        ownFd_ = fd_ >= 0;
        if (!ownFd_) fd_ = STDIN_FILENO;
    } else {
        fd_ = STDIN_FILENO;
    }
    watch_ = g_unix_fd_add(fd_, static_cast<GIOCondition>(G_IO_IN | G_IO_HUP | G_IO_ERR),
                           onReadable, this);
    return true;
}

gboolean KeyInput::onReadable(gint fd, GIOCondition, gpointer self) {
    auto* input = static_cast<KeyInput*>(self);
    char keys[64];
    const ssize_t n = read(fd, keys, sizeof keys);
    if (n < 0 && (errno == EINTR || errno == EAGAIN)) return G_SOURCE_CONTINUE;
    if (n <= 0) { // the end of the input, or an error: no more keys, nothing else ends
        input->watch_ = 0;
        return G_SOURCE_REMOVE;
    }
    for (ssize_t i = 0; i < n; ++i)
        input->onKey_(keys[i]);
    return G_SOURCE_CONTINUE;
}
