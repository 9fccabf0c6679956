// SPDX-License-Identifier: GPL-3.0-or-later
// Counts the messages the collector refuses, and tells the journal of each station's each
// kind of bad input once, so that a station sending rubbish every second cannot flood it.
#pragma once

#include "collector/MessageIntake.h"

#include <QHash>
#include <QSet>
#include <QString>

#include <functional>

class RefusalLog {
public:
    // At most this many station-and-kind pairs are told; a flood of made-up names is then
    // only counted.
    static constexpr int kMaxTold = 10000;

    explicit RefusalLog(std::function<void(const QString&)> tell)
        : tell_(std::move(tell)) {}

    void Count(const Refusal& refusal);

    std::int64_t Total() const { return total_; }
    // "too large 3, malformed 12", or empty.
    QString Summary() const;

private:
    std::function<void(const QString&)> tell_;
    QSet<QString> told_;
    QHash<QString, std::int64_t> byKind_;
    std::int64_t total_ = 0;
    bool floodTold_ = false;
};
