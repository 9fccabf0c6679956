// SPDX-License-Identifier: GPL-3.0-or-later
#include "network/StationPublisher.h"

#include "core/log/DayFileReader.h"
#include "core/log/DayFileSet.h"
#include "network/HomeAssistant.h"

#include <QDateTime>
#include <QDir>

#include <algorithm>

namespace {

constexpr int kError = 3;
constexpr int kWarning = 4;
constexpr int kNotice = 5;
constexpr std::size_t kMaxEventsKept = 20;
// A day of minutes: about 200 kB while the broker is away.
constexpr std::size_t kMaxMinutesKept = 1440;
// Lines taken by the broker and not yet confirmed, kept to move the cursor over them; one
// confirmed beyond them is found in the day files instead.
constexpr std::size_t kMaxSentKept = 20000;

} // namespace

StationPublisher::StationPublisher(PublisherSettings settings, Station& station, Say say,
                                   QObject* parent)
    : QObject(parent)
    , settings_(std::move(settings))
    , station_(station)
    , say_(std::move(say))
    , client_(settings_.broker)
    , feed_(settings_.dataDirectory)
    , time_(settings_.zone) {
    UpdateWill(); // here, once the members it reads are all set
    station_.AddObserver(this);
    station_.Log().AddObserver(this);
    connect(&client_, &MqttClient::ConnectionChanged, this, &StationPublisher::ConnectionChanged);
    connect(&client_, &MqttClient::Acknowledged, this, &StationPublisher::MessageAcknowledged);
    if (!settings_.withoutArchive) {
        connect(&client_, &MqttClient::MessageArrived, this, &StationPublisher::Heard);
        client_.Subscribe(confirmation::Topic(settings_.prefix, settings_.station), 1);
    }
    cursorTimer_.setInterval(settings_.cursorSaveMs);
    connect(&cursorTimer_, &QTimer::timeout, this, &StationPublisher::SaveCursor);
    sendTimer_.setInterval(1000);
    connect(&sendTimer_, &QTimer::timeout, this, &StationPublisher::Send);
}

StationPublisher::~StationPublisher() {
    station_.Log().RemoveObserver(this);
    station_.RemoveObserver(this);
}

void StationPublisher::Start() {
    QString why;
    acked_ = publishcursor::Load(settings_.dataDirectory, &why);
    confirmed_ = acked_;
    if (!why.isEmpty())
        say_(kWarning, QStringLiteral("publishing: %1; the lines of the day go again").arg(why));
    StartFrom(acked_);
    cursorTimer_.start();
    sendTimer_.start();
    client_.Start();
}

void StationPublisher::Stop() {
    if (stopped_) return;
    stopped_ = true;
    cursorTimer_.stop();
    sendTimer_.stop();
    SaveCursor();
    if (client_.Connected()) PublishStatus(false);
    client_.Stop();
}

QString StationPublisher::Topic(messages::Kind kind) const {
    return messages::Topic(settings_.prefix, settings_.station, kind);
}

messages::Status StationPublisher::CurrentStatus(bool online) const {
    messages::Status status;
    status.online = online;
    status.linkUp = linkUp_;
    status.hint = linkUp_ ? QString() : hint_;
    status.version = settings_.version;
    const std::int64_t day = DayFileSet::DayOfName(station_.Log().LogFileName());
    if (day != DayFileSet::kUndated) status.newestDay = IsoDate(day);
    return status;
}

void StationPublisher::PublishStatus(bool online) {
    UpdateWill();
    client_.Publish(Topic(messages::Kind::Status), messages::Encode(CurrentStatus(online)), 1,
                    true);
}

void StationPublisher::UpdateWill() {
    // The will of the next connection says what the status says, offline.
    client_.SetWill(
        LastWill{Topic(messages::Kind::Status), messages::Encode(CurrentStatus(false)), 1, true});
}

void StationPublisher::PublishDiscovery() {
    for (const auto& [topic, payload] :
         homeassistant::Discovery(settings_.prefix, settings_.station, settings_.version))
        client_.Publish(topic, payload, 1, true);
}

void StationPublisher::Event(int priority, const QString& text) {
    messages::Event event;
    event.utc = QDateTime::currentSecsSinceEpoch();
    event.priority = priority;
    event.text = text;
    if (client_.Connected() &&
        client_.Publish(Topic(messages::Kind::Event), messages::Encode(event), 1, false) >= 0)
        return;
    events_.push_back(std::move(event));
    if (events_.size() > kMaxEventsKept) events_.pop_front();
}

void StationPublisher::Minute(const messages::Minute& minute) {
    if (stopped_) return;
    if (client_.Connected() &&
        client_.Publish(Topic(messages::Kind::Minute), messages::Encode(minute), 1, true) >= 0)
        return;
    minutes_.push_back(minute);
    if (minutes_.size() > kMaxMinutesKept) minutes_.pop_front();
}

void StationPublisher::LinkChanged(bool up, const QString& hint) {
    linkUp_ = up;
    hint_ = hint;
    if (client_.Connected())
        PublishStatus(true);
    else
        UpdateWill();
}

void StationPublisher::LineAppended(const QString& line) {
    const QByteArray bytes = line.toLocal8Bit();
    DayRecord record;
    // A line the reader would skip is no line of the file's either.
    if (!dayreader::ParseLine(std::string_view(bytes.constData(), std::size_t(bytes.size())),
                              record))
        return;
    feed_.Appended(station_.Log().LogFileName(), record);
    Send();
}

void StationPublisher::Loaded(const QByteArray& text) {
    const DayFileContents contents =
        dayreader::Parse(std::string_view(text.constData(), std::size_t(text.size())));
    feed_.Loaded(station_.Log().LogFileName(), std::int64_t(contents.records.size()));
}

void StationPublisher::ConnectionChanged(bool connected, const QString& why) {
    inFlight_.clear();
    if (!connected) {
        if (!toldDown_ && !stopped_) {
            say_(kWarning, QStringLiteral("publishing: %1; trying again, less often as it goes on; "
                                          "the lines wait in the day files")
                               .arg(why));
            toldDown_ = true;
        }
        return;
    }
    say_(kNotice, QStringLiteral("publishing to %1 as %2 under %3/: %4")
                      .arg(settings_.broker.address.Url(), settings_.station, settings_.prefix,
                           everConnected_ ? QStringLiteral("connected again")
                                          : QStringLiteral("connected")));
    everConnected_ = true;
    toldDown_ = false;
    PublishStatus(true);
    if (settings_.homeAssistant) PublishDiscovery();
    while (!events_.empty()) {
        client_.Publish(Topic(messages::Kind::Event), messages::Encode(events_.front()), 1, false);
        events_.pop_front();
    }
    while (!minutes_.empty() && client_.Publish(Topic(messages::Kind::Minute),
                                                messages::Encode(minutes_.front()), 1, true) >= 0)
        minutes_.pop_front();
    // What was in flight on the lost connection goes again, from the durable cursor on: a
    // broker that restarted may have lost what it had taken.
    Restart();
    Send();
}

void StationPublisher::MessageAcknowledged(int mid) {
    for (InFlight& m : inFlight_)
        if (m.mid == mid) {
            m.acked = true;
            break;
        }
    // The cursor moves over the acknowledged lines in file order only.
    bool moved = false;
    while (!inFlight_.empty() && inFlight_.front().acked) {
        const InFlight& m = inFlight_.front();
        acked_ = PublishCursor{m.line, m.utc};
        if (!settings_.withoutArchive && !(confirmed_ && m.utc <= confirmed_->utc)) {
            sent_.push_back({m.line, m.utc, heard_});
            if (sent_.size() > kMaxSentKept) sent_.pop_front();
        }
        inFlight_.pop_front();
        moved = true;
    }
    if (moved) {
        if (settings_.withoutArchive) cursorDirty_ = true;
        Send();
    }
}

void StationPublisher::Send() {
    if (stopped_ || !client_.Connected()) return;
    const QString topic = Topic(messages::Kind::Reading);
    while (inFlight_.size() < std::size_t(settings_.window)) {
        const std::optional<FileLine> line = feed_.Next();
        if (!line) break;
        const std::int64_t utc = time_.Next(line->record.time);
        const int mid = client_.Publish(
            topic,
            messages::Encode(messages::Reading{utc, line->record, prev_, !prev_.has_value()}), 1,
            false);
        if (mid < 0) {
            // Not taken (the connection just broke): it goes again after the durable cursor.
            Restart();
            break;
        }
        prev_ = utc;
        inFlight_.push_back({mid, *line, utc});
    }
}

void StationPublisher::StartFrom(const std::optional<PublishCursor>& cursor) {
    inFlight_.clear();
    sent_.clear();
    feed_.StartAfter(cursor ? std::optional<FileLine>(cursor->line) : std::nullopt);
    time_.Restart(cursor ? std::optional<std::int64_t>(cursor->utc) : std::nullopt);
    prev_ = cursor ? std::optional<std::int64_t>(cursor->utc) : std::nullopt;
}

void StationPublisher::Restart() {
    if (!Durable() && fromStart_)
        FromStart();
    else
        StartFrom(Durable());
}

void StationPublisher::FromStart() {
    const DayFileSet files = DayFileSet::FromFolder(settings_.dataDirectory);
    QString oldest;
    for (const DayFileSet::File& f : files.Files())
        if (f.day != DayFileSet::kUndated) {
            oldest = f.path.mid(f.path.lastIndexOf(u'/') + 1);
            break;
        }
    fromStart_ = true;
    if (oldest.isEmpty()) {
        StartFrom(std::nullopt);
        return;
    }
    StartFrom(PublishCursor{FileLine{oldest, -1, {}}, 0});
    time_.Restart(std::nullopt);
    prev_.reset();
}

std::optional<FileLine> StationPublisher::FindLine(std::int64_t utc) const {
    const QDateTime at = QDateTime::fromSecsSinceEpoch(utc, settings_.zone);
    const WallSeconds wall = utc + at.offsetFromUtc();
    const DayFileSet files = DayFileSet::FromFolder(settings_.dataDirectory);
    const std::vector<DayFileSet::File>& list = files.Files();
    // The newest file of that day or before with a line at or before the wall time.
    for (auto f = list.rbegin(); f != list.rend(); ++f) {
        if (f->day == DayFileSet::kUndated || f->day > DayOf(wall)) continue;
        const std::vector<DayRecord> records = dayreader::ReadFile(f->path).contents.records;
        for (std::size_t i = records.size(); i-- > 0;)
            if (records[i].time <= wall)
                return FileLine{f->path.mid(f->path.lastIndexOf(u'/') + 1), std::int64_t(i),
                                records[i]};
    }
    return std::nullopt;
}

void StationPublisher::Rewind(std::int64_t utc) {
    const std::optional<FileLine> line = FindLine(utc);
    if (!line) {
        // Older than the day files hold: all of them go, after the archive's line.
        FromStart();
        prev_ = utc;
        return;
    }
    confirmed_ = PublishCursor{*line, utc};
    fromStart_ = false;
    cursorDirty_ = true;
    StartFrom(confirmed_);
}

void StationPublisher::Heard(const QString& topic, const QByteArray& payload) {
    if (topic != confirmation::Topic(settings_.prefix, settings_.station)) return;
    const std::optional<confirmation::Confirmed> confirmed = confirmation::Decode(payload);
    if (confirmed) ArchiveConfirmed(*confirmed);
}

void StationPublisher::ArchiveConfirmed(const confirmation::Confirmed& confirmed) {
    ++heard_;
    const bool same = heard_ > 1 && lastHeard_ == confirmed;
    lastHeard_ = confirmed;
    // Taken by the broker before the previous confirmation and still not confirmed: lost
    // on the way (a broker that crashed, a collector not subscribed yet).
    const bool stuck = same && !sent_.empty() && sent_.front().heard < heard_ - 1;
    if (!confirmed) {
        // The archive holds nothing of ours without a gap: a restored archive that had
        // confirmed lines (at once), or lines lost before the archive's first one.
        if (confirmed_ || stuck) {
            say_(kNotice, QStringLiteral("publishing: the archive holds none of this station's "
                                         "lines; sending the day files again from the oldest"));
            confirmed_.reset();
            FromStart();
            Send();
        }
        return;
    }
    const std::int64_t utc = *confirmed;
    const auto at =
        std::find_if(sent_.begin(), sent_.end(), [&](const Sent& s) { return s.utc == utc; });
    if (at != sent_.end()) {
        confirmed_ = PublishCursor{at->line, at->utc};
        sent_.erase(sent_.begin(), at + 1);
    } else if (confirmed_ && utc > confirmed_->utc) {
        // Beyond the cursor but not among the lines kept: found in the day files.
        if (const std::optional<FileLine> line = FindLine(utc))
            confirmed_ = PublishCursor{*line, utc};
        while (!sent_.empty() && sent_.front().utc <= utc)
            sent_.pop_front();
    } else if (!confirmed_ || utc < confirmed_->utc) {
        // Behind the cursor (an archive restored from a backup) or no cursor yet: the lines
        // after the archive's go again.
        say_(kNotice, QStringLiteral("publishing: the archive confirms the lines up to %1; "
                                     "sending the ones after it again")
                          .arg(messages::UtcText(utc)));
        Rewind(utc);
        Send();
        return;
    }
    fromStart_ = false;
    cursorDirty_ = true;
    if (stuck) {
        StartFrom(confirmed_);
        Send();
    }
}

void StationPublisher::SaveCursor() {
    const std::optional<PublishCursor>& cursor = Durable();
    if (!cursorDirty_ || !cursor) return;
    QString why;
    if (publishcursor::Save(settings_.dataDirectory, *cursor, &why)) {
        cursorDirty_ = false;
        if (cursorFailing_)
            say_(kNotice, QStringLiteral("publishing: the cursor is written again"));
        cursorFailing_ = false;
        return;
    }
    // Told once; lines acknowledged meanwhile are sent again after a restart.
    if (!cursorFailing_) say_(kError, QStringLiteral("publishing: %1").arg(why));
    cursorFailing_ = true;
}
