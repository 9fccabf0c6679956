// SPDX-License-Identifier: GPL-3.0-or-later
#include "EmulatorProcess.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <thread>

using Clock = std::chrono::steady_clock;

EmulatorProcess::EmulatorProcess(const std::string& program,
                                 const std::vector<std::string>& arguments) {
    int in[2], err[2];
    if (pipe2(in, O_CLOEXEC) != 0 || pipe2(err, O_CLOEXEC) != 0) return;
    std::vector<char*> argv{const_cast<char*>(program.c_str())};
    for (const std::string& a : arguments)
        argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    pid_ = fork();
    if (pid_ == 0) {
        dup2(in[0], STDIN_FILENO);
        dup2(err[1], STDERR_FILENO);
        execv(program.c_str(), argv.data());
        _exit(127);
    }
    close(in[0]);
    close(err[1]);
    keys_ = in[1];
    events_ = err[0];
}

EmulatorProcess::~EmulatorProcess() {
    if (pid_ > 0 && running()) terminate();
    if (keys_ >= 0) close(keys_);
    if (events_ >= 0) close(events_);
}

void EmulatorProcess::readLines(int timeoutMs) {
    pollfd p{events_, POLLIN, 0};
    if (poll(&p, 1, timeoutMs) <= 0) return;
    char buffer[4096];
    const ssize_t n = read(events_, buffer, sizeof buffer);
    if (n <= 0) {
        std::this_thread::sleep_for(std::chrono::milliseconds(timeoutMs)); // ended: no spin
        return;
    }
    pending_.append(buffer, static_cast<std::size_t>(n));
    for (std::size_t end; (end = pending_.find('\n')) != std::string::npos;) {
        lines_.push_back(pending_.substr(0, end));
        transcript_ += lines_.back() + "\n";
        pending_.erase(0, end + 1);
    }
}

bool EmulatorProcess::waitForLine(const std::string& text, std::chrono::milliseconds timeout) {
    const auto deadline = Clock::now() + timeout;
    for (;;) {
        for (; matched_ < lines_.size(); ++matched_)
            if (lines_[matched_].find(text) != std::string::npos) {
                ++matched_;
                return true;
            }
        if (Clock::now() >= deadline) return false;
        readLines(20);
    }
}

void EmulatorProcess::key(char key) {
    (void)!write(keys_, &key, 1);
}

void EmulatorProcess::closeKeys() {
    if (keys_ >= 0) close(keys_);
    keys_ = -1;
}

bool EmulatorProcess::running() {
    if (pid_ <= 0) return false;
    int status = 0;
    if (waitpid(pid_, &status, WNOHANG) == 0) return true;
    exitStatus_ = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    pid_ = -1;
    return false;
}

int EmulatorProcess::terminate() {
    if (pid_ <= 0) return exitStatus_;
    kill(pid_, SIGTERM);
    const auto deadline = Clock::now() + std::chrono::seconds(10);
    int status = 0;
    while (waitpid(pid_, &status, WNOHANG) == 0) {
        if (Clock::now() >= deadline) {
            kill(pid_, SIGKILL);
            waitpid(pid_, &status, 0);
            pid_ = -1;
            return -1;
        }
        readLines(20);
    }
    pid_ = -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

int EmulatorProcess::wait(std::chrono::milliseconds timeout) {
    const auto deadline = Clock::now() + timeout;
    while (running()) {
        if (Clock::now() >= deadline) return -1;
        readLines(20);
    }
    return exitStatus_;
}
