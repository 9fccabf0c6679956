// SPDX-License-Identifier: GPL-3.0-or-later
#include "collector/Collector.h"

#include "archive/ArchiveSchema.h"
#include "network/Confirmation.h"
#include "network/Messages.h"
#include "system/SystemdNotifier.h"

#include <QDateTime>

#include <algorithm>

namespace {

constexpr std::chrono::seconds kMaxBackOff{30};
// Messages read back from the spool per transaction.
constexpr std::size_t kReplayChunk = 20000;

} // namespace

Collector::Collector(CollectorSettings settings, EventLines& lines, SystemdNotifier* notifier,
                     Clock clock)
    : settings_(std::move(settings))
    , lines_(lines)
    , notifier_(notifier)
    , clock_(clock ? std::move(clock) : [] { return QDateTime::currentMSecsSinceEpoch(); })
    , intake_(settings_.prefix)
    , refusals_([this](const QString& text) { Tell(EventLines::Priority::Warning, text); }) {
    flushTimer_.setInterval(settings_.flushEvery);
    connect(&flushTimer_, &QTimer::timeout, this, &Collector::Flush);
    reportTimer_.setInterval(settings_.reportEvery);
    connect(&reportTimer_, &QTimer::timeout, this, &Collector::Report);
    confirmTimer_.setInterval(std::min(settings_.confirmEvery, std::chrono::milliseconds(1000)));
    connect(&confirmTimer_, &QTimer::timeout, this, &Collector::PublishConfirmations);
}

Collector::~Collector() = default;

void Collector::Tell(EventLines::Priority priority, const QString& text) {
    lines_.Line(priority, text);
}

bool Collector::Start(QString* why) {
    if (!spool_.Open(settings_.spoolPath, why)) return false;
    behind_ = !spool_.Empty();
    reachable_ = Connect();
    if (behind_)
        Tell(EventLines::Priority::Notice,
             QStringLiteral("the spool holds %1 bytes received before the last stop; writing "
                            "them into the archive")
                 .arg(spool_.Bytes()));
    Flush();
    lastReportMs_ = clock_();
    flushTimer_.start();
    reportTimer_.start();
    confirmTimer_.start();
    return true;
}

void Collector::Receive(const QByteArray& topic, const QByteArray& payload) {
    // A payload larger than any message of ours is refused unread and not spooled.
    if (payload.size() > messages::kMaxPayload) {
        archive::Batch none;
        if (auto refusal = intake_.Take(topic, payload, clock_() / 1000, none))
            refusals_.Count(*refusal);
        return;
    }
    spool_.Append(topic, payload);
    if (behind_) return; // read back from the spool later, in order
    if (auto refusal = intake_.Take(topic, payload, clock_() / 1000, batch_))
        refusals_.Count(*refusal);
    if (batch_.Size() >= settings_.memoryLimit && !reachable_) {
        // The archive is away and memory is full: from here on the spool alone holds them.
        batch_.Clear();
        behind_ = true;
        Tell(EventLines::Priority::Notice,
             QStringLiteral("more than %1 messages wait for the archive; they are kept in the "
                            "spool only")
                 .arg(settings_.memoryLimit));
    }
    if (batch_.Size() >= settings_.batchLimit && reachable_) Flush();
}

bool Collector::MakeDurable() {
    QString why;
    if (spool_.Sync(&why)) return true;
    Tell(EventLines::Priority::Error,
         QStringLiteral("%1; messages are not acknowledged until it works again").arg(why));
    return false;
}

bool Collector::Connect() {
    if (connection_.IsOpen()) return true;
    const std::int64_t now = clock_();
    if (now < nextAttempt_) return false;
    // The steps that say why they fail take `why`; opening and creating, which also fail
    // after a step that already said why, take `lost`, the reason when there is no other.
    QString why;
    QString lost;
    // The archive may have been restored while away: its confirmations are read again. One
    // made before they were kept gets its column here (confirmed as far as it holds), and
    // one made before the minute summaries its table.
    if (connection_.Open(settings_.database, &lost) && archiveschema::Exists(connection_, &why) &&
        (archiveschema::UpToDate(connection_, &why) || archiveschema::Create(connection_, &lost)) &&
        (book_.Load(connection_, &why) ||
         (archiveschema::Create(connection_, &lost) && book_.Load(connection_, &why)))) {
        // The back-off is reset by a commit, not by a connection: a server that takes the
        // connection and then refuses every batch is not asked again every second.
        writer_.Forget();
        // The minutes a collector stopped before working out their sky are taken up again;
        // failing that, only the sky of new ones is worked out.
        if (QString skyWhy; !sky_.Resume(clock_() / 1000, &skyWhy)) SkyFailed(skyWhy);
        return true;
    }
    if (why.isEmpty()) why = lost;
    connection_.Close();
    nextAttempt_ = now + std::chrono::milliseconds(backOff_).count();
    ArchiveLost(why);
    backOff_ = std::min(backOff_ * 2, kMaxBackOff);
    return false;
}

void Collector::ArchiveLost(const QString& why) {
    reachable_ = false;
    if (lostTold_) return;
    lostTold_ = true;
    Tell(EventLines::Priority::Error,
         QStringLiteral("the archive cannot be written (%1); messages are kept in the spool "
                        "and the archive is tried again with back-off")
             .arg(why));
    if (notifier_) notifier_->Status(QStringLiteral("archive away: keeping messages in the spool"));
}

bool Collector::WriteBatch(archive::Batch& batch) {
    QString why;
    if (writer_.Write(batch, &why)) {
        backOff_ = std::chrono::seconds(1);
        for (const ArchiveWriter::Refusal& r : writer_.Refused())
            refusals_.Count({r.station, QStringLiteral("not storable"),
                             QStringLiteral("the archive refused the %1: %2").arg(r.kind, r.why)});
        const std::int64_t now = clock_();
        for (const archive::Reading& r : batch.readings)
            lag_.Add(now - (r.utc + 1) * 1000);
        readingsSinceReport_ += std::int64_t(batch.readings.size());
        othersSinceReport_ += std::int64_t(batch.statuses.size() + batch.events.size());
        // Kept apart from the batch's transaction: a confirmation that is not stored only
        // makes stations send a few lines again.
        book_.Advance(batch.readings);
        book_.Store(connection_);
        // The sky of the minutes the batch touched that the stations did not sum up
        // themselves, apart from the batch too: what fails now is tried after the next one.
        QString why;
        if (sky_.Fill(batch.readings, now / 1000, &why))
            skyTold_ = false;
        else
            SkyFailed(why);
        return true;
    }
    // A broken connection is opened again on the next attempt; a refusal of the server
    // (a full disk, say) is retried the same way.
    connection_.Close();
    nextAttempt_ = clock_() + std::chrono::milliseconds(backOff_).count();
    backOff_ = std::min(backOff_ * 2, kMaxBackOff);
    ArchiveLost(why);
    return false;
}

void Collector::SkyFailed(const QString& why) {
    if (skyTold_) return;
    skyTold_ = true;
    Tell(EventLines::Priority::Warning,
         QStringLiteral("the sky of back-filled minutes cannot be worked out now: %1").arg(why));
}

void Collector::FillWaitingSky() {
    // Without batches (the stations silent, the back-fill done) the minutes still waiting
    // are worked out once old enough; after a failure only a batch tries again, so a
    // failing server is not asked four times a second.
    if (skyTold_ || !reachable_ || !connection_.IsOpen()) return;
    const std::int64_t now = clock_() / 1000;
    if (!sky_.Due(now)) return;
    if (QString why; !sky_.Fill({}, now, &why)) SkyFailed(why);
}

bool Collector::Replay() {
    const std::int64_t now = clock_() / 1000;
    return spool_.Replay(kReplayChunk, [&](std::vector<Spool::Message>& messages) {
        archive::Batch batch;
        for (const Spool::Message& m : messages)
            if (auto refusal = intake_.Take(m.topic, m.payload, now, batch))
                refusals_.Count(*refusal);
        return WriteBatch(batch);
    });
}

void Collector::Flush() {
    if (!behind_ && batch_.Empty()) return FillWaitingSky();
    if (!Connect()) return;
    if (behind_ ? !Replay() : !WriteBatch(batch_)) return;
    batch_.Clear();
    behind_ = false;
    if (QString why; !spool_.Truncate(&why)) Tell(EventLines::Priority::Warning, why);
    if (!reachable_) {
        reachable_ = true;
        if (lostTold_)
            Tell(EventLines::Priority::Notice,
                 QStringLiteral("the archive is written again; nothing was lost"));
        lostTold_ = false;
        if (notifier_) notifier_->Status(QStringLiteral("collecting"));
    }
}

void Collector::PublishConfirmations() {
    if (!publish_) return;
    if (reachable_ && connection_.IsOpen()) book_.Store(connection_);
    for (const auto& [station, confirmed] :
         book_.Due(clock_(), std::chrono::milliseconds(settings_.confirmEvery).count()))
        if (!publish_(confirmation::Topic(settings_.prefix, station),
                      confirmation::Encode(confirmed)))
            book_.Again(station);
}

void Collector::Finish() {
    confirmTimer_.stop();
    flushTimer_.stop();
    reportTimer_.stop();
    Flush();
    Report();
}

void Collector::Report() {
    const QString refused = refusals_.Summary();
    const std::int64_t now = clock_();
    Tell(EventLines::Priority::Info,
         QStringLiteral("stored %1 readings and %2 statuses and events in %3 s; lag p50 %4 s, "
                        "p99 %5 s, max %6 s; spool %7 bytes; refused %8")
             .arg(readingsSinceReport_)
             .arg(othersSinceReport_)
             .arg((now - lastReportMs_ + 500) / 1000)
             .arg(lag_.Percentile(0.5), 0, 'f', 2)
             .arg(lag_.Percentile(0.99), 0, 'f', 2)
             .arg(lag_.MaxSeconds(), 0, 'f', 2)
             .arg(spool_.Bytes())
             .arg(refused.isEmpty() ? QStringLiteral("none") : refused));
    lag_.Clear();
    lastReportMs_ = now;
    readingsSinceReport_ = 0;
    othersSinceReport_ = 0;
}
