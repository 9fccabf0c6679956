// SPDX-License-Identifier: GPL-3.0-or-later
#include "observatory/AlpacaService.h"

#include "observatory/LiveStation.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QUuid>

using alpaca::DeviceKind;
using alpaca::Outcome;

namespace {

constexpr DeviceKind kDevices[] = {DeviceKind::ObservingConditions, DeviceKind::SafetyMonitor};

AlpacaReply Text(int status, const QString& text) {
    return AlpacaReply{status, "text/plain; charset=utf-8", text.toUtf8() + '\n', {}};
}

int IndexOf(DeviceKind kind) {
    return kind == DeviceKind::ObservingConditions ? 0 : 1;
}

// "true" or "false" in any case; none for anything else.
std::optional<bool> Boolean(const QString& text) {
    const QString t = text.trimmed();
    if (t.compare(QLatin1String("true"), Qt::CaseInsensitive) == 0) return true;
    if (t.compare(QLatin1String("false"), Qt::CaseInsensitive) == 0) return false;
    return std::nullopt;
}

} // namespace

AlpacaService::AlpacaService(const LiveStation& live, QString version)
    : live_(live)
    , version_(std::move(version)) {}

QString AlpacaService::UniqueId(DeviceKind kind) const {
    static const QUuid space(QStringLiteral("{6b0e5b1c-3c52-4f0e-9d7a-2f6a4c1e8d93}"));
    return QUuid::createUuidV5(space, live_.Description().name + u'/' +
                                          QLatin1String(alpaca::FactsOf(kind).type) +
                                          QStringLiteral("/0"))
        .toString(QUuid::WithoutBraces);
}

AlpacaReply AlpacaService::Handle(const AlpacaRequest& request) {
    std::lock_guard lock(mutex_);
    return Serve(request);
}

AlpacaReply AlpacaService::Serve(const AlpacaRequest& request) {
    const bool get = request.method == "GET";
    const bool put = request.method == "PUT";
    const QStringList parts = request.path.split(u'/', Qt::SkipEmptyParts);
    if (parts.value(0) == QLatin1String("setup")) {
        if (!get) return AlpacaReply{405, "text/plain; charset=utf-8", "GET only\n", "GET"};
        return Setup();
    }
    const bool api =
        parts.size() == 5 && parts[0] == QLatin1String("api") && parts[1] == QLatin1String("v1");
    const bool management = parts.value(0) == QLatin1String("management");
    if (!api && !management)
        return Text(404, QStringLiteral("no such resource: %1").arg(request.path));
    if (!get && !put)
        return AlpacaReply{405, "text/plain; charset=utf-8", "GET or PUT\n", "GET, PUT"};
    if (put && !request.contentType.isEmpty() &&
        !request.contentType.startsWith("application/x-www-form-urlencoded"))
        return Text(400, QStringLiteral("a PUT's parameters go in an "
                                        "application/x-www-form-urlencoded body"));
    // A GET's parameters are in its query, a PUT's in its form body.
    const AlpacaParameters parameters(get ? request.query : DecodeForm(request.body));
    if (management) {
        if (!get) return AlpacaReply{405, "text/plain; charset=utf-8", "GET only\n", "GET"};
        return Management(request.path, parameters);
    }
    for (const DeviceKind kind : kDevices)
        if (parts[2] == QLatin1String(alpaca::FactsOf(kind).type)) {
            if (parts[3] != QLatin1String("0"))
                return Text(400, QStringLiteral("no %1 number %2: the station has number 0")
                                     .arg(parts[2], parts[3]));
            return Device(kind, parts[4], put, parameters);
        }
    return Text(400, QStringLiteral("no device of type \"%1\": the station has "
                                    "observingconditions/0 and safetymonitor/0")
                         .arg(parts[2]));
}

AlpacaReply AlpacaService::Device(DeviceKind kind, const QString& member, bool put,
                                  const AlpacaParameters& parameters) {
    Outcome outcome = Common(kind, member, put, parameters);
    if (outcome.kind == Outcome::Kind::UnknownMember) {
        if (!alpaca::IsDeviceMember(kind, member))
            return Text(400, QStringLiteral("%1 has no member \"%2\"")
                                 .arg(QLatin1String(alpaca::FactsOf(kind).typeName), member));
        if (connected_[IndexOf(kind)]) {
            const LiveState state = live_.Copy();
            const std::int64_t now = live_.NowMs();
            const alpaca::View view{state, live_.Description(), now,
                                    SafeToObserve(state, live_.Description().safety, now)};
            outcome = alpaca::DeviceMember(kind, member, put, parameters, view);
        } else {
            outcome = Outcome::Error(alpaca::kNotConnected,
                                     QStringLiteral("not connected: set Connected first"));
        }
    }
    return Answer(outcome, parameters);
}

Outcome AlpacaService::Common(DeviceKind kind, const QString& member, bool put,
                              const AlpacaParameters& parameters) {
    const alpaca::DeviceFacts facts = alpaca::FactsOf(kind);
    bool& connected = connected_[IndexOf(kind)];
    auto getOnly = [put](QJsonValue value) {
        return put ? Outcome::Method("GET") : Outcome::Of(std::move(value));
    };
    if (member == QLatin1String("connected")) {
        if (!put) return Outcome::Of(connected);
        if (!parameters.Has(QStringLiteral("Connected")))
            return Outcome::Bad(QStringLiteral("the Connected parameter is missing"));
        const std::optional<bool> value = Boolean(parameters.Value(QStringLiteral("Connected")));
        if (!value)
            return Outcome::Bad(QStringLiteral("Connected wants True or False, not \"%1\"")
                                    .arg(parameters.Value(QStringLiteral("Connected"))));
        connected = *value;
        return Outcome::Done();
    }
    if (member == QLatin1String("connect") || member == QLatin1String("disconnect")) {
        if (!put) return Outcome::Method("PUT");
        connected = member == QLatin1String("connect");
        return Outcome::Done();
    }
    if (member == QLatin1String("connecting")) return getOnly(false); // connecting is at once
    if (member == QLatin1String("description")) return getOnly(QLatin1String(facts.description));
    if (member == QLatin1String("driverinfo"))
        return getOnly(
            QStringLiteral("Nocturo %1: the light-monitoring station's logger").arg(version_));
    if (member == QLatin1String("driverversion")) return getOnly(version_);
    if (member == QLatin1String("interfaceversion")) return getOnly(facts.interfaceVersion);
    if (member == QLatin1String("name"))
        return getOnly(QStringLiteral("Nocturo %1").arg(live_.Description().name));
    if (member == QLatin1String("supportedactions")) return getOnly(QJsonArray());
    if (member == QLatin1String("action")) {
        if (!put) return Outcome::Method("PUT");
        if (!parameters.Has(QStringLiteral("Action")) ||
            !parameters.Has(QStringLiteral("Parameters")))
            return Outcome::Bad(
                QStringLiteral("Action wants the Action and Parameters parameters"));
        return Outcome::Error(alpaca::kActionNotImplemented,
                              QStringLiteral("no action \"%1\": the station supports none")
                                  .arg(parameters.Value(QStringLiteral("Action"))));
    }
    if (member.startsWith(QLatin1String("command")) &&
        (member == QLatin1String("commandblind") || member == QLatin1String("commandbool") ||
         member == QLatin1String("commandstring"))) {
        if (!put) return Outcome::Method("PUT");
        if (!parameters.Has(QStringLiteral("Command")))
            return Outcome::Bad(QStringLiteral("the Command parameter is missing"));
        return Outcome::Error(alpaca::kNotImplemented,
                              QStringLiteral("the station takes no commands"));
    }
    return Outcome::Unknown();
}

AlpacaReply AlpacaService::Management(const QString& path, const AlpacaParameters& parameters) {
    if (path == QLatin1String("/management/apiversions"))
        return Answer(Outcome::Of(QJsonArray{1}), parameters);
    if (path == QLatin1String("/management/v1/description")) {
        const StationDescription& d = live_.Description();
        QString location = d.skyglow.locationName;
        if (location.isEmpty() && d.HasPosition())
            location = QStringLiteral("%1, %2").arg(*d.latitude).arg(*d.longitude);
        return Answer(Outcome::Of(QJsonObject{
                          {QStringLiteral("ServerName"), QStringLiteral("Nocturo %1").arg(d.name)},
                          {QStringLiteral("Manufacturer"), QStringLiteral("Nocturo")},
                          {QStringLiteral("ManufacturerVersion"), version_},
                          {QStringLiteral("Location"), location}}),
                      parameters);
    }
    if (path == QLatin1String("/management/v1/configureddevices")) {
        QJsonArray devices;
        for (const DeviceKind kind : kDevices)
            devices.append(QJsonObject{
                {QStringLiteral("DeviceName"),
                 QStringLiteral("Nocturo %1").arg(live_.Description().name)},
                {QStringLiteral("DeviceType"), QLatin1String(alpaca::FactsOf(kind).typeName)},
                {QStringLiteral("DeviceNumber"), 0},
                {QStringLiteral("UniqueID"), UniqueId(kind)}});
        return Answer(Outcome::Of(devices), parameters);
    }
    return Text(404, QStringLiteral("no such resource: %1").arg(path));
}

AlpacaReply AlpacaService::Answer(const Outcome& outcome, const AlpacaParameters& parameters) {
    if (outcome.kind == Outcome::Kind::BadRequest) return Text(400, outcome.message);
    if (outcome.kind == Outcome::Kind::WrongMethod)
        return AlpacaReply{405, "text/plain; charset=utf-8",
                           "this member takes " + outcome.allow + " only\n", outcome.allow};
    if (++serverTransaction_ == 0) serverTransaction_ = 1; // never 0 after a wrap
    QJsonObject body{
        {QStringLiteral("ClientTransactionID"),
         static_cast<qint64>(parameters.TransactionNumber(QStringLiteral("ClientTransactionID")))},
        {QStringLiteral("ServerTransactionID"), static_cast<qint64>(serverTransaction_)},
        {QStringLiteral("ErrorNumber"), outcome.errorNumber},
        {QStringLiteral("ErrorMessage"), outcome.message}};
    if (outcome.kind == Outcome::Kind::Value) body.insert(QStringLiteral("Value"), outcome.value);
    return AlpacaReply{
        200, "application/json", QJsonDocument(body).toJson(QJsonDocument::Compact), {}};
}

AlpacaReply AlpacaService::Setup() const {
    const QString name = live_.Description().name.toHtmlEscaped();
    const QString page =
        QStringLiteral("<!DOCTYPE html><html><head><meta charset=\"utf-8\"><title>Nocturo %1"
                       "</title></head><body><h1>Nocturo %1</h1><p>ObservingConditions 0 and "
                       "SafetyMonitor 0. The station is set up in station.conf beside its day "
                       "files (zero_point, safe_conditions, safe_darker_than, "
                       "safe_fresh_seconds); nothing is set here.</p></body></html>\n")
            .arg(name);
    return AlpacaReply{200, "text/html; charset=utf-8", page.toUtf8(), {}};
}
