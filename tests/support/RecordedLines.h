// SPDX-License-Identifier: GPL-3.0-or-later
// The logger's event lines, kept instead of written, with their priorities.
#pragma once

#include "system/JournalLines.h"

#include <QStringList>

#include <utility>
#include <vector>

class RecordedLines : public EventLines {
public:
    std::vector<std::pair<Priority, QString>> lines;
    void Line(Priority priority, const QString& text) override {
        lines.emplace_back(priority, text);
    }

    QStringList Texts() const {
        QStringList texts;
        for (const auto& [priority, text] : lines)
            texts << text;
        return texts;
    }
    // How many lines begin with `start`.
    int Count(const QString& start) const {
        int n = 0;
        for (const auto& [priority, text] : lines)
            n += text.startsWith(start) ? 1 : 0;
        return n;
    }
};
