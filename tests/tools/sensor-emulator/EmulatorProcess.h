// SPDX-License-Identifier: GPL-3.0-or-later
// The sensor emulator run as a separate process, as a test harness or a VM test would
// run it: keys go into its standard input through a pipe, its event lines come back
// from its standard error.
#pragma once

#include <chrono>
#include <string>
#include <vector>

class EmulatorProcess {
public:
    EmulatorProcess(const std::string& program, const std::vector<std::string>& arguments);
    ~EmulatorProcess(); // ends it with SIGTERM if it still runs

    // Waits for an event line that contains `text`, after those already matched.
    bool waitForLine(const std::string& text,
                     std::chrono::milliseconds timeout = std::chrono::seconds(10));
    void key(char key);
    // Closes its standard input: the end of the keys.
    void closeKeys();
    bool running();
    // Sends SIGTERM and returns the exit status (-1 when it did not end in time); the
    // status it ended with when it had ended already.
    int terminate();
    // Waits for it to end by itself; its exit status, or -1 when it still runs.
    int wait(std::chrono::milliseconds timeout = std::chrono::seconds(10));
    // Every line so far, for failure messages.
    std::string transcript() const { return transcript_; }

private:
    void readLines(int timeoutMs);

    int pid_ = -1;
    int exitStatus_ = -1;
    int keys_ = -1;
    int events_ = -1;
    std::string pending_;
    std::vector<std::string> lines_;
    std::size_t matched_ = 0;
    std::string transcript_;
};
