// SPDX-License-Identifier: GPL-3.0-or-later
// StationPublisher: a station on an MQTT network. It follows a Station and its daily log
// and publishes under "PREFIX/NAME/":
//   reading  every line of the day files, in their order, QoS 1, store and forward: the
//            day files are the source of truth, and a cursor kept beside them
//            (publish-cursor) says up to where the archive confirmed them (see
//            Confirmation.h); whatever it did not confirm is sent again after a
//            reconnection, a restart or a reboot, read back from the files, and also when
//            the archive's confirmation stands still behind lines the broker took before
//            the previous confirmation (the broker lost them, or no collector had
//            subscribed yet) or goes back (an archive restored from a backup). The broker's
//            acknowledgements only pace the sending. Without an archive (`withoutArchive`:
//            Home Assistant alone) the broker's acknowledgements move the cursor instead;
//   status   retained: online, the link and its hint, version, newest day; the last will
//            says offline, so a station that dies or loses its network is seen offline;
//   event    the lines the program hands to Event(), while connected (the last few of a
//            time without the broker are sent once it is back);
//   minute   retained, the summaries the program hands to Minute(), one a minute; those of
//            a time without the broker (up to a day of them) are sent once it is back, so
//            the archive has the station's own magnitudes and conditions of that time too;
// and, when asked, Home Assistant's discovery configuration.
//
// It never holds up the station: the client runs in the event loop without waiting, at
// most a window of messages is in flight, and the lines not yet sent stay in the files.
#pragma once

#include "core/log/DailyLog.h"
#include "core/station/Station.h"
#include "network/BrokerSettings.h"
#include "network/Confirmation.h"
#include "network/LineFeed.h"
#include "network/LineTime.h"
#include "network/Messages.h"
#include "network/MqttClient.h"
#include "network/PublishCursor.h"

#include <QObject>
#include <QTimeZone>
#include <QTimer>

#include <deque>
#include <functional>
#include <optional>

struct PublisherSettings {
    BrokerSettings broker;
    QString prefix = QString::fromLatin1(messages::kDefaultPrefix);
    QString station;       // the station's name on the network
    QTimeZone zone;        // the day files' time zone
    QString version;       // the program's, for the status
    QString dataDirectory; // the day files and the cursor
    bool homeAssistant = false;
    int window = 100;            // readings in flight at most
    int cursorSaveMs = 5000;     // the cursor is written at most this often
    bool withoutArchive = false; // no collector confirms: the broker's word is taken
};

class StationPublisher : public QObject, private StationObserver, private DailyLogObserver {
    Q_OBJECT
public:
    // `say` tells the publisher's own events (connected, broker lost) with a journal
    // priority (3 error .. 6 info); the caller decides where they go.
    using Say = std::function<void(int priority, const QString& text)>;

    StationPublisher(PublisherSettings settings, Station& station, Say say,
                     QObject* parent = nullptr);
    ~StationPublisher() override;

    // Reads the cursor and connects; before the station starts, so that the publisher
    // sees the day's file loaded.
    void Start();
    // Says offline, writes the cursor, and leaves the broker with a proper goodbye.
    void Stop();

    // One of the program's event lines, for the event topic.
    void Event(int priority, const QString& text);
    // The summary of a minute that just ended, for the minute topic.
    void Minute(const messages::Minute& minute);

    MqttClient& Client() { return client_; }
    // The broker's acknowledged line, and the archive's confirmed one (the cursor kept).
    const std::optional<PublishCursor>& Acknowledged() const { return acked_; }
    const std::optional<PublishCursor>& Confirmed() const { return confirmed_; }

private:
    struct InFlight {
        int mid;
        FileLine line;
        std::int64_t utc;
        bool acked = false;
    };
    // A line the broker took and the archive has not confirmed yet.
    struct Sent {
        FileLine line;
        std::int64_t utc;
        int heard; // confirmations heard before the broker took it
    };

    // StationObserver
    void LinkChanged(bool up, const QString& hint) override;
    // DailyLogObserver
    void LineAppended(const QString& line) override;
    void Emptied() override {}
    void Loaded(const QByteArray& text) override;
    void Saved(bool) override { Send(); }

    void ConnectionChanged(bool connected, const QString& why);
    void MessageAcknowledged(int mid);
    void Send();
    void PublishStatus(bool online);
    void UpdateWill();
    void PublishDiscovery();
    void SaveCursor();
    void Heard(const QString& topic, const QByteArray& payload);
    void ArchiveConfirmed(const confirmation::Confirmed& confirmed);
    // Sends again from the durable cursor (the archive's, or the broker's without one).
    void Restart();
    void StartFrom(const std::optional<PublishCursor>& cursor);
    // From the first line of the oldest day file: the archive holds nothing of them.
    void FromStart();
    // Sends again after `utc`, the archive's word, found in the day files.
    void Rewind(std::int64_t utc);
    // The day files' line at or just before the UTC second.
    std::optional<FileLine> FindLine(std::int64_t utc) const;
    const std::optional<PublishCursor>& Durable() const {
        return settings_.withoutArchive ? acked_ : confirmed_;
    }
    QString Topic(messages::Kind kind) const;
    messages::Status CurrentStatus(bool online) const;

    PublisherSettings settings_;
    Station& station_;
    Say say_;
    MqttClient client_;
    LineFeed feed_;
    LineTime time_;
    std::deque<InFlight> inFlight_;
    std::optional<PublishCursor> acked_;
    std::optional<PublishCursor> confirmed_;
    std::deque<Sent> sent_;
    std::optional<std::int64_t> prev_; // the UTC of the line sent last; none: first line
    bool fromStart_ = false;           // the archive said it holds nothing of ours
    int heard_ = 0;                    // confirmations heard
    confirmation::Confirmed lastHeard_;
    bool cursorDirty_ = false;
    bool cursorFailing_ = false;
    QTimer cursorTimer_;
    QTimer sendTimer_; // catches lines that reach a file without any other event
    std::deque<messages::Event> events_;
    std::deque<messages::Minute> minutes_; // kept while the broker is away
    bool linkUp_ = false;
    QString hint_;
    bool everConnected_ = false;
    bool toldDown_ = false;
    bool stopped_ = false;
};
