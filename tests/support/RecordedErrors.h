// SPDX-License-Identifier: GPL-3.0-or-later
// An error reporter that keeps every message instead of showing it.
#pragma once

#include "core/NocturoError.h"

#include <string>
#include <vector>

class RecordedErrors : public ErrorReporter {
public:
    std::vector<std::string> messages;
    void ShowError(const std::string& message) override { messages.push_back(message); }
};
