// SPDX-License-Identifier: GPL-3.0-or-later
#include "web/AnswerCache.h"

#include <QCryptographicHash>

void AnswerCache::Drop(Entries::iterator it) {
    (it->second.complete ? completeBytes_ : bytes_) -= it->second.response.body.size();
    order_.erase(it->second.order);
    entries_.erase(it);
}

std::optional<HttpResponse> AnswerCache::Lookup(const QString& full) {
    std::lock_guard lock(mutex_);
    const auto it = entries_.find(full);
    if (it == entries_.end()) return std::nullopt;
    Entry& entry = it->second;
    if (!entry.complete && Clock::now() - entry.made > lifetime_) {
        Drop(it);
        return std::nullopt;
    }
    order_.splice(order_.end(), order_, entry.order);
    return entry.response;
}

void AnswerCache::Keep(const QString& full, const HttpResponse& response, bool complete) {
    const qsizetype bound = complete ? maxCompleteBytes_ : maxBytes_;
    qsizetype& bytes = complete ? completeBytes_ : bytes_;
    std::lock_guard lock(mutex_);
    if (response.body.size() > bound) return;
    if (const auto it = entries_.find(full); it != entries_.end()) Drop(it);
    // The least recently asked of the same kind go first: a burst of answers that change
    // does not push out the nights that do not.
    for (auto it = order_.begin(); bytes + response.body.size() > bound && it != order_.end();) {
        const auto entry = entries_.find(*it++);
        if (entry->second.complete == complete) Drop(entry);
    }
    order_.push_back(full);
    entries_[full] = Entry{response, Clock::now(), complete, std::prev(order_.end())};
    bytes += response.body.size();
}

HttpResponse AnswerCache::Get(const QString& key, bool gzip, const Make& make) {
    const QString full = (gzip ? QStringLiteral("gz ") : QStringLiteral("id ")) + key;
    const bool keepChanging = maxBytes_ > 0 && lifetime_.count() > 0;
    if (!keepChanging && maxCompleteBytes_ <= 0) {
        bool complete = false;
        return make(complete);
    }
    if (auto kept = Lookup(full)) return *kept;
    std::shared_ptr<std::mutex> keyLock;
    {
        std::lock_guard lock(mutex_);
        keyLock = making_[full].lock();
        if (!keyLock) {
            keyLock = std::make_shared<std::mutex>();
            making_[full] = keyLock;
        }
        // Keys nobody is making any more go, so the map stays small.
        for (auto it = making_.begin(); it != making_.end();)
            it = it->second.expired() ? making_.erase(it) : std::next(it);
    }
    std::lock_guard making(*keyLock);
    if (auto kept = Lookup(full)) return *kept;
    bool complete = false;
    HttpResponse response = make(complete);
    if (response.status != 200) return response;
    complete = complete && maxCompleteBytes_ > 0;
    if (!complete && !keepChanging) return response;
    if (gzip && response.compressible && !response.gzipped) {
        response.body = GzipCompress(response.body);
        response.gzipped = true;
    }
    if (complete) {
        // Of the bytes as sent, so the compressed and the plain answer have tags of their own.
        const QByteArray digest =
            QCryptographicHash::hash(response.body, QCryptographicHash::Sha256).toHex().left(32);
        response.header("ETag", '"' + digest + '"');
        response.header("Cache-Control", "no-cache");
    }
    Keep(full, response, complete);
    return response;
}
