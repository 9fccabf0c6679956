// SPDX-License-Identifier: GPL-3.0-or-later
#include "web/AnswerCache.h"

void AnswerCache::Drop(std::map<QString, Entry>::iterator it) {
    bytes_ -= it->second.response.body.size();
    order_.erase(it->second.order);
    entries_.erase(it);
}

HttpResponse AnswerCache::Get(const QString& key, bool gzip,
                              const std::function<HttpResponse()>& make) {
    const QString full = (gzip ? QStringLiteral("gz ") : QStringLiteral("id ")) + key;
    const auto lookup = [&]() -> std::optional<HttpResponse> {
        std::lock_guard lock(mutex_);
        const auto it = entries_.find(full);
        if (it == entries_.end()) return std::nullopt;
        if (Clock::now() - it->second.made > lifetime_) {
            Drop(it);
            return std::nullopt;
        }
        return it->second.response;
    };
    if (maxBytes_ <= 0) return make();
    if (auto kept = lookup()) return *kept;
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
    if (auto kept = lookup()) return *kept;
    HttpResponse response = make();
    if (response.status != 200) return response;
    if (gzip && response.compressible && !response.gzipped) {
        response.body = GzipCompress(response.body);
        response.gzipped = true;
    }
    std::lock_guard lock(mutex_);
    if (response.body.size() > maxBytes_) return response;
    if (const auto it = entries_.find(full); it != entries_.end()) Drop(it);
    while (bytes_ + response.body.size() > maxBytes_ && !order_.empty())
        Drop(entries_.find(order_.front()));
    order_.push_back(full);
    entries_[full] = Entry{response, Clock::now(), std::prev(order_.end())};
    bytes_ += response.body.size();
    return response;
}
