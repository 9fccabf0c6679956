// SPDX-License-Identifier: GPL-3.0-or-later
// The collector's pieces without servers: the spool after a crash, what the intake takes
// and refuses, the refusals told once, the health table's verdicts, the command line.
#include "collector/CollectorOptions.h"
#include "collector/ConfirmationBook.h"
#include "collector/HealthTable.h"
#include "collector/MessageIntake.h"
#include "collector/RefusalLog.h"
#include "collector/Spool.h"
#include "network/Confirmation.h"
#include "network/Messages.h"

#include <QFile>
#include <QTemporaryDir>
#include <QtEndian>

#include <gtest/gtest.h>

namespace {

std::vector<Spool::Message> ReadBack(Spool& spool) {
    std::vector<Spool::Message> all;
    EXPECT_TRUE(spool.Replay(2, [&](std::vector<Spool::Message>& chunk) {
        EXPECT_LE(chunk.size(), 2u);
        all.insert(all.end(), chunk.begin(), chunk.end());
        return true;
    }));
    return all;
}

TEST(Spool, KeepsWhatWasSyncedAndDropsAnEndCutShortByACrash) {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("spool"));
    {
        Spool spool;
        ASSERT_TRUE(spool.Open(path, nullptr));
        for (int i = 0; i < 5; ++i)
            spool.Append("nocturo/a/reading", QByteArray("payload ") + QByteArray::number(i));
        ASSERT_TRUE(spool.Sync());
    }
    // A crash in the middle of a write leaves part of a record.
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::Append));
    file.write(QByteArray("\x40\x00\x00\x00\x12\x34nocturo/b/rea", 19));
    file.close();

    Spool spool;
    ASSERT_TRUE(spool.Open(path, nullptr));
    const auto messages = ReadBack(spool);
    ASSERT_EQ(messages.size(), 5u);
    EXPECT_EQ(messages[4].topic, "nocturo/a/reading");
    EXPECT_EQ(messages[4].payload, "payload 4");
    // Appends go on after the good records.
    spool.Append("nocturo/c/event", QByteArray("x\0y", 3));
    ASSERT_TRUE(spool.Sync());
    EXPECT_EQ(ReadBack(spool).back().payload, QByteArray("x\0y", 3));
    ASSERT_TRUE(spool.Truncate());
    EXPECT_TRUE(spool.Empty());
    EXPECT_TRUE(ReadBack(spool).empty());
}

TEST(Spool, DamageInsideARecordEndsTheGoodPart) {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("spool"));
    {
        Spool spool;
        ASSERT_TRUE(spool.Open(path, nullptr));
        spool.Append("t/1", "first");
        spool.Append("t/2", "second");
        ASSERT_TRUE(spool.Sync());
    }
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::ReadWrite));
    QByteArray bytes = file.readAll();
    bytes[bytes.size() - 2] = 'X'; // the second record's payload
    file.seek(0);
    file.write(bytes);
    file.close();
    Spool spool;
    ASSERT_TRUE(spool.Open(path, nullptr));
    const auto messages = ReadBack(spool);
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0].payload, "first");
}

// A spool an older collector left (records checked with a 16-bit sum, no mark) is read
// whole, up to a record it left cut short, and written anew in today's format.
TEST(Spool, ReadsTheSpoolOfAnOlderCollector) {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("spool"));
    QByteArray old;
    for (const QByteArray& body :
         {QByteArray("nocturo/a/reading\0one", 21), QByteArray("nocturo/b/event\0two", 19)}) {
        char header[6];
        qToLittleEndian<quint32>(quint32(body.size()), header);
        qToLittleEndian<quint16>(qChecksum(QByteArrayView(body)), header + 4);
        old.append(header, 6).append(body);
    }
    old.append("\x40\x00\x00\x00\x12\x34nocturo/c", 15); // cut short by a crash
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(old);
    file.close();

    Spool spool;
    ASSERT_TRUE(spool.Open(path, nullptr));
    auto messages = ReadBack(spool);
    ASSERT_EQ(messages.size(), 2u);
    EXPECT_EQ(messages[0].topic, "nocturo/a/reading");
    EXPECT_EQ(messages[0].payload, "one");
    EXPECT_EQ(messages[1].payload, "two");
    spool.Append("nocturo/a/reading", "three");
    ASSERT_TRUE(spool.Sync());
    EXPECT_EQ(ReadBack(spool).size(), 3u);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_TRUE(file.read(6) == "NOCSPL") << "not written anew";
    file.close();
    EXPECT_FALSE(QFile::exists(path + QStringLiteral(".new")));
    ASSERT_TRUE(spool.Truncate());
    EXPECT_TRUE(spool.Empty());
}

TEST(Spool, SaysWhyItCannotOpen) {
    Spool spool;
    QString why;
    EXPECT_FALSE(spool.Open(QStringLiteral("/nonexistent/folder/spool"), &why));
    EXPECT_TRUE(why.contains(QStringLiteral("/nonexistent/folder/spool")));
}

constexpr std::int64_t kNow = 1796731200; // 2026-12-08 12:00:00 UTC

QByteArray ReadingAt(std::int64_t utc, std::int32_t mean = 1234) {
    return messages::Encode(
        messages::Reading{utc, DayRecord{utc + 3600, mean, 215, 3}, std::nullopt, false});
}

TEST(MessageIntake, TakesStationsMessagesAndRefusesTheRestByKind) {
    const MessageIntake intake(QStringLiteral("nocturo"));
    archive::Batch batch;
    EXPECT_FALSE(intake.Take("nocturo/roof/reading", ReadingAt(kNow - 5), kNow, batch));
    EXPECT_FALSE(intake.Take("nocturo/roof/status",
                             messages::Encode(messages::Status{true, false, "unplugged", "1", ""}),
                             kNow, batch));
    EXPECT_FALSE(intake.Take("nocturo/roof/event",
                             messages::Encode(messages::Event{kNow, 4, "sensor lost"}), kNow,
                             batch));
    ASSERT_EQ(batch.readings.size(), 1u);
    EXPECT_EQ(batch.readings[0].station, "roof");
    EXPECT_EQ(batch.readings[0].utc, kNow - 5);
    EXPECT_EQ(batch.readings[0].record, (DayRecord{kNow - 5 + 3600, 1234, 215, 3}));
    ASSERT_EQ(batch.statuses.size(), 1u);
    EXPECT_EQ(batch.statuses[0].hint, "unplugged");
    EXPECT_EQ(batch.statuses[0].at, kNow);
    ASSERT_EQ(batch.events.size(), 1u);

    const auto kind = [&](const QByteArray& topic, const QByteArray& payload) {
        archive::Batch none;
        const auto refusal = intake.Take(topic, payload, kNow, none);
        EXPECT_TRUE(none.Empty());
        return refusal ? refusal->station + u'|' + refusal->kind : QString();
    };
    EXPECT_EQ(kind("nocturo/roof/reading", "{\"time\":"), "roof|malformed");
    EXPECT_EQ(kind("nocturo/roof/reading", QByteArray(5000, '{')), "roof|too large");
    EXPECT_EQ(kind("nocturo/Roof Top/reading", ReadingAt(kNow)), "Roof?Top|not a station's topic");
    EXPECT_EQ(kind("other/roof/reading", ReadingAt(kNow)), "roof|not a station's topic");
    EXPECT_EQ(kind("nocturo/roof/reading", ReadingAt(kNow - 401 * 86400)),
              "roof|time far from now");
    EXPECT_EQ(kind("nocturo/roof/reading", ReadingAt(kNow + 3 * 86400)), "roof|time far from now");
    EXPECT_EQ(kind("nocturo/roof/reading", ReadingAt(kNow, -1)), "roof|wrong values");
    // A day kept while the network was away is taken.
    archive::Batch old;
    EXPECT_FALSE(intake.Take("nocturo/roof/reading", ReadingAt(kNow - 30 * 86400), kNow, old));
}

TEST(MessageIntake, TakesMinuteSummariesAndRefusesWrongOnes) {
    const MessageIntake intake(QStringLiteral("nocturo"));
    archive::Batch batch;
    messages::Minute minute;
    minute.utc = kNow - kNow % 60 - 60;
    minute.medianCount = 412.5;
    minute.goodSeconds = 58;
    minute.magnitude = 20.31;
    minute.condition = QStringLiteral("cloudy");
    EXPECT_FALSE(intake.Take("nocturo/roof/minute", messages::Encode(minute), kNow, batch));
    ASSERT_EQ(batch.minutes.size(), 1u);
    const archive::Minute& taken = batch.minutes[0];
    EXPECT_EQ(taken.station, "roof");
    EXPECT_EQ(taken.utc, minute.utc);
    EXPECT_EQ(taken.medianCount, 412.5);
    EXPECT_EQ(taken.goodSeconds, 58);
    EXPECT_EQ(taken.magnitude, 20.31);
    EXPECT_FALSE(taken.limitingMagnitude);
    EXPECT_EQ(taken.condition, "cloudy");
    EXPECT_EQ(batch.Size(), 1u);

    archive::Batch none;
    const auto refusal = [&](const messages::Minute& m, const QByteArray& text = {}) {
        const auto r = intake.Take("nocturo/roof/minute",
                                   text.isEmpty() ? messages::Encode(m) : text, kNow, none);
        return r ? r->kind : QString();
    };
    messages::Minute old = minute;
    old.utc = minute.utc - 401 * 86400;
    EXPECT_EQ(refusal(old), "time far from now");
    EXPECT_EQ(refusal(minute, QByteArray(messages::Encode(minute)).replace("cloudy", "rainy")),
              "wrong values");
    EXPECT_EQ(refusal(minute, "{\"time\""), "malformed");
    EXPECT_TRUE(none.Empty());
}

TEST(RefusalLog, TellsEachStationsEachKindOnceAndCountsAll) {
    QStringList told;
    RefusalLog log([&](const QString& line) { told << line; });
    for (int i = 0; i < 3; ++i) {
        log.Count({QStringLiteral("a"), QStringLiteral("malformed"), QStringLiteral("x")});
        log.Count({QStringLiteral("b"), QStringLiteral("malformed"), QStringLiteral("x")});
        log.Count({QStringLiteral("a"), QStringLiteral("too large"), QStringLiteral("9999 bytes")});
    }
    EXPECT_EQ(told.size(), 3);
    EXPECT_TRUE(told[2].contains(QStringLiteral("station a (too large): 9999 bytes")));
    EXPECT_EQ(log.Total(), 9);
    EXPECT_EQ(log.Summary(), QStringLiteral("malformed 6, too large 3"));
    // A flood of made-up names ends in one line, not one each.
    told.clear();
    for (int i = 0; i < RefusalLog::kMaxTold + 50; ++i)
        log.Count({QStringLiteral("n%1").arg(i), QStringLiteral("malformed"), QString()});
    EXPECT_EQ(told.size(), RefusalLog::kMaxTold - 3 + 1);
}

TEST(HealthTable, FlagsOfflineAndSilentStations) {
    const std::int64_t now = kNow;
    std::vector<StationHealth> stations(4);
    stations[0] = {"good", true, true, "", now - 2, 3598, now - 4000, "sensor back"};
    stations[1] = {"dead", false, false, "", now - 7200, 0, std::nullopt, ""};
    stations[2] = {"silent", true, false, "sensor unplugged", now - 301, 3000, std::nullopt, ""};
    stations[3] = {"new", std::nullopt, false, "", std::nullopt, 0, std::nullopt, ""};
    const HealthReport report = MakeHealthReport(stations, now, 300);
    EXPECT_EQ(report.offline, 1);
    EXPECT_EQ(report.stale, 2); // silent, and new with no reading ever
    EXPECT_TRUE(report.Alert());
    const QStringList lines = report.table.split(u'\n', Qt::SkipEmptyParts);
    ASSERT_EQ(lines.size(), 6);
    EXPECT_TRUE(lines[1].contains(QStringLiteral("online")));
    EXPECT_TRUE(lines[1].contains(QStringLiteral("2 s ago")));
    EXPECT_TRUE(lines[1].contains(QStringLiteral("3598/3600")));
    EXPECT_TRUE(lines[1].contains(QStringLiteral("66 min ago: sensor back")));
    EXPECT_TRUE(lines[2].contains(QStringLiteral("OFFLINE")));
    EXPECT_TRUE(lines[3].contains(QStringLiteral("STALE")));
    EXPECT_TRUE(lines[3].contains(QStringLiteral("down (sensor unplugged)")));
    EXPECT_TRUE(lines[4].contains(QStringLiteral("never")));
    EXPECT_FALSE(MakeHealthReport({stations[0]}, now, 300).Alert());
}

TEST(HealthTable, ShowsTheLastMinutesSkyBesideTheHealth) {
    const std::int64_t now = kNow;
    std::vector<StationHealth> stations(3);
    stations[0] = {"dark", true, true, "", now - 2, 3598, std::nullopt, ""};
    stations[1] = {"nosky", true, true, "", now - 2, 3598, std::nullopt, ""};
    stations[2] = {"town", true, true, "", now - 2, 3598, now - 60, "sensor back"};
    const std::vector<stationhealth::StationSky> skies{{"dark", now - 120, 21.734, "clear"},
                                                       {"town", now - 120, std::nullopt, "cloudy"}};
    const HealthReport report = MakeHealthReport(stations, now, 300, skies);
    const QStringList lines = report.table.split(u'\n', Qt::SkipEmptyParts);
    ASSERT_EQ(lines.size(), 5);
    // The health's columns as ever, the sky's after them.
    EXPECT_TRUE(lines[0].startsWith(QStringLiteral("STATION")));
    EXPECT_TRUE(lines[0].contains(QStringLiteral("LAST HOUR")));
    EXPECT_GT(lines[0].indexOf(QStringLiteral("MAG/ARCSEC²")),
              lines[0].indexOf(QStringLiteral("LAST EVENT")));
    EXPECT_TRUE(lines[0].endsWith(QStringLiteral("MAG/ARCSEC²  SKY")));
    EXPECT_TRUE(lines[1].endsWith(QStringLiteral("21.73        clear"))) << lines[1].toStdString();
    EXPECT_TRUE(lines[2].endsWith(QStringLiteral("-            -"))) << lines[2].toStdString();
    EXPECT_TRUE(lines[3].contains(QStringLiteral("60 s ago: sensor back")));
    EXPECT_TRUE(lines[3].endsWith(QStringLiteral("-            cloudy"))) << lines[3].toStdString();
    EXPECT_FALSE(report.Alert());
}

TEST(CollectorCommandLine, RefusesWhatCannotWork) {
    const auto run = [](QStringList args) {
        args.prepend(QStringLiteral("nocturo-collect"));
        return ReadCollectorCommandLine(args, QStringLiteral("/var/lib/nocturo-collect"));
    };
    // A certificate authority's file must be there to be taken.
    QTemporaryDir dir;
    const QString ca = dir.filePath(QStringLiteral("ca.pem"));
    QFile caFile(ca);
    ASSERT_TRUE(caFile.open(QIODevice::WriteOnly));
    caFile.close();
    const CollectorCommandLine good =
        run({"--broker", "mqtts://broker.example:8884", "--ca", ca, "--stale-after", "10"});
    ASSERT_TRUE(good.run) << good.error.toStdString();
    EXPECT_TRUE(good.options.broker.tls);
    EXPECT_EQ(good.options.broker.port, 8884);
    EXPECT_EQ(good.options.staleAfterMinutes, 10);
    EXPECT_EQ(good.options.spool, "/var/lib/nocturo-collect/nocturo-collect.spool");
    EXPECT_EQ(run({"--broker", "mqtts://h"}).options.broker.port, 8883);
    for (const QStringList& wrong :
         {QStringList{"--broker", "http://h"}, QStringList{"--broker", "mqtt://user:pw@h"},
          QStringList{"--ca", "x.pem"}, QStringList{"--stale-after", "0"},
          QStringList{"--prefix", "a/+"}, QStringList{"--status", "--create-schema"},
          QStringList{"--credentials", "/nonexistent"}, QStringList{"extra"}}) {
        const CollectorCommandLine line = run(wrong);
        EXPECT_FALSE(line.run) << wrong.join(u' ').toStdString();
        EXPECT_EQ(line.status, 2);
        EXPECT_FALSE(line.error.isEmpty());
    }
}

} // namespace

namespace {

archive::Reading Line(std::int64_t utc, std::optional<std::int64_t> prev, bool first = false) {
    archive::Reading r;
    r.station = QStringLiteral("roof");
    r.utc = utc;
    r.prev = prev;
    r.first = first;
    return r;
}

} // namespace

TEST(ConfirmationBook, MovesOnlyOverLinesWithoutAGap) {
    ConfirmationBook book;
    // Lines whose first never arrived (a collector subscribed late): nothing confirmed,
    // and the station is told so.
    book.Advance({Line(105, 104), Line(106, 105)});
    EXPECT_FALSE(book.Of(QStringLiteral("roof")));
    auto due = book.Due(0, 10000);
    ASSERT_EQ(due.size(), 1u);
    EXPECT_EQ(due[0].second, std::nullopt);
    // The station sends from its first line: confirmed up to where the lines follow on.
    book.Advance({Line(100, std::nullopt, true), Line(101, 100), Line(103, 102)});
    EXPECT_EQ(book.Of(QStringLiteral("roof")), 101);
    // Not due again before its time, then due with the standing confirmation.
    EXPECT_TRUE(book.Due(5000, 10000).empty());
    due = book.Due(10000, 10000);
    ASSERT_EQ(due.size(), 1u);
    EXPECT_EQ(due[0].second, 101);
    // The gap filled: a line whose prev is at or before the confirmed one goes on.
    book.Advance({Line(102, 101), Line(103, 102), Line(101, 100), Line(107, 103)});
    EXPECT_EQ(book.Of(QStringLiteral("roof")), 107);
    // A station that says no prev is taken at the broker's word.
    archive::Reading old = Line(200, std::nullopt);
    book.Advance({old});
    EXPECT_EQ(book.Of(QStringLiteral("roof")), 200);
    // Nothing due while nothing arrived.
    book.Due(20000, 10000);
    EXPECT_TRUE(book.Due(40000, 10000).empty());
}

TEST(Confirmation, TopicAndPayloadRoundTrip) {
    EXPECT_EQ(confirmation::Topic(QStringLiteral("nocturo"), QStringLiteral("roof")),
              QStringLiteral("nocturo-archive/roof/confirmed"));
    EXPECT_EQ(confirmation::Encode(1765188000), QByteArray("{\"time\":\"2025-12-08T10:00:00Z\"}"));
    EXPECT_EQ(confirmation::Encode(std::nullopt), QByteArray("{\"time\":null}"));
    EXPECT_EQ(confirmation::Decode(confirmation::Encode(1765188000)),
              std::optional<confirmation::Confirmed>(1765188000));
    EXPECT_EQ(confirmation::Decode("{\"time\":null}"),
              std::optional<confirmation::Confirmed>(confirmation::Confirmed()));
    EXPECT_FALSE(confirmation::Decode("{\"time\":12}"));
    EXPECT_FALSE(confirmation::Decode("[]"));
    // A reading's prev: a stamp, null for the first line, absent for a station that does
    // not say.
    messages::Reading reading;
    reading.utc = 1765188000;
    reading.record.time = 1765188000;
    reading.prev = 1765187999;
    const QByteArray text = messages::Encode(reading);
    EXPECT_TRUE(text.endsWith(",\"prev\":\"2025-12-08T09:59:59Z\"}")) << text.constData();
    EXPECT_EQ(messages::DecodeReading(text), reading);
    reading.prev.reset();
    reading.first = true;
    EXPECT_EQ(messages::DecodeReading(messages::Encode(reading)), reading);
    reading.first = false;
    EXPECT_EQ(messages::DecodeReading(messages::Encode(reading)), reading);
    QString why;
    EXPECT_FALSE(
        messages::DecodeReading(QByteArray(text).replace("\"2025-12-08T09:59:59Z\"", "7"), &why));
    EXPECT_TRUE(why.contains(QStringLiteral("prev")));
}
