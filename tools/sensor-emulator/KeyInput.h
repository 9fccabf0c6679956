// SPDX-License-Identifier: GPL-3.0-or-later
// Fault keys from standard input. A terminal is put into single-key mode (and restored);
// a pipe or a FIFO is read through a read-write descriptor of its own, so that the last
// writer closing it is not an end and later writers are heard; a file is read to its
// end. The end of the input only stops the reading.
#pragma once

#include <glib.h>
#include <termios.h>

#include <functional>

class KeyInput {
public:
    explicit KeyInput(std::function<void(char)> onKey);
    ~KeyInput();
    KeyInput(const KeyInput&) = delete;
    KeyInput& operator=(const KeyInput&) = delete;

    // Starts reading; false when standard input gives no keys (closed, or a terminal this
    // process does not have in the foreground).
    bool start();
    bool fromTerminal() const { return terminal_; }

private:
    static gboolean onReadable(gint fd, GIOCondition condition, gpointer self);

    std::function<void(char)> onKey_;
    int fd_ = -1;
    bool ownFd_ = false;
    guint watch_ = 0;
    bool terminal_ = false;
    termios savedTerminal_{};
};
