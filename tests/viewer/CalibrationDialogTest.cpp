// SPDX-License-Identifier: GPL-3.0-or-later
// The calibration and drift dialogs driven as a user would, offscreen: the reference
// folder chosen, Calibrate pressed, the line to paste shown; the drift of a folder without
// a position refused with the reason.
#include "viewer/CalibrationDialog.h"
#include "EmulatedNights.h"
#include "viewer/DriftDialog.h"

#include <QComboBox>
#include <QDateEdit>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

bool Describe(const QString& folder, const QByteArray& text) {
    QFile file(QDir(folder).filePath(QStringLiteral("station.conf")));
    return file.open(QIODevice::WriteOnly) && file.write(text) == text.size();
}

} // namespace

TEST(CalibrationDialog, ShowsTheLineToPaste) {
    QTemporaryDir station, reference;
    const std::int64_t night = DaysFromCivil(2026, 3, 18);
    const CloudModel clear(Site::Dark, {});
    ASSERT_TRUE(WriteDayFiles(station.path(), EmulateNights(clear, 1, night, 23.90, 3)));
    ASSERT_TRUE(WriteDayFiles(reference.path(), EmulateNights(clear, 1, night, 24.55, 4)));
    ASSERT_TRUE(Describe(station.path(), "latitude = 52\nlongitude = 0\ntimezone = UTC\n"));
    ASSERT_TRUE(Describe(reference.path(), "zero_point = 24.55\n"));

    CalibrationDialog dialog(station.path(), std::nullopt, night + 1);
    dialog.show();
    EXPECT_EQ(dialog.FirstNight()->date(), QDate(2026, 3, 18));
    dialog.ReferenceKind()->setCurrentIndex(0);
    dialog.Reference()->setText(reference.path());
    dialog.CalibrateButton()->click();
    EXPECT_EQ(dialog.Line()->text(), QStringLiteral("zero_point = 23.90 from 2026-03-18"))
        << dialog.Result()->toPlainText().toStdString();

    // A night with no lines: refused, nothing to paste.
    dialog.FirstNight()->setDate(QDate(2026, 3, 20));
    dialog.LastNight()->setDate(QDate(2026, 3, 21));
    dialog.CalibrateButton()->click();
    EXPECT_TRUE(dialog.Line()->text().isEmpty());
    EXPECT_TRUE(dialog.Result()->toPlainText().contains(QStringLiteral("too few minutes")))
        << dialog.Result()->toPlainText().toStdString();
}

TEST(DriftDialog, AsksForThePosition) {
    QTemporaryDir folder;
    DriftDialog dialog(folder.path(), std::nullopt);
    QString why;
    EXPECT_FALSE(dialog.Figure(&why));
    EXPECT_TRUE(why.contains(QStringLiteral("position"))) << why.toStdString();
    EXPECT_FALSE(dialog.Shown().has_value());
    why.clear();
    EXPECT_FALSE(dialog.Export(folder.filePath(QStringLiteral("x.csv")), &why));
    EXPECT_FALSE(why.isEmpty());
}
