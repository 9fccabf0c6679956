// SPDX-License-Identifier: GPL-3.0-or-later
#include "StationPublisher.h"

#include "DayFileReader.h"
#include "DayFileSet.h"
#include "HomeAssistant.h"

#include <QDateTime>

namespace {

constexpr int Error = 3;
constexpr int Warning = 4;
constexpr int Notice = 5;
constexpr std::size_t MaxEventsKept = 20;

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
    if (!why.isEmpty())
        say_(Warning, QStringLiteral("publishing: %1; the lines of the day go again").arg(why));
    feed_.StartAfter(acked_ ? std::optional<FileLine>(acked_->line) : std::nullopt);
    time_.Restart(acked_ ? std::optional<std::int64_t>(acked_->utc) : std::nullopt);
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
    if (events_.size() > MaxEventsKept) events_.pop_front();
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
            say_(Warning, QStringLiteral("publishing: %1; trying again, less often as it goes on; "
                                         "the lines wait in the day files")
                              .arg(why));
            toldDown_ = true;
        }
        return;
    }
    say_(Notice, QStringLiteral("publishing to %1 as %2 under %3/: %4")
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
    // What was in flight on the lost connection goes again, from the acknowledged line on.
    feed_.StartAfter(acked_ ? std::optional<FileLine>(acked_->line) : std::nullopt);
    time_.Restart(acked_ ? std::optional<std::int64_t>(acked_->utc) : std::nullopt);
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
        acked_ = PublishCursor{inFlight_.front().line, inFlight_.front().utc};
        inFlight_.pop_front();
        moved = true;
    }
    if (moved) {
        cursorDirty_ = true;
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
            topic, messages::Encode(messages::Reading{utc, line->record}), 1, false);
        if (mid < 0) {
            // Not taken (the connection just broke): it goes again after the acknowledged.
            inFlight_.clear();
            feed_.StartAfter(acked_ ? std::optional<FileLine>(acked_->line) : std::nullopt);
            time_.Restart(acked_ ? std::optional<std::int64_t>(acked_->utc) : std::nullopt);
            break;
        }
        inFlight_.push_back({mid, *line, utc});
    }
}

void StationPublisher::SaveCursor() {
    if (!cursorDirty_ || !acked_) return;
    QString why;
    if (publishcursor::Save(settings_.dataDirectory, *acked_, &why)) {
        cursorDirty_ = false;
        if (cursorFailing_) say_(Notice, QStringLiteral("publishing: the cursor is written again"));
        cursorFailing_ = false;
        return;
    }
    // Told once; lines acknowledged meanwhile are sent again after a restart.
    if (!cursorFailing_) say_(Error, QStringLiteral("publishing: %1").arg(why));
    cursorFailing_ = true;
}
