// SPDX-License-Identifier: GPL-3.0-or-later
#include "observatory/Observatory.h"

#include "http/HttpServer.h"
#include "observatory/AlpacaDiscovery.h"
#include "observatory/AlpacaService.h"
#include "observatory/LiveStation.h"
#include "observatory/StateSocket.h"

#include <QDateTime>
#include <QHostAddress>

namespace {

constexpr int kError = 3;
constexpr int kInfo = 6;

AlpacaRequest FromHttp(const HttpRequest& request) {
    AlpacaRequest alpaca;
    alpaca.method = request.method() == "HEAD" ? QByteArray("GET") : request.method();
    alpaca.path = request.path();
    alpaca.contentType = request.header(QStringLiteral("Content-Type")).toLatin1();
    alpaca.body = request.body();
    // A GET's parameters come in its query; the form body of a PUT is read again by the
    // service, which takes a PUT's parameters from there alone.
    if (alpaca.method == "GET") alpaca.query = request.params();
    return alpaca;
}

HttpResponse ToHttp(const AlpacaReply& reply) {
    HttpResponse response = HttpResponse::bytes(reply.body, reply.contentType, reply.status);
    if (!reply.allow.isEmpty()) response.header("Allow", reply.allow);
    return response;
}

} // namespace

Observatory::Observatory(Station& station, const StationDescription& description,
                         ObservatoryOptions options, QString version, Say say,
                         SkyConditionSource* sky)
    : options_(std::move(options))
    , version_(std::move(version))
    , say_(std::move(say))
    , live_(std::make_unique<LiveStation>(
          station, description, [] { return QDateTime::currentMSecsSinceEpoch(); }, sky)) {}

Observatory::~Observatory() {
    Stop();
}

void Observatory::Start() {
    if (options_.alpacaPort) StartAlpaca();
    if (!options_.stateSocket.isEmpty()) {
        auto socket = std::make_unique<StateSocket>(*live_);
        QString error;
        if (socket->Listen(options_.stateSocket, &error)) {
            stateSocket_ = std::move(socket);
            say_(kInfo, QStringLiteral("state socket: streaming at %1").arg(options_.stateSocket));
        } else {
            say_(kError, QStringLiteral("state socket: cannot listen at %1: %2")
                             .arg(options_.stateSocket, error));
        }
    }
}

void Observatory::StartAlpaca() {
    const QHostAddress address(options_.alpacaAddress);
    const QString host = address.protocol() == QAbstractSocket::IPv6Protocol
                             ? QStringLiteral("[%1]").arg(options_.alpacaAddress)
                             : options_.alpacaAddress;
    alpaca_ = std::make_unique<AlpacaService>(*live_, version_);
    HttpServerOptions http;
    http.listen = QStringLiteral("%1:%2").arg(host).arg(*options_.alpacaPort);
    http.threads = 2;
    http.connectionLimit = 64;
    http.log = [this](const QString& text) { say_(kError, QStringLiteral("alpaca: ") + text); };
    auto server = std::make_unique<HttpServer>(http);
    AlpacaService* service = alpaca_.get();
    for (const char* method : {"GET", "PUT"})
        server->route(method, QStringLiteral("/"), [service](const HttpRequest& request) {
            return ToHttp(service->Handle(FromHttp(request)));
        });
    try {
        server->start();
    } catch (const std::exception& e) {
        say_(kError, QStringLiteral("alpaca: cannot listen on %1: %2")
                         .arg(http.listen, QString::fromUtf8(e.what())));
        alpaca_.reset();
        return;
    }
    http_ = std::move(server);
    say_(kInfo, QStringLiteral("alpaca: serving on %1:%2").arg(host).arg(http_->port()));
    if (options_.discoveryPort == 0) return;
    auto discovery = std::make_unique<AlpacaDiscovery>(http_->port());
    QString error;
    if (discovery->Listen(address, options_.discoveryPort, &error)) {
        discovery_ = std::move(discovery);
        say_(kInfo,
             QStringLiteral("alpaca: answering discovery on UDP port %1").arg(discovery_->Port()));
    } else {
        say_(kError, QStringLiteral("alpaca: no discovery on UDP port %1: %2")
                         .arg(options_.discoveryPort)
                         .arg(error));
    }
}

void Observatory::Stop() {
    discovery_.reset();
    if (http_) http_->stop();
    http_.reset();
    stateSocket_.reset();
}

quint16 Observatory::AlpacaPort() const {
    return http_ ? http_->port() : 0;
}
