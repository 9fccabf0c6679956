// SPDX-License-Identifier: GPL-3.0-or-later
// The JSON API of the web service (read-only; every parameter checked before anything is
// read, none of them ever part of a query's text):
//
//   /api/stations                      every station: health, position, zero point
//   /api/days?station=S                the days S has lines on, newest first
//   /api/span?stations=A,B&SPAN        the lines of up to 8 stations (minutes beyond 3 days)
//   /api/sky?station=S&SPAN            twilight, the Sun and the Moon over the span
//   /api/nights?station=S&from=D&to=D  the figures of up to 62 nights (&format=csv)
//   /api/year?station=S&night=D&step=M the year of nights ending with D, M-minute cells
//   /api/download?station=S&SPAN&format=csv|skyglow
//
// SPAN is date=yyyy-mm-dd with kind=night|day|week, or with days=N (1 to 31 days from
// the date's midnight); resolution=minute asks for minutes at any length.
#pragma once

#include "http/HttpServer.h"
#include "web/AnswerCache.h"
#include "web/StationStore.h"

#include <atomic>
#include <functional>
#include <map>
#include <mutex>
#include <thread>
#include <vector>

struct YearNight;

class WebApi {
public:
    // Answers that may change are kept `cacheSeconds`; spans the archive has confirmed whole
    // are kept within `keepMegabytes` (compressed) until pushed out.
    WebApi(StationStore& store, QString version, int cacheSeconds = 5, int keepMegabytes = 16);
    ~WebApi();
    void Register(HttpServer& server);
    // Makes, on a thread of its own and one night at a time, each station's newest night the
    // archive has confirmed whole, as a browser asks for it, and keeps it within the bound
    // of the nights kept: a fresh service's first clients find their stations' last nights
    // made. Says each night kept, then how many, through `log`. Nothing from day files
    // (none of theirs is final) or with no room to keep nights. Call once.
    void StartPrewarm(std::function<void(const QString&)> log);

    HttpResponse Stations(const HttpRequest& request);
    HttpResponse Days(const HttpRequest& request);
    HttpResponse Span(const HttpRequest& request);
    HttpResponse Sky(const HttpRequest& request);
    HttpResponse Nights(const HttpRequest& request);
    HttpResponse Year(const HttpRequest& request);
    HttpResponse Download(const HttpRequest& request);

private:
    // A station named in the request that the source holds (400 malformed, 404 unknown).
    QString StationOf(const HttpRequest& request, const QString& value);
    // The minute medians of one night, kept once the night is over.
    std::vector<float> NightCells(const QString& station, std::int64_t night, int step,
                                  std::int64_t lastDay);
    // From the archive's minute summaries, in one question: the cells of those of `nights`
    // that are not kept yet and have summaries, kept as NightCells() keeps them.
    std::map<std::int64_t, std::vector<float>>
    SummedNightCells(const QString& station, const std::vector<std::int64_t>& nights, int step,
                     std::int64_t lastDay);

    void Prewarm(const std::function<void(const QString&)>& log);

    StationStore& store_;
    QString version_;
    qsizetype keepBytes_;
    AnswerCache cache_;
    std::mutex nightsMutex_;
    std::map<std::tuple<QString, std::int64_t, int>, std::vector<float>> nightCells_;
    std::atomic<bool> stopping_ = false;
    std::thread prewarm_;
};
