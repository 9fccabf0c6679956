// SPDX-License-Identifier: GPL-3.0-or-later
// The messages as a station sends them and as the archive must take or refuse them.
#include "network/Messages.h"

#include <gtest/gtest.h>

using namespace messages;

namespace {

Reading SampleReading() {
    Reading reading;
    reading.utc = *ParseUtcText(QStringLiteral("2026-12-08T10:00:00Z"));
    reading.record.time = *ParseLocalText(QStringLiteral("2026-12-08 11:00:00"));
    reading.record.temperatureTenths = 215;
    reading.record.mean = 1234;
    reading.record.range = 3;
    return reading;
}

QString Why(const char* payload) {
    QString why;
    EXPECT_FALSE(DecodeReading(QByteArray(payload), &why).has_value()) << payload;
    return why;
}

} // namespace

TEST(Messages, ReadingIsTheDayFileLineWithItsUtcSecond) {
    Reading reading = SampleReading();
    EXPECT_EQ(Encode(reading),
              QByteArray(R"({"time":"2026-12-08T10:00:00Z","local":"2026-12-08 11:00:00",)"
                         R"("temperature":21.5,"mean_count":1234,"range":3})"));
    EXPECT_EQ(DecodeReading(Encode(reading)), reading);

    // A failed second, and temperatures near zero, read as the file writes them.
    for (int tenths : {-2731, -5, 0, 9, -32768, 32767}) {
        reading.record.temperatureTenths = std::int16_t(tenths);
        reading.record.range = tenths == -2731 ? 0 : 5;
        EXPECT_EQ(DecodeReading(Encode(reading)), reading) << Encode(reading).constData();
    }
    reading.record.temperatureTenths = -2731;
    EXPECT_TRUE(Encode(reading).contains("\"temperature\":-273.1,"));
    reading.record.temperatureTenths = -5;
    EXPECT_TRUE(Encode(reading).contains("\"temperature\":-0.5,"));
}

TEST(Messages, ReadingsOutsideWhatADayFileHoldsAreRefusedWithAReason) {
    EXPECT_TRUE(Why("not json").startsWith(QStringLiteral("not JSON")));
    EXPECT_EQ(Why("[1]"), QStringLiteral("not a JSON object"));
    const char* head = R"({"time":"2026-12-08T10:00:00Z","local":"2026-12-08 11:00:00",)";
    auto with = [&](const char* tail) { return Why((std::string(head) + tail).c_str()); };
    EXPECT_TRUE(with(R"("temperature":21.55,"mean_count":1,"range":3})").contains(u"temperature"));
    EXPECT_TRUE(with(R"("temperature":4000,"mean_count":1,"range":3})").contains(u"temperature"));
    EXPECT_TRUE(with(R"("temperature":"21.5","mean_count":1,"range":3})").contains(u"temperature"));
    EXPECT_TRUE(with(R"("temperature":21.5,"mean_count":-1,"range":3})").contains(u"mean_count"));
    EXPECT_TRUE(with(R"("temperature":21.5,"mean_count":1e12,"range":3})").contains(u"mean_count"));
    EXPECT_TRUE(with(R"("temperature":21.5,"mean_count":1.5,"range":3})").contains(u"mean_count"));
    EXPECT_TRUE(with(R"("temperature":21.5,"mean_count":1,"range":256})").contains(u"range"));
    EXPECT_TRUE(with(R"("temperature":21.5,"mean_count":1})").contains(u"range"));
    EXPECT_TRUE(
        Why(R"({"time":"2026-02-30T10:00:00Z","local":"2026-12-08 11:00:00"})").contains(u"time"));
    EXPECT_TRUE(
        Why(R"({"time":"2026-12-08 10:00:00","local":"2026-12-08 11:00:00"})").contains(u"time"));
    EXPECT_TRUE(Why(R"({"time":"2026-12-08T10:00:00Z","local":"2026-12-10 11:00:00"})")
                    .contains(u"26 hours"));
    EXPECT_TRUE(Why(std::string(5000, ' ').c_str()).contains(u"larger"));
}

TEST(Messages, StatusAndEventsRoundTrip) {
    Status status{true, false, QStringLiteral("No sensor found \"04D8:000C\""),
                  QStringLiteral("0.1.0"), QStringLiteral("2026-12-08")};
    EXPECT_EQ(DecodeStatus(Encode(status)), status);
    status = Status{false, true, QString(), QStringLiteral("0.1.0"), QString()};
    EXPECT_EQ(DecodeStatus(Encode(status)), status);
    EXPECT_FALSE(
        DecodeStatus(R"({"online":1,"link":"up","hint":"","version":"","newest_day":""})"));
    EXPECT_FALSE(DecodeStatus(
        R"({"online":true,"link":"sideways","hint":"","version":"","newest_day":""})"));
    EXPECT_FALSE(DecodeStatus(
        R"({"online":true,"link":"up","hint":"","version":"","newest_day":"2026-13-01"})"));

    const Event event{*ParseUtcText(QStringLiteral("2024-02-29T23:59:59Z")), 4,
                      QStringLiteral("sensor lost: \"no reply\"\nline two")};
    EXPECT_EQ(DecodeEvent(Encode(event)), event);
    EXPECT_FALSE(DecodeEvent(R"({"time":"2024-02-29T23:59:59Z","priority":9,"text":"x"})"));
}

// Texts an archive cannot store are refused whole, not cut short at the NUL; a pair of
// surrogates (a character beyond the first plane) is a text like any other.
TEST(Messages, TextsAnArchiveCannotStoreAreRefused) {
    QString why;
    EXPECT_FALSE(
        DecodeEvent(R"({"time":"2026-12-08T10:00:00Z","priority":4,"text":"a\u0000b"})", &why));
    EXPECT_EQ(why, QStringLiteral("\"text\" holds a NUL character"));
    EXPECT_FALSE(DecodeStatus(
        R"({"online":true,"link":"down","hint":"unplugged\u0000","version":"","newest_day":""})",
        &why));
    EXPECT_EQ(why, QStringLiteral("\"hint\" holds a NUL character"));
    EXPECT_FALSE(
        DecodeEvent(R"({"time":"2026-12-08T10:00:00Z","priority":4,"text":"\ud800x"})", &why));
    EXPECT_EQ(why, QStringLiteral("\"text\" holds half of a surrogate pair"));
    EXPECT_FALSE(DecodeEvent(R"({"time":"2026-12-08T10:00:00Z","priority":4,"text":"x\udc00"})"));
    EXPECT_FALSE(DecodeStatus(
        R"({"online":true,"link":"up","hint":"","version":"0.1\ud83d","newest_day":""})"));
    const auto event =
        DecodeEvent(R"({"time":"2026-12-08T10:00:00Z","priority":4,"text":"moon \ud83c\udf15"})");
    ASSERT_TRUE(event);
    EXPECT_EQ(event->text, QStringLiteral("moon \U0001F315"));
}

TEST(Messages, TopicsNameTheStationAndKind) {
    const QString prefix = QStringLiteral("nocturo");
    EXPECT_EQ(Topic(prefix, QStringLiteral("roof"), Kind::Reading),
              QStringLiteral("nocturo/roof/reading"));
    EXPECT_EQ(AllStations(prefix, Kind::Status), QStringLiteral("nocturo/+/status"));
    const auto parts = ParseTopic(prefix, QStringLiteral("nocturo/roof-2/event"));
    ASSERT_TRUE(parts);
    EXPECT_EQ(parts->station, QStringLiteral("roof-2"));
    EXPECT_EQ(parts->kind, Kind::Event);
    for (const char* bad :
         {"nocturo/Roof/reading", "nocturo/roof/readings", "nocturox/roof/reading", "nocturo/roof",
          "nocturo//reading", "nocturo/a/b/reading", "other/roof/status"})
        EXPECT_FALSE(ParseTopic(prefix, QString::fromLatin1(bad))) << bad;
}

TEST(Messages, StampsCoverTheCalendarAndRefuseTheRest) {
    EXPECT_EQ(UtcText(0), QStringLiteral("1970-01-01T00:00:00Z"));
    EXPECT_EQ(LocalText(-1), QStringLiteral("1969-12-31 23:59:59"));
    EXPECT_EQ(ParseLocalText(QStringLiteral("2024-02-29 12:34:56")).value_or(-1),
              DaysFromCivil(2024, 2, 29) * 86400 + 12 * 3600 + 34 * 60 + 56);
    for (const char* bad : {"2023-02-29 00:00:00", "2024-02-29 24:00:00", "2024-02-29 12:60:00",
                            "0000-01-01 00:00:00", "2024-2-29 12:34:56", "2024-02-29 12:34:5x"})
        EXPECT_FALSE(ParseLocalText(QString::fromLatin1(bad))) << bad;
}

TEST(Messages, MinuteSummariesRoundTripAndRefuseWhatNoSkyGives) {
    Minute minute;
    minute.utc = *ParseUtcText(QStringLiteral("2026-12-08T22:14:00Z"));
    minute.medianCount = 412;
    minute.goodSeconds = 60;
    minute.magnitude = 20.314;
    minute.condition = QStringLiteral("clear");
    EXPECT_EQ(Encode(minute),
              QByteArray(R"({"condition":"clear","good_seconds":60,"limiting_magnitude":null,)"
                         R"("magnitude":20.31,"median_count":412,"time":"2026-12-08T22:14:00Z"})"));
    minute.magnitude = 20.31;
    EXPECT_EQ(DecodeMinute(Encode(minute)), minute);
    // Without a zero point, a position or any good second: nulls, and it still reads.
    Minute unknown;
    unknown.utc = minute.utc;
    EXPECT_EQ(DecodeMinute(Encode(unknown)), unknown);
    EXPECT_TRUE(Encode(unknown).contains(R"("condition":null)"));
    EXPECT_EQ(ParseTopic(QStringLiteral("nocturo"), QStringLiteral("nocturo/roof/minute"))->kind,
              Kind::Minute);
    EXPECT_EQ(Topic(QStringLiteral("p"), QStringLiteral("roof"), Kind::Minute),
              QStringLiteral("p/roof/minute"));

    const auto why = [](const QByteArray& payload) {
        QString reason;
        EXPECT_FALSE(DecodeMinute(payload, &reason).has_value()) << payload.constData();
        return reason;
    };
    const QByteArray good = Encode(minute);
    const auto with = [&](const char* from, const char* to) {
        QByteArray changed = good;
        return why(changed.replace(from, to));
    };
    EXPECT_TRUE(with("22:14:00Z", "22:14:30Z").contains(u"start of a minute"));
    EXPECT_TRUE(with("\"good_seconds\":60", "\"good_seconds\":61").contains(u"good_seconds"));
    EXPECT_TRUE(with("\"magnitude\":20.31", "\"magnitude\":99").contains(u"magnitude"));
    EXPECT_TRUE(with("\"median_count\":412", "\"median_count\":-1").contains(u"median_count"));
    EXPECT_TRUE(with("\"median_count\":412,", "").contains(u"median_count"));
    EXPECT_TRUE(with("\"clear\"", "\"foggy\"").contains(u"condition"));
    EXPECT_TRUE(with("\"clear\"", "\"\"").contains(u"condition"));
    EXPECT_TRUE(KnownCondition(QStringLiteral("cloudy")));
    EXPECT_FALSE(KnownCondition(QStringLiteral("no_line")));
}
