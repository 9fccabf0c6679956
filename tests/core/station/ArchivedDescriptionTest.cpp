// SPDX-License-Identifier: GPL-3.0-or-later
// The archive's JSON description of a station: read as station.conf's lines would be.
#include "core/station/ArchivedDescription.h"

#include <QByteArray>

#include <gtest/gtest.h>

TEST(ArchivedDescription, ReadsPositionZoneAndDatedZeroPoints) {
    QString why;
    const std::optional<StationDescription> d = stationdescription::FromArchive(
        QStringLiteral("ridge"),
        QByteArray(
            R"({"name": "other", "latitude": 47.1, "longitude": 11.4, "elevation": 600,)"
            R"( "timezone": "Europe/Vienna", "zero_point": ["20.50", "20.62 from 2025-06-14"]})"),
        &why);
    ASSERT_TRUE(d) << why.toStdString();
    EXPECT_EQ(d->name, QStringLiteral("ridge")); // the archive's name, not the JSON's
    EXPECT_TRUE(d->HasPosition());
    EXPECT_DOUBLE_EQ(*d->latitude, 47.1);
    EXPECT_DOUBLE_EQ(*d->elevation, 600);
    EXPECT_EQ(d->timezone, QStringLiteral("Europe/Vienna"));
    ASSERT_EQ(d->zeroPoints.Points().size(), 2u);
    EXPECT_DOUBLE_EQ(d->zeroPoints.Points()[1].value, 20.62);
}

TEST(ArchivedDescription, RefusesWhatStationConfWouldRefuse) {
    for (const char* json :
         {"[1, 2]", "not json", R"({"latitude": "north"})", R"({"latitude": 91})",
          R"({"zero_point": {"a": 1}})", R"({"comment": "a # in a value"})", R"({"": 1})"}) {
        QString why;
        EXPECT_FALSE(stationdescription::FromArchive(QStringLiteral("ridge"), json, &why)) << json;
        EXPECT_FALSE(why.isEmpty()) << json;
    }
}
