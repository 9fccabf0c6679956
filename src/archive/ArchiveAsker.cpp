// SPDX-License-Identifier: GPL-3.0-or-later
#include "archive/ArchiveAsker.h"

#include <chrono>

ArchiveAsker::ArchiveAsker(std::unique_ptr<ArchiveReader> reader)
    : reader_(std::move(reader))
    , worker_([this] { Work(); }) {}

ArchiveAsker::~ArchiveAsker() {
    {
        const std::lock_guard lock(mutex_);
        ending_ = true;
    }
    reader_->Interrupt();
    changed_.notify_all();
    worker_.join();
}

void ArchiveAsker::AnswerLater(int patienceMs, std::function<void()> answered) {
    const std::lock_guard lock(mutex_);
    patienceMs_ = patienceMs;
    answered_ = std::move(answered);
}

bool ArchiveAsker::Waiting() const {
    const std::lock_guard lock(mutex_);
    return question_ && !question_->answered;
}

std::optional<std::any> ArchiveAsker::Take(std::shared_ptr<Question> question,
                                           std::unique_lock<std::mutex>& lock) {
    lock.unlock();
    if (question->error) std::rethrow_exception(question->error);
    return std::move(question->answer);
}

std::optional<std::any> ArchiveAsker::AskAny(const QString& key,
                                             std::function<std::any(ArchiveReader&)> ask) {
    constexpr std::size_t kLateKept = 8;
    std::unique_lock lock(mutex_);
    if (question_ && question_->answered) {
        // Answered late: kept for when it is asked again.
        late_[question_->key] = std::move(question_);
        if (late_.size() > kLateKept) late_.erase(late_.begin());
    }
    if (const auto found = late_.find(key); found != late_.end()) {
        std::shared_ptr<Question> question = std::move(found->second);
        late_.erase(found);
        return Take(std::move(question), lock);
    }
    if (question_) {
        question_->late = true;
        return std::nullopt;
    }
    question_ = std::make_shared<Question>();
    question_->key = key;
    question_->ask = std::move(ask);
    asked_ = true;
    changed_.notify_all();
    const auto answered = [this] { return question_->answered; };
    // An archive that let a question wait already is not waited for again until it answers.
    if (patienceMs_ < 0)
        changed_.wait(lock, answered);
    else if (!changed_.wait_for(lock, std::chrono::milliseconds(away_ ? 0 : patienceMs_),
                                answered)) {
        question_->late = true;
        away_ = true;
        return std::nullopt;
    }
    // Answering in time again: what came late before is older than what is asked now.
    late_.clear();
    return Take(std::move(question_), lock);
}

void ArchiveAsker::Work() {
    std::unique_lock lock(mutex_);
    while (true) {
        changed_.wait(lock, [this] { return ending_ || asked_; });
        if (ending_) return;
        asked_ = false;
        const std::shared_ptr<Question> question = question_;
        lock.unlock();
        std::any answer;
        std::exception_ptr error;
        try {
            answer = question->ask(*reader_);
        } catch (...) {
            error = std::current_exception();
        }
        lock.lock();
        question->answer = std::move(answer);
        question->error = error;
        question->answered = true;
        if (!error) away_ = false;
        changed_.notify_all();
        // A late failure is not announced: asked again at once, an archive that refuses
        // at once would be asked without end; the view's next look hears of it.
        if (question->late && !error && answered_ && !ending_)
            QMetaObject::invokeMethod(&receiver_, answered_, Qt::QueuedConnection);
    }
}
