// SPDX-License-Identifier: GPL-3.0-or-later
#include "web/WebApi.h"

#include "core/astro/Observer.h"
#include "core/astro/SpanSky.h"
#include "core/astro/Twilight.h"
#include "core/log/YearMinutes.h"
#include "core/nights/NightFigures.h"
#include "core/nights/SkyglowFile.h"
#include "web/SpanJson.h"
#include "web/WebParams.h"

#include <QSet>

#include <algorithm>
#include <cmath>

namespace {

const char* KindName(SpanKind kind) {
    switch (kind) {
    case SpanKind::Day:
        return "day";
    case SpanKind::Night:
        return "night";
    case SpanKind::Week:
        return "week";
    }
    return "day";
}

QString CacheKey(const HttpRequest& request) {
    QStringList parts;
    for (const auto& [key, value] : request.params())
        parts << key + '=' + value;
    parts.sort();
    return request.path() + '?' + parts.join('&');
}

void WriteDescription(JsonWriter& json, const StationDescription& d) {
    json.key("latitude").optional(d.latitude, 5).key("longitude").optional(d.longitude, 5);
    json.key("elevation")
        .optional(d.elevation, 1)
        .key("zeroPoint")
        .optional(d.zeroPoints.Latest(), 3);
    json.key("timezone").string(d.TimeZone().id());
}

} // namespace

WebApi::WebApi(StationStore& store, QString version, int cacheSeconds, int keepMegabytes)
    : store_(store)
    , version_(std::move(version))
    , keepBytes_(qsizetype(keepMegabytes) * 1024 * 1024)
    , cache_(cacheSeconds > 0 ? 24 * 1024 * 1024 : 0, std::chrono::seconds(cacheSeconds),
             qsizetype(keepMegabytes) * 1024 * 1024) {}

WebApi::~WebApi() {
    stopping_ = true;
    if (prewarm_.joinable()) prewarm_.join();
}

void WebApi::StartPrewarm(std::function<void(const QString&)> log) {
    if (!store_.IsArchive() || keepBytes_ <= 0) return;
    // At the clients' priority, not below: a client asking for the night being made waits
    // for this thread, which a lower priority would leave behind every other process on a
    // busy machine. One night at a time is what bounds its cost.
    prewarm_ = std::thread([this, log = std::move(log)] { Prewarm(log); });
}

void WebApi::Prewarm(const std::function<void(const QString&)>& log) {
    int nights = 0;
    qsizetype kept = 0, largest = 0;
    try {
        for (const QString& station : store_.Stations()) {
            if (stopping_) return;
            const std::optional<std::int64_t> night = store_.NewestFinalNight(station);
            if (!night) continue;
            // Asked as the station's page asks for it, so that the answer kept is the one
            // the browsers' requests find.
            const HttpRequest request(
                "GET", "/api/span",
                {{"stations", station}, {"date", IsoDate(*night)}, {"kind", "night"}},
                {{"Accept-Encoding", "gzip"}}, {});
            const HttpResponse answer = Span(request);
            const bool whole = std::any_of(answer.headers.begin(), answer.headers.end(),
                                           [](const auto& h) { return h.first == "ETag"; });
            if (!whole) continue; // not final after all: left to the clients
            ++nights;
            kept += answer.body.size();
            largest = std::max(largest, answer.body.size());
            log(QStringLiteral("made %1's night of %2 ahead (%3 kB compressed)")
                    .arg(station, IsoDate(*night))
                    .arg(answer.body.size() / 1000));
            // The next would push out one made here.
            if (kept + largest > keepBytes_) break;
        }
    } catch (const std::exception& error) {
        // The clients hear of it when they ask; ahead of them it is only said.
        log(QStringLiteral("the last nights were not made ahead: %1").arg(error.what()));
        return;
    }
    log(QStringLiteral("made %1 last confirmed nights ahead (%2 kB kept)")
            .arg(nights)
            .arg(kept / 1000));
}

void WebApi::Register(HttpServer& server) {
    const auto bind = [&](const char* path, HttpResponse (WebApi::*method)(const HttpRequest&)) {
        server.route("GET", path,
                     [this, method](const HttpRequest& r) { return (this->*method)(r); });
    };
    bind("/api/stations", &WebApi::Stations);
    bind("/api/days", &WebApi::Days);
    bind("/api/span", &WebApi::Span);
    bind("/api/sky", &WebApi::Sky);
    bind("/api/nights", &WebApi::Nights);
    bind("/api/year", &WebApi::Year);
    bind("/api/download", &WebApi::Download);
}

QString WebApi::StationOf(const HttpRequest&, const QString& value) {
    const QString name = webparams::StationName(value);
    if (!store_.Has(name)) throw HttpError(404, QString("there is no station \"%1\"").arg(name));
    return name;
}

HttpResponse WebApi::Stations(const HttpRequest& request) {
    request.allowOnly({});
    std::int64_t now = 0;
    const std::vector<StationHealth> health = store_.Health(&now);
    QByteArray out;
    JsonWriter json(out);
    json.raw("{").key("source").string(store_.IsArchive() ? "archive" : "folder");
    json.key("now").number(now).key("staleAfter").number(store_.StaleAfter());
    json.key("header").raw("[");
    const QStringList header = stationhealth::Header();
    for (int i = 0; i < header.size(); ++i)
        (i ? json.raw(",") : json).string(header[i]);
    json.raw("]").key("stations").raw("[");
    for (std::size_t i = 0; i < health.size(); ++i) {
        const StationHealth& s = health[i];
        const QStringList cells = stationhealth::Cells(s, now, store_.StaleAfter());
        json.raw(i ? ",{" : "{").key("name").string(s.name).key("state").string(cells[1]);
        json.key("cells").raw("[");
        for (int c = 0; c < cells.size(); ++c)
            (c ? json.raw(",") : json).string(cells[c]);
        json.raw("]").key("lastReading");
        s.lastReading ? json.number(*s.lastReading) : json.raw("null");
        WriteDescription(json, store_.Describe(s.name));
        json.raw("}");
    }
    json.raw("]}");
    return HttpResponse::jsonBytes(out).header("Cache-Control", "no-store");
}

HttpResponse WebApi::Days(const HttpRequest& request) {
    request.allowOnly({"station"});
    const QString station = StationOf(request, request.requiredText("station", 64));
    QByteArray out;
    JsonWriter json(out);
    json.raw("{").key("station").string(station).key("days").raw("[");
    bool first = true;
    for (const SourceDay& day : store_.Days(station)) {
        json.raw(first ? "{" : ",{").key("date").string(IsoDate(day.day));
        json.key("lines").number(day.lines).key("first").number(day.first);
        json.key("last").number(day.last).raw("}");
        first = false;
    }
    json.raw("]}");
    return HttpResponse::jsonBytes(out).header("Cache-Control", "no-store");
}

HttpResponse WebApi::Span(const HttpRequest& request) {
    request.allowOnly({"stations", "date", "kind", "days", "resolution"});
    const QStringList names = webparams::StationList(request.requiredText("stations", 600));
    const TimeSpan span = webparams::SpanOf(request);
    const QString resolution = request.text("resolution", 8).value_or("auto");
    if (resolution != "auto" && resolution != "second" && resolution != "minute")
        throw HttpError(400, "parameter \"resolution\" is auto, second or minute");
    const bool seconds =
        resolution == "second" ||
        (resolution == "auto" && span.to - span.from <= webparams::kSecondsUpTo * kSecondsPerDay);
    if (resolution == "second" && span.to - span.from > webparams::kSecondsUpTo * kSecondsPerDay)
        throw HttpError(400, "second by second at most 3 days");
    QStringList stations;
    for (const QString& name : names)
        stations << StationOf(request, name);
    return cache_.Get(CacheKey(request), request.acceptsGzip(), [&](bool& complete) {
        complete = true;
        QByteArray out;
        out.reserve(seconds ? 1 << 21 : 1 << 16);
        JsonWriter json(out);
        json.raw("{").key("kind").raw("\"").raw(KindName(span.kind)).raw("\"");
        json.key("date").string(IsoDate(span.day));
        json.key("from").number(span.from).key("to").number(span.to).key("stations").raw("[");
        for (int i = 0; i < stations.size(); ++i) {
            bool whole = false;
            const SpanLines lines = store_.Read(stations[i], span, &whole);
            complete = complete && whole && lines.problems.isEmpty();
            json.raw(i ? ",{" : "{").key("name").string(stations[i]);
            json.key("zeroPoint").optional(store_.Describe(stations[i]).zeroPoints.Latest(), 3);
            json.key("problems").raw("[");
            for (int p = 0; p < lines.problems.size(); ++p)
                (p ? json.raw(",") : json).string(lines.problems[p]);
            json.raw("]");
            seconds ? spanjson::WriteSeconds(json, lines.records)
                    : spanjson::WriteMinutes(json, lines.records);
            // A night's sky conditions minute by minute, where the station's place is known.
            const StationDescription d = store_.Describe(stations[i]);
            if (const std::optional<astro::Observer> where = astro::ObserverOf(d);
                where && span.kind == SpanKind::Night) {
                const std::vector<sky::Minute> minutes =
                    sky::NightMinutes(span, lines.records, *where, d.TimeZone());
                spanjson::WriteConditions(json, minutes,
                                          sky::Classify(minutes, sky::ClearSkyBaseline()));
            }
            json.raw("}");
        }
        json.raw("]}");
        return HttpResponse::jsonBytes(out);
    });
}

HttpResponse WebApi::Sky(const HttpRequest& request) {
    request.allowOnly({"station", "date", "kind", "days"});
    const QString station = StationOf(request, request.requiredText("station", 64));
    const TimeSpan span = webparams::SpanOf(request);
    const StationDescription d = store_.Describe(station);
    QByteArray out;
    JsonWriter json(out);
    json.raw("{").key("station").string(station).key("from").number(span.from);
    json.key("to").number(span.to);
    const std::optional<astro::Observer> where = astro::ObserverOf(d);
    json.key("position").raw(where ? "true" : "false");
    if (where) {
        const int step = span.to - span.from > 3 * kSecondsPerDay ? 900 : 300;
        const astro::SpanSky sky(*where, d.TimeZone(), span.from, span.to, step);
        json.key("moonIlluminated").number(sky.MoonIlluminated(), 3);
        json.key("events").raw("[");
        for (std::size_t i = 0; i < sky.Events().size(); ++i) {
            const astro::WallEvent& e = sky.Events()[i];
            json.raw(i ? ",{" : "{").key("kind").string(astro::EventName(e.kind));
            json.key("wall").number(std::int64_t(std::llround(e.wall))).raw("}");
        }
        json.raw("]").key("step").number(std::int64_t(step)).key("t").raw("[");
        for (std::size_t i = 0; i < sky.Size(); ++i)
            (i ? json.raw(",") : json).number(sky.WallAt(i));
        json.raw("]").key("sun").raw("[");
        for (std::size_t i = 0; i < sky.Size(); ++i)
            (i ? json.raw(",") : json).number(double(sky.Track().SunAltitude(i)), 2);
        json.raw("]").key("moon").raw("[");
        for (std::size_t i = 0; i < sky.Size(); ++i)
            (i ? json.raw(",") : json).number(double(sky.Track().MoonAltitude(i)), 2);
        json.raw("]");
    }
    json.raw("}");
    return HttpResponse::jsonBytes(out);
}

HttpResponse WebApi::Nights(const HttpRequest& request) {
    request.allowOnly({"station", "from", "to", "format"});
    const QString station = StationOf(request, request.requiredText("station", 64));
    const std::int64_t from = webparams::Date(request, "from");
    const std::int64_t to = webparams::Date(request, "to");
    const QString format = request.text("format", 8).value_or("json");
    if (format != "json" && format != "csv") throw HttpError(400, "format is json or csv");
    if (to < from || to - from >= 62) throw HttpError(400, "from 1 to 62 nights, from before to");
    const StationDescription d = store_.Describe(station);
    const std::optional<astro::Observer> where = astro::ObserverOf(d);
    if (!where)
        throw HttpError(409,
                        QString("station \"%1\" has no position for its figures").arg(station));
    return cache_.Get(CacheKey(request), request.acceptsGzip(), [&](bool&) {
        std::vector<NightFigures> figures;
        for (std::int64_t night = from; night <= to; ++night) {
            const TimeSpan span = TimeSpan::Of(SpanKind::Night, night);
            figures.push_back(FigureNight(span, store_.Read(station, span).records, *where,
                                          d.TimeZone(), d.zeroPoints));
        }
        if (format == "csv")
            return HttpResponse::bytes(NightFiguresCsv(figures, !d.zeroPoints.Empty()),
                                       "text/csv; charset=utf-8")
                .attachment(station + "-nights-" + IsoDate(from) + "-" + IsoDate(to) + ".csv");
        QByteArray out;
        JsonWriter json(out);
        json.raw("{").key("station").string(station).key("nights").raw("[");
        for (std::size_t i = 0; i < figures.size(); ++i) {
            const NightFigures& f = figures[i];
            json.raw(i ? ",{" : "{").key("night").string(IsoDate(f.night));
            json.key("darkMinutes").number(std::int64_t(f.darkMinutes));
            json.key("darkMoonlessMinutes").number(std::int64_t(f.darkMoonlessMinutes));
            json.key("measuredMinutes").number(std::int64_t(f.measuredMinutes));
            json.key("medianCount").optional(f.medianCount, 2);
            json.key("p10Count").optional(f.p10Count, 2).key("p90Count").optional(f.p90Count, 2);
            json.key("medianMagnitude").optional(f.medianMagnitude, 2);
            json.key("darkestMinute");
            f.darkestMinute ? json.number(*f.darkestMinute) : json.raw("null");
            json.key("darkestMagnitude").optional(f.darkestMagnitude, 2);
            json.key("secondsWithoutLine").number(f.secondsWithoutLine);
            json.key("failedSeconds").number(f.failedSeconds).raw("}");
        }
        json.raw("]}");
        return HttpResponse::jsonBytes(out);
    });
}

HttpResponse WebApi::Year(const HttpRequest& request) {
    request.allowOnly({"station", "night", "step"});
    const QString station = StationOf(request, request.requiredText("station", 64));
    const std::int64_t last = webparams::Date(request, "night");
    const int step = int(request.integer("step", 1, 60, 5));
    if (YearMinutes::kRows % step != 0) throw HttpError(400, "step divides 1440 minutes");
    return cache_.Get(CacheKey(request), request.acceptsGzip(), [&](bool&) {
        const int nights = yearminutes::NightsOfYearEndingWith(last);
        const std::int64_t first = last - nights + 1;
        QSet<std::int64_t> days;
        std::int64_t lastDay = 0;
        for (const SourceDay& day : store_.Days(station)) {
            days.insert(day.day);
            lastDay = std::max(lastDay, day.day);
        }
        const int rows = YearMinutes::kRows / step;
        std::map<std::int64_t, std::vector<float>> summed;
        if (store_.IsArchive()) {
            std::vector<std::int64_t> withLines;
            for (std::int64_t night = first; night <= last; ++night)
                if (days.contains(night) || days.contains(night + 1)) withLines.push_back(night);
            summed = SummedNightCells(station, withLines, step, lastDay);
        }
        QByteArray out;
        out.reserve(qsizetype(nights) * rows * 4);
        JsonWriter json(out);
        json.raw("{").key("station").string(station).key("firstNight").string(IsoDate(first));
        json.key("nights").number(std::int64_t(nights)).key("step").number(std::int64_t(step));
        json.key("rows").number(std::int64_t(rows)).key("median").raw("[");
        for (int n = 0; n < nights; ++n) {
            const std::int64_t night = first + n;
            const bool any = days.contains(night) || days.contains(night + 1);
            const auto it = summed.find(night);
            const std::vector<float> cells = !any ? std::vector<float>()
                                             : it != summed.end()
                                                 ? it->second
                                                 : NightCells(station, night, step, lastDay);
            for (int r = 0; r < rows; ++r) {
                if (n || r) json.raw(",");
                json.number(any ? double(cells[std::size_t(r)]) : NAN, 1);
            }
        }
        json.raw("]}");
        return HttpResponse::jsonBytes(out);
    });
}

HttpResponse WebApi::Download(const HttpRequest& request) {
    request.allowOnly({"station", "date", "kind", "days", "format"});
    const QString station = StationOf(request, request.requiredText("station", 64));
    const TimeSpan span = webparams::SpanOf(request);
    const QString format = request.requiredText("format", 8);
    if (format != "csv" && format != "skyglow") throw HttpError(400, "format is csv or skyglow");
    const SpanLines lines = store_.Read(station, span);
    const QString name = station + "-" + KindName(span.kind) + "-" + IsoDate(span.day);
    if (format == "skyglow")
        return HttpResponse::bytes(skyglow::File(lines.records, store_.Describe(station), version_),
                                   "text/plain; charset=us-ascii")
            .attachment(name + ".dat");
    QByteArray out = "local time,mean count,temperature,range,failed\r\n";
    out.reserve(qsizetype(lines.records.size()) * 40);
    for (const DayRecord& r : lines.records) {
        out += IsoWallTime(r.time).toLatin1() + ',' + QByteArray::number(r.mean) + ',' +
               QByteArray::number(r.Temperature(), 'f', 1) + ',' + QByteArray::number(r.range) +
               ',' + (r.Failed() ? "1" : "0") + "\r\n";
    }
    return HttpResponse::bytes(out, "text/csv; charset=utf-8").attachment(name + ".csv");
}
