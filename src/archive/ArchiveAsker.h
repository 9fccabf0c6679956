// SPDX-License-Identifier: GPL-3.0-or-later
// Asks the archive's reader its questions on a thread of its own, so that the thread that
// asks (a window's) waits for an answer only as long as it chooses. One question at a time:
// while one is unanswered, the next is not asked but refused at once; its answer, when it
// comes late, is kept for the same question asked again (until an answer comes in time
// again), and a callback on the asking thread says that the archive answered, so that a
// slow archive's answers are shown, not asked for again and again. Ended, it interrupts a question
// that waits and joins its thread.
#pragma once

#include "archive/ArchiveReader.h"

#include <QObject>
#include <QString>

#include <any>
#include <condition_variable>
#include <exception>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>

class ArchiveAsker {
public:
    explicit ArchiveAsker(std::unique_ptr<ArchiveReader> reader);
    ~ArchiveAsker();
    ArchiveAsker(const ArchiveAsker&) = delete;
    ArchiveAsker& operator=(const ArchiveAsker&) = delete;

    // From now on, waits at most `patienceMs` for an answer (negative: until the reader's
    // own limits end the wait), not at all while the archive has not answered since a
    // question went late, and calls `answered` on this thread when a question that was not
    // waited for is answered.
    void AnswerLater(int patienceMs, std::function<void()> answered);

    // The answer to `question`, which `key` names; none when it did not come in time or
    // another question is still unanswered. Rethrows what the question threw.
    template <class T>
    std::optional<T> Ask(const QString& key, std::function<T(ArchiveReader&)> question) {
        std::optional<std::any> answer =
            AskAny(key, [question](ArchiveReader& reader) { return std::any(question(reader)); });
        if (!answer) return std::nullopt;
        return std::any_cast<T>(std::move(*answer));
    }

    // Whether a question waits for its answer now.
    bool Waiting() const;

private:
    struct Question {
        QString key;
        std::function<std::any(ArchiveReader&)> ask;
        std::any answer;
        std::exception_ptr error;
        bool answered = false;
        bool late = false; // no one waits for it: say when it is answered
    };

    std::optional<std::any> AskAny(const QString& key, std::function<std::any(ArchiveReader&)> ask);
    static std::optional<std::any> Take(std::shared_ptr<Question> question,
                                        std::unique_lock<std::mutex>& lock);
    void Work();

    std::unique_ptr<ArchiveReader> reader_;
    QObject receiver_; // lives on the asking thread: the callback runs there
    mutable std::mutex mutex_;
    std::condition_variable changed_;
    std::shared_ptr<Question> question_;
    std::map<QString, std::shared_ptr<Question>> late_; // answered, not yet asked again
    bool asked_ = false;                                // question_ waits for the worker
    bool ending_ = false;
    bool away_ = false; // a question went unanswered in time, and none was answered since
    int patienceMs_ = -1;
    std::function<void()> answered_;
    std::thread worker_;
};
