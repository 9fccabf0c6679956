// SPDX-License-Identifier: GPL-3.0-or-later
// An error meant for the user: its message is shown in the error box as it stands.
#pragma once

#include <stdexcept>
#include <string>

class NocturoError : public std::runtime_error {
public:
    explicit NocturoError(const std::string& message)
        : std::runtime_error(message) {}
};

// The one place errors are shown. The window shows a message box; tests may turn a
// report into a failure.
class ErrorReporter {
public:
    virtual ~ErrorReporter() = default;
    virtual void ShowError(const std::string& message) = 0;
};

// The text the error box shows: the message, with a full stop added when its last
// character sorts after ".".
inline std::string ErrorBoxText(std::string message) {
    if (!message.empty() && static_cast<unsigned char>(message.back()) > '.') message += '.';
    return message;
}
