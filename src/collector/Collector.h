// SPDX-License-Identifier: GPL-3.0-or-later
// The collector's work between the broker and the archive. Every message received goes
// into the spool first; the subscription calls MakeDurable() after each read from the
// broker and only then lets the acknowledgements go out, so a message the broker counts
// as delivered is on this machine's disk. Batches are written into the archive every
// quarter second (sooner when large); once a batch is committed the spool is emptied.
// While the archive is away, messages keep arriving into the spool, the connection is
// tried again with back-off, and the journal says so once; what memory cannot hold is
// read back from the spool when the archive is there again. After each commit the
// stations' confirmations move (ConfirmationBook), and are handed to `publish` at most
// every `confirmEvery` per station, and the minutes the stations back-filled without
// summing them up get their sky (MinuteSky).
#pragma once

#include "archive/ArchiveBatch.h"
#include "archive/ArchiveWriter.h"
#include "archive/MinuteSky.h"
#include "archive/PgConnection.h"
#include "collector/ConfirmationBook.h"
#include "collector/LagStats.h"
#include "collector/MessageIntake.h"
#include "collector/RefusalLog.h"
#include "collector/Spool.h"
#include "system/JournalLines.h"

#include <QObject>
#include <QTimer>

#include <chrono>
#include <functional>

class SystemdNotifier;

struct CollectorSettings {
    QString database;  // libpq connection string; empty: the PG* environment
    QString prefix;    // topic prefix
    QString spoolPath; // the write-ahead file
    std::chrono::seconds reportEvery{60};
    std::chrono::milliseconds flushEvery{250};
    std::size_t batchLimit = 20000;   // a batch this large is written at once
    std::size_t memoryLimit = 500000; // beyond this, messages wait in the spool only
    std::chrono::milliseconds confirmEvery{10000};
};

class Collector : public QObject {
    Q_OBJECT
public:
    using Clock = std::function<std::int64_t()>; // UTC milliseconds since 1970
    // Publishes a retained message; false when it cannot now (it is tried again later).
    using Publish = std::function<bool(const QString& topic, const QByteArray& payload)>;

    Collector(CollectorSettings settings, EventLines& lines, SystemdNotifier* notifier,
              Clock clock = {});
    ~Collector() override;

    // Opens the spool, writes what it holds into the archive (or keeps it for later).
    bool Start(QString* why);

    // One message from the broker.
    void Receive(const QByteArray& topic, const QByteArray& payload);
    // Makes what was received durable; false when it cannot be (nothing since the last
    // call may then be acknowledged: the subscription drops the connection instead).
    bool MakeDurable();
    // Writes what is waiting; called by the timer, and at the end.
    void Flush();
    // At stop: writes what is held and says what was stored since the last report.
    void Finish();

    // Where confirmations go; none: they are kept in the archive only.
    void SetPublish(Publish publish) { publish_ = std::move(publish); }
    const ConfirmationBook& Confirmations() const { return book_; }

private:
    bool Connect();
    bool WriteBatch(archive::Batch& batch);
    bool Replay();
    void ArchiveLost(const QString& why);
    void SkyFailed(const QString& why);
    void FillWaitingSky();
    void Report();
    void PublishConfirmations();
    void Tell(EventLines::Priority priority, const QString& text);

    CollectorSettings settings_;
    EventLines& lines_;
    SystemdNotifier* notifier_;
    Clock clock_;
    MessageIntake intake_;
    RefusalLog refusals_;
    Spool spool_;
    PgConnection connection_;
    ArchiveWriter writer_{connection_};
    MinuteSky sky_{connection_};
    bool skyTold_ = false; // the journal said the sky could not be worked out
    archive::Batch batch_;
    bool behind_ = false; // the spool holds messages that are not in batch_
    bool reachable_ = false;
    bool lostTold_ = false;
    std::int64_t nextAttempt_ = 0; // ms
    std::chrono::seconds backOff_{1};
    QTimer flushTimer_;
    QTimer reportTimer_;
    QTimer confirmTimer_;
    ConfirmationBook book_;
    Publish publish_;
    LagStats lag_;
    std::int64_t readingsSinceReport_ = 0;
    std::int64_t lastReportMs_ = 0;
    std::int64_t othersSinceReport_ = 0;
};
