// SPDX-License-Identifier: GPL-3.0-or-later
// Answers kept for the next clients, each compressed once, within a bound of bytes (the
// least recently asked go first). Two kinds: an answer that may still change (a night
// being written, the figures of today) is kept for a few seconds, so that many clients
// asking for it at once cost one reading of it; an answer over lines the archive has
// confirmed whole (a night that is over) cannot change, and is kept until it is pushed
// out, with an ETag so that a browser that has it is answered "not modified".
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
    // Makes the answer; sets `complete` when it can never change.
    using Make = std::function<HttpResponse(bool& complete)>;

    // `lifetime` for answers that may change (0: not kept); `maxCompleteBytes` bounds the
    // answers that cannot (0: not kept either).
    AnswerCache(qsizetype maxBytes, std::chrono::milliseconds lifetime, qsizetype maxCompleteBytes)
        : maxBytes_(maxBytes)
        , lifetime_(lifetime)
        , maxCompleteBytes_(maxCompleteBytes) {}

    // The kept answer for `key`, else make() kept (when it is a 200) and returned. Clients
    // asking for the same key at once wait for one make().
    HttpResponse Get(const QString& key, bool gzip, const Make& make);

private:
    struct Entry {
        HttpResponse response;
        Clock::time_point made;
        bool complete = false;
        std::list<QString>::iterator order;
    };
    using Entries = std::map<QString, Entry>;
    std::optional<HttpResponse> Lookup(const QString& full);
    void Keep(const QString& full, const HttpResponse& response, bool complete);
    void Drop(Entries::iterator it);

    qsizetype maxBytes_;
    std::chrono::milliseconds lifetime_;
    qsizetype maxCompleteBytes_;
    std::mutex mutex_;
    // One make() at a time per key: the others asking for it wait and then find it kept;
    // answers of other keys are made meanwhile.
    std::map<QString, std::weak_ptr<std::mutex>> making_;
    Entries entries_;
    std::list<QString> order_; // least recently asked first
    qsizetype bytes_ = 0;
    qsizetype completeBytes_ = 0;
};
