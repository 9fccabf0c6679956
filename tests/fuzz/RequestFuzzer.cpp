// SPDX-License-Identifier: GPL-3.0-or-later
// The web service's request parsing: a query or form body of any bytes, then the checked
// getters and the API's parameter checks on what it gave. Everything refused must be an
// HttpError with a client's status; everything taken must lie within its bounds.
#include "FuzzCheck.h"
#include "core/station/StationDescription.h"
#include "http/HttpRequest.h"
#include "web/WebParams.h"

#include <cstdint>

namespace {

template <typename Call> void Refusable(Call call) {
    try {
        call();
    } catch (const HttpError& error) {
        FUZZ_CHECK(error.status() >= 400 && error.status() < 500);
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const QByteArray text(reinterpret_cast<const char*>(data), qsizetype(size));
    HttpRequest::Pairs pairs;
    try {
        pairs = ParseFormEncoded(text, 64);
    } catch (const HttpError& error) {
        FUZZ_CHECK(error.status() == 400);
        return 0;
    }
    FUZZ_CHECK(pairs.size() <= 64);
    const HttpRequest request("GET", "/api/span", pairs, {{"Accept-Encoding", "gzip"}}, {});
    Refusable([&] { request.allowOnly({"stations", "date", "kind", "days", "resolution"}); });
    Refusable([&] {
        const auto value = request.text("kind", 8);
        FUZZ_CHECK(!value || value->size() <= 8);
    });
    Refusable([&] {
        const qint64 n = request.integer("days", 1, 31, 1);
        FUZZ_CHECK(n >= 1 && n <= 31);
    });
    Refusable([&] {
        const TimeSpan span = webparams::SpanOf(request);
        FUZZ_CHECK(span.to > span.from);
        FUZZ_CHECK(span.to - span.from <= webparams::kMaxDays * kSecondsPerDay);
    });
    Refusable([&] {
        const auto value = request.text("stations", 600);
        if (!value) return;
        const QStringList names = webparams::StationList(*value);
        FUZZ_CHECK(names.size() <= webparams::kMaxStations);
        for (const QString& name : names)
            FUZZ_CHECK(stationdescription::ValidName(name));
    });
    return 0;
}
