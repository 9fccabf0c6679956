// SPDX-License-Identifier: GPL-3.0-or-later
// Answers kept for a while, so that many clients asking for the same night at once cost
// one reading of it: each kept compressed, for a few seconds, within a bound of bytes (the
// oldest go first).
#pragma once

#include "http/HttpResponse.h"

#include <QString>

#include <chrono>
#include <functional>
#include <list>
#include <map>
#include <memory>
#include <mutex>
#include <optional>

class AnswerCache {
public:
    using Clock = std::chrono::steady_clock;

    AnswerCache(qsizetype maxBytes, std::chrono::milliseconds lifetime)
        : maxBytes_(maxBytes)
        , lifetime_(lifetime) {}

    // The kept answer for `key`, else make() kept (when it is a 200) and returned. Clients
    // asking for the same key at once wait for one make().
    HttpResponse Get(const QString& key, bool gzip, const std::function<HttpResponse()>& make);

private:
    struct Entry {
        HttpResponse response;
        Clock::time_point made;
        std::list<QString>::iterator order;
    };
    void Drop(std::map<QString, Entry>::iterator it);

    qsizetype maxBytes_;
    std::chrono::milliseconds lifetime_;
    std::mutex mutex_;
    // One make() at a time per key: the others asking for it wait and then find it kept;
    // answers of other keys are made meanwhile.
    std::map<QString, std::weak_ptr<std::mutex>> making_;
    std::map<QString, Entry> entries_;
    std::list<QString> order_; // oldest first
    qsizetype bytes_ = 0;
};
