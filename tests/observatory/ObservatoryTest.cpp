// SPDX-License-Identifier: GPL-3.0-or-later
// The live station an observatory sees: readings, the minute's sky condition and the
// safety rule, through the Alpaca service's answers and the state socket's lines as the
// INDI driver reads them. A scripted sensor and clocks the test moves; no socket.
#include "StationRig.h"
#include "core/log/MinuteSummary.h"
#include "indi/StationLine.h"
#include "observatory/AlpacaService.h"
#include "observatory/LiveSkyCondition.h"
#include "observatory/LiveStation.h"
#include "observatory/SkyConditionSource.h"
#include "observatory/StateSocket.h"

#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <cmath>
#include <map>

namespace {

// Answers every minute with the condition the test sets, and remembers what it was asked.
struct ScriptedSky : SkyConditionSource {
    QString next = QStringLiteral("clear");
    std::vector<std::pair<std::int64_t, int>> asked; // minute's end, seconds
    QString ConditionOf(std::int64_t end, double, int seconds) override {
        asked.emplace_back(end, seconds);
        return next;
    }
};

constexpr std::int64_t kMidnight = 1232928000000; // 2009-01-26 00:00 UTC, ms

struct ObservatoryRig {
    StationRig rig;
    ScriptedSky sky;
    std::int64_t nowMs = kMidnight;
    std::unique_ptr<LiveStation> live;
    std::unique_ptr<AlpacaService> alpaca;

    explicit ObservatoryRig(const QByteArray& conf) {
        StationDescription description =
            stationdescription::Parse(conf, QStringLiteral("station.conf"));
        rig.Start();
        live = std::make_unique<LiveStation>(
            *rig.station, description, [this] { return nowMs; }, &sky);
        alpaca = std::make_unique<AlpacaService>(*live, QStringLiteral("9.9.9"));
    }
    // One pass a second from hh:mm:ss for `seconds` seconds; the clocks move together.
    void Run(int from, int seconds) {
        for (int s = from; s < from + seconds; ++s) {
            nowMs = kMidnight + s * 1000LL;
            rig.PassAt(s / 3600, s / 60 % 60, s % 60);
        }
    }
    QJsonObject Call(const char* method, const QString& path, const QByteArray& form = {}) {
        AlpacaRequest request{method, path, {}, "application/x-www-form-urlencoded", form};
        const AlpacaReply reply = alpaca->Handle(request);
        EXPECT_EQ(reply.status, 200) << reply.body.toStdString();
        return QJsonDocument::fromJson(reply.body).object();
    }
    QJsonObject Get(const QString& member) {
        return Call("GET", member.startsWith(u'/') ? member : QStringLiteral("/api/v1/") + member);
    }
};

const QByteArray kConf = "name = roof\nzero_point = 20.0\n";

} // namespace

TEST(Observatory, SkyQualityIsTheNewestSecondsMagnitude) {
    ObservatoryRig o(kConf);
    o.Call("PUT", QStringLiteral("/api/v1/observingconditions/0/connected"), "Connected=true");
    EXPECT_EQ(o.Get(QStringLiteral("observingconditions/0/skyquality"))["ErrorNumber"], 0x500);
    o.Run(10, 5);
    const LiveState& state = o.live->State();
    ASSERT_GT(state.count, 0);
    EXPECT_EQ(state.readings, 4); // the fifth second is still open
    const QJsonObject quality = o.Get(QStringLiteral("observingconditions/0/skyquality"));
    EXPECT_DOUBLE_EQ(quality["Value"].toDouble(), 20.0 - 2.5 * std::log10(state.count));
    EXPECT_EQ(state.temperature, 21.5);
    // The time since the reading follows the clock.
    o.nowMs += 3000;
    AlpacaRequest request{"GET",
                          QStringLiteral("/api/v1/observingconditions/0/timesincelastupdate"),
                          {{QStringLiteral("sensorname"), QStringLiteral("SKYQUALITY")}},
                          {},
                          {}};
    const QJsonObject answer = QJsonDocument::fromJson(o.alpaca->Handle(request).body).object();
    // The newest second, 00:00:13, was closed by the pass at 00:00:14.
    EXPECT_DOUBLE_EQ(answer["Value"].toDouble(), 3.0);
}

TEST(Observatory, SafeOnlyWhileLinkedFreshAndClear) {
    ObservatoryRig o(kConf + "safe_fresh_seconds = 5\n");
    QString why;
    EXPECT_FALSE(o.live->IsSafe(&why));
    EXPECT_EQ(why, QStringLiteral("no reading yet"));
    // 00:00:10 to 00:01:30: the minute 00:00 (the lines stamped 00:00:11 to 00:00:59, the
    // first pass closing no second) ends with the line stamped 00:01:00.
    o.Run(10, 80);
    ASSERT_EQ(o.sky.asked.size(), 1u);
    EXPECT_EQ(o.sky.asked[0], std::make_pair(kMidnight + 60000, 49));
    EXPECT_TRUE(o.live->IsSafe(&why)) << why.toStdString();
    o.Call("PUT", QStringLiteral("/api/v1/safetymonitor/0/connected"), "CONNECTED=True");
    EXPECT_EQ(o.Get(QStringLiteral("safetymonitor/0/issafe"))["Value"], true);

    // Readings stop coming (the clock moves on without a pass): no longer fresh.
    o.nowMs += 6000;
    EXPECT_FALSE(o.live->IsSafe(&why));
    EXPECT_EQ(why, QStringLiteral("the newest reading is older than 5 s"));
    EXPECT_EQ(o.Get(QStringLiteral("safetymonitor/0/issafe"))["Value"], false);

    // Clouds in the next minute.
    o.sky.next = QStringLiteral("cloudy");
    o.Run(90, 40);
    EXPECT_FALSE(o.live->IsSafe(&why));
    EXPECT_EQ(why, QStringLiteral("the sky is cloudy"));
    o.Call("PUT", QStringLiteral("/api/v1/observingconditions/0/connected"), "connected=TRUE");
    EXPECT_EQ(o.Get(QStringLiteral("observingconditions/0/cloudcover"))["Value"], 100.0);

    // Clear again, then the sensor unplugged.
    o.sky.next = QStringLiteral("clear");
    o.Run(130, 60);
    EXPECT_TRUE(o.live->IsSafe());
    EXPECT_EQ(o.Get(QStringLiteral("observingconditions/0/cloudcover"))["Value"], 0.0);
    o.rig.pipes.attached = false;
    o.Run(190, 3);
    EXPECT_FALSE(o.live->State().linkUp);
    EXPECT_FALSE(o.live->IsSafe(&why));
    EXPECT_EQ(why, QStringLiteral("the sensor is not connected"));
    o.rig.pipes.attached = true;
    o.Run(193, 5);
    EXPECT_TRUE(o.live->IsSafe());
}

TEST(Observatory, DarknessRuleAndConditionsFromStationConf) {
    // A zero point of 20 makes the scripted sensor's sky bright: darker than 19 fails.
    ObservatoryRig o(kConf + "safe_conditions = moonlit, clear\nsafe_darker_than = 19\n");
    o.sky.next = QStringLiteral("moonlit");
    o.Run(10, 60);
    QString why;
    ASSERT_LT(*o.live->State().magnitude, 19);
    EXPECT_FALSE(o.live->IsSafe(&why));
    EXPECT_EQ(why, QStringLiteral("the sky is brighter than 19 mag/arcsec²"));

    ObservatoryRig dark(kConf + "safe_conditions = moonlit\nsafe_darker_than = 1\n");
    dark.sky.next = QStringLiteral("moonlit");
    dark.Run(10, 60);
    EXPECT_TRUE(dark.live->IsSafe(&why)) << why.toStdString();

    EXPECT_THROW(stationdescription::Parse("safe_conditions = clear, foggy\n", "station.conf"),
                 StationDescriptionError);
    EXPECT_THROW(stationdescription::Parse("safe_fresh_seconds = 1.5\n", "station.conf"),
                 StationDescriptionError);
    EXPECT_THROW(stationdescription::Parse("safe_mood = good\n", "station.conf"),
                 StationDescriptionError);
    const StationDescription defaults = stationdescription::Parse("", "station.conf");
    EXPECT_EQ(defaults.safety.conditions, QStringList{QStringLiteral("clear")});
    EXPECT_EQ(defaults.safety.freshSeconds, 10);
    EXPECT_FALSE(defaults.safety.darkerThan);
}

TEST(Observatory, TheDriverReadsWhatTheSocketWrites) {
    ObservatoryRig o(kConf);
    o.Run(10, 70);
    QString why;
    const bool safe = o.live->IsSafe(&why);
    QByteArray stream = StateLine(o.live->State(), safe, why);
    // Two lines, the second split where a read may end.
    stream += stream;
    QByteArray buffer = stream.left(stream.size() - 7);
    QList<QByteArray> lines = TakeLines(buffer);
    ASSERT_EQ(lines.size(), 1);
    buffer += stream.right(7);
    lines += TakeLines(buffer);
    ASSERT_EQ(lines.size(), 2);
    EXPECT_TRUE(buffer.isEmpty());
    const std::optional<StationLine> line = ReadStationLine(lines[1]);
    ASSERT_TRUE(line);
    EXPECT_EQ(line->station, QStringLiteral("roof"));
    EXPECT_TRUE(line->linkUp);
    EXPECT_EQ(line->count, o.live->State().count);
    EXPECT_EQ(line->magnitude, o.live->State().magnitude);
    EXPECT_EQ(line->temperature, 21.5);
    EXPECT_EQ(line->condition, QStringLiteral("clear"));
    EXPECT_EQ(line->time, QStringLiteral("2009-01-26T00:01:19.000Z"));
    // Unknowns are null, not zero; a line that is no JSON object is passed over.
    LiveState empty;
    const std::optional<StationLine> unknown = ReadStationLine(StateLine(empty, false, "x"));
    ASSERT_TRUE(unknown);
    EXPECT_FALSE(unknown->magnitude || unknown->temperature);
    EXPECT_TRUE(unknown->time.isEmpty() && unknown->condition.isEmpty());
    EXPECT_FALSE(ReadStationLine("not json"));
    QByteArray endless(100 * 1024, 'x');
    EXPECT_TRUE(TakeLines(endless).isEmpty());
    EXPECT_TRUE(endless.isEmpty());
}

// The live condition, minute by minute, from the same classifier as the figures: at noon
// the day; in a dark moonless night a steady sky is clear and a flickering one cloudy.
// Vienna, 2026-03-20: the Moon is new (down all night), astronomical night from about
// 19:40 to 04:10 UTC.
TEST(Observatory, LiveConditionFollowsTheLight) {
    LiveSkyCondition live(astro::Observer{48.2, 16.4, 200}, QTimeZone("Europe/Vienna"));
    const std::int64_t noon = 1773925200; // 2026-03-19 13:00 UTC
    EXPECT_EQ(live.ConditionOf((noon + 60) * 1000, 50000, 60), QStringLiteral("day"));

    const std::int64_t dark = 1773954000; // 2026-03-19 21:00 UTC
    QString last;
    for (int m = 0; m < 40; ++m)
        last = live.ConditionOf((dark + 60 * (m + 1)) * 1000, 1200.0 * (1 - 0.0005 * m), 60);
    EXPECT_EQ(last, QStringLiteral("clear"));
    for (int m = 40; m < 80; ++m)
        last = live.ConditionOf((dark + 60 * (m + 1)) * 1000, m % 2 ? 1500.0 : 1100.0, 60);
    EXPECT_EQ(last, QStringLiteral("cloudy"));
    // Too few seconds read in a minute: not known.
    EXPECT_EQ(live.ConditionOf((dark + 60 * 81) * 1000, 1200, 5), QString());
}

// The summary of each minute the logger publishes: the median of the seconds whose light
// was read, how many there were, and its magnitude by the zero point of that night.
TEST(Observatory, EachMinuteIsSummedUpWithItsMagnitude) {
    ObservatoryRig o("name = roof\nzero_point = 19.0\nzero_point = 20.0 from 2009-01-25\n");
    // The minute 00:00: its lines stamped 00:00:11 to 00:00:59 (the pass at 00:00:10 closes
    // no second), ended by the line of 00:01:00.
    o.Run(10, 60);
    ASSERT_TRUE(o.live->State().minute);
    const LiveMinute first = *o.live->State().minute;
    EXPECT_EQ(first.endMs, kMidnight + 60000);
    EXPECT_EQ(first.goodSeconds, 49);
    ASSERT_TRUE(first.medianCount);
    EXPECT_EQ(*first.medianCount, o.live->State().count); // the scripted sensor is steady
    ASSERT_TRUE(first.magnitude);
    // 00:00 of 26 January is the night of the 25th: the dated zero point.
    EXPECT_DOUBLE_EQ(*first.magnitude, 20.0 - 2.5 * std::log10(*first.medianCount));
    EXPECT_EQ(first.condition, QStringLiteral("clear"));
    o.Run(70, 60);
    EXPECT_EQ(o.live->State().minute->endMs, kMidnight + 120000);
    EXPECT_EQ(o.live->State().minute->goodSeconds, 60);
}

namespace {

struct TellingRig : ObservatoryRig {
    std::vector<LiveMinute> told;

    TellingRig()
        : ObservatoryRig("name = roof\ntimezone = UTC\nzero_point = 20.0\n") {
        live->AddListener([this](const LiveState& state) {
            if (state.minute && (told.empty() || told.back().endMs != state.minute->endMs))
                told.push_back(*state.minute);
        });
    }
    // One pass a second from `start` (the station's clock, on UTC), 900 ms into each
    // second, each second with a light of its own; the live station's clock reads
    // `lateMs` past the pass when the second is handed on, as on a busy machine.
    void RunFrom(const DateTimeParts& start, int seconds, int lateMs) {
        constexpr double kUnixEpoch = 25569; // 1970-01-01 as a date-time value
        for (int i = 0; i < seconds; ++i) {
            rig.clock.now = EncodeDateTime(start) + (i + 0.9) / 86400.0;
            nowMs = std::llround((rig.clock.now - kUnixEpoch) * 86400000.0) + lateMs;
            rig.pipes.setReply('L', LightReply(100 + (i * 37) % 61, 5));
            rig.station->IdleHandler();
        }
    }
    // The minutes of the day files, once the station has stopped and saved them.
    std::map<std::int64_t, MinuteEntry> DayFileMinutes(const QStringList& names) {
        alpaca.reset();
        live.reset();
        rig.Stop();
        std::map<std::int64_t, MinuteEntry> minutes;
        for (const QString& name : names) {
            const minutes::FileSummary file =
                minutes::SummariseFile(QDir(rig.DataDirectory()).filePath(name));
            EXPECT_TRUE(file.problem.isEmpty()) << file.problem.toStdString();
            for (const MinuteEntry& entry : file.summary.minutes)
                minutes[entry.minute] = entry;
        }
        return minutes;
    }
};

// A told minute holds the seconds whose lines its minute of the day file holds.
void ExpectTheDayFiles(const std::vector<LiveMinute>& told,
                       const std::map<std::int64_t, MinuteEntry>& files) {
    for (const LiveMinute& minute : told) {
        const std::int64_t start = minute.endMs / 60000 - 1; // the zone is UTC
        SCOPED_TRACE(IsoWallTime(start * 60).toStdString());
        ASSERT_TRUE(files.count(start));
        const MinuteEntry& entry = files.at(start);
        EXPECT_EQ(minute.goodSeconds, entry.lines - entry.failed);
        ASSERT_TRUE(minute.medianCount);
        EXPECT_EQ(*minute.medianCount, entry.median);
    }
}

} // namespace

// The second 59 of a minute is closed by the first pass of the next minute, whose time its
// line is stamped with: it counts in the next minute, as the day file has it, however late
// the live station's clock reads when it is handed on.
TEST(Observatory, EachSecondCountsInTheMinuteOfItsLine) {
    TellingRig o;
    o.RunFrom({2009, 1, 26, 21, 59, 30}, 150, 1700); // to 22:01:59
    ASSERT_EQ(o.told.size(), 2u);
    EXPECT_EQ(o.told[0].endMs, kMidnight + (22 * 60) * 60000LL);
    EXPECT_EQ(o.told[0].goodSeconds, 29); // 21:59:31 to 21:59:59
    EXPECT_EQ(o.told[1].endMs, kMidnight + (22 * 60 + 1) * 60000LL);
    EXPECT_EQ(o.told[1].goodSeconds, 60); // 22:00:00 (the second 21:59:59) to 22:00:59
    ExpectTheDayFiles(o.told, o.DayFileMinutes({QStringLiteral("20090126.txt")}));
}

// The second closed at midnight is the first line of the new day's file, stamped 00:00:00:
// it counts in the new day's first minute.
TEST(Observatory, TheSecondClosedAtMidnightCountsInTheNewDay) {
    TellingRig o;
    o.RunFrom({2009, 1, 26, 23, 59, 40}, 90, 50); // to 00:01:09
    ASSERT_EQ(o.told.size(), 2u);
    EXPECT_EQ(o.told[0].endMs, kMidnight + 86400000LL);
    EXPECT_EQ(o.told[0].goodSeconds, 19); // 23:59:41 to 23:59:59
    EXPECT_EQ(o.told[1].endMs, kMidnight + 86400000LL + 60000);
    EXPECT_EQ(o.told[1].goodSeconds, 60);
    ExpectTheDayFiles(
        o.told, o.DayFileMinutes({QStringLiteral("20090126.txt"), QStringLiteral("20090127.txt")}));
}

// A clock set back a few seconds over a minute's edge stamps seconds of a minute told
// already: they are left out of the minutes, and the minute goes on.
TEST(Observatory, AClockSetBackTellsNoMinuteTwice) {
    TellingRig o;
    o.RunFrom({2009, 1, 26, 22, 0, 0}, 63, 0); // to 22:01:02
    ASSERT_EQ(o.told.size(), 1u);
    o.RunFrom({2009, 1, 26, 22, 0, 57}, 70, 0); // set back to 22:00:57
    ASSERT_EQ(o.told.size(), 2u);
    EXPECT_EQ(o.told[1].endMs, kMidnight + (22 * 60 + 2) * 60000LL);
    // 22:01:00 to 22:01:02, then again from 22:01:00 to 22:01:59.
    EXPECT_EQ(o.told[1].goodSeconds, 63);
    ExpectTheDayFiles({o.told[1]}, o.DayFileMinutes({QStringLiteral("20090126.txt")}));
}

namespace {

// Lines of a day file from `from` to `to` (UTC seconds, the station on UTC), one count.
void AppendLines(const QString& folder, std::int64_t from, std::int64_t to, int count) {
    std::map<QString, QByteArray> files;
    for (std::int64_t t = from; t < to; ++t) {
        const QDateTime at = QDateTime::fromSecsSinceEpoch(t, QTimeZone::utc());
        files[at.toString(QStringLiteral("yyyyMMdd")) + QStringLiteral(".txt")] +=
            at.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")).toLatin1() + "  12.0 " +
            QByteArray::number(count) + " 5\r\n";
    }
    for (const auto& [name, text] : files) {
        QFile file(QDir(folder).filePath(name));
        ASSERT_TRUE(file.open(QIODevice::Append));
        file.write(text);
    }
}

// The condition of the last of its minutes.
std::string NightOf(LiveSkyCondition& live, std::int64_t evening, double count) {
    // 20:00 to 03:00 UTC at Vienna in March: within the astronomical night, the Moon near new.
    QString last;
    for (std::int64_t m = 0; m < 7 * 60; ++m)
        last = live.ConditionOf((evening + 20 * 3600 + (m + 1) * 60) * 1000, count, 60);
    return last.toStdString();
}

} // namespace

// A steady overcast sky at a town is brighter than its clear sky: the steadiness alone
// calls it clear, the station's clear-sky baseline cloudy. The baseline comes from the
// nights in the day files at start, and from the nights recorded after it.
TEST(Observatory, TheLiveBaselineComesFromThePastNights) {
    const astro::Observer vienna{48.2, 16.4, 200};
    const QTimeZone utc = QTimeZone::utc();
    const std::int64_t first = 1773360000; // 2026-03-13 00:00 UTC
    const std::int64_t tonight = first + 6 * 86400;
    QTemporaryDir records;
    for (int n = 0; n < 4; ++n)
        AppendLines(records.path(), first + n * 86400 + 20 * 3600, first + n * 86400 + 28 * 3600,
                    1200);

    LiveSkyCondition without(vienna, utc);
    EXPECT_EQ(NightOf(without, tonight, 2000), "clear");
    EXPECT_FALSE(without.HasBaseline());

    LiveSkyCondition learned(vienna, utc);
    learned.LearnBaseline(records.path(), tonight + 18 * 3600);
    learned.AwaitLearning();
    EXPECT_EQ(learned.BaselineNights(), 4);
    EXPECT_TRUE(learned.HasBaseline());
    EXPECT_EQ(NightOf(learned, tonight, 2000), "cloudy");
    EXPECT_EQ(NightOf(learned, tonight + 86400, 1200), "clear");

    // Without files: the nights it recorded itself teach it.
    LiveSkyCondition live(vienna, utc);
    live.LearnBaseline(QDir(records.path()).filePath(QStringLiteral("none")), first);
    live.AwaitLearning();
    EXPECT_EQ(live.BaselineNights(), 0);
    for (int n = 0; n < 3; ++n)
        EXPECT_EQ(NightOf(live, first + n * 86400, 1200), "clear");
    EXPECT_EQ(NightOf(live, first + 3 * 86400, 2000), "cloudy");
    EXPECT_EQ(live.BaselineNights(), 3);
}
