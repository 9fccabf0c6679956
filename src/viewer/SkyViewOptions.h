// SPDX-License-Identifier: GPL-3.0-or-later
// The command line's options for the sky's conditions and the jellyfish picture:
//
//   --conditions       the span's CSV gets a `sky` column; the nightly figures are over the
//                      clear dark moonless minutes, with the limiting magnitude and the
//                      Bortle class
//   --jellyfish YYYY-MM|YYYY   with --export FILE: the brightness of the month's or the
//                      year's minutes against the time of night (.png, .svg, .pdf, .csv)
//   --clear-only       with --jellyfish or --year: the clear dark minutes only
#pragma once

#include <QString>

#include <cstdint>
#include <optional>

class QCommandLineParser;

struct JellyfishPeriod {
    std::int64_t firstNight = 0; // the evening of the first night
    int nights = 0;
    QString name; // "2026-03" or "2026", as given
};

struct SkyViewOptions {
    bool conditions = false;
    std::optional<JellyfishPeriod> jellyfish;
    bool clearOnly = false;
};

// "2026-03": the nights of March 2026 (evenings 1 to 31 March); "2026": of the year.
std::optional<JellyfishPeriod> ParseJellyfishPeriod(const QString& text);

void AddSkyViewOptions(QCommandLineParser& parser);
// Reads them after the parse; `others` names another choice of what to export given
// alongside (--day, --year, …), empty when none. False with `why` when they are wrong.
bool ReadSkyViewOptions(const QCommandLineParser& parser, const QString& others,
                        SkyViewOptions& options, QString* why = nullptr);
