// SPDX-License-Identifier: GPL-3.0-or-later
// Observatory: what the logger offers observatories, as its options ask: the live station,
// ASCOM Alpaca over HTTP with its discovery, and the local state socket. A part that cannot
// start (a port in use) is told and left out; the station records all the same.
#pragma once

#include "core/station/StationDescription.h"
#include "observatory/ObservatoryOptions.h"

#include <QString>

#include <functional>
#include <memory>

class AlpacaDiscovery;
class AlpacaService;
class HttpServer;
class LiveStation;
class SkyConditionSource;
class StateSocket;
class Station;

class Observatory {
public:
    // `say` tells an event line with a journal priority (3 error .. 6 info).
    using Say = std::function<void(int priority, const QString& text)>;

    Observatory(Station& station, const StationDescription& description, ObservatoryOptions options,
                QString version, Say say, SkyConditionSource* sky = nullptr);
    ~Observatory();

    void Start();
    // Stops serving; the HTTP server's threads have ended when it returns.
    void Stop();

    LiveStation& Live() { return *live_; }
    // The Alpaca port listened on; 0 when not serving.
    quint16 AlpacaPort() const;

private:
    void StartAlpaca();

    ObservatoryOptions options_;
    QString version_;
    Say say_;
    std::unique_ptr<LiveStation> live_;
    std::unique_ptr<AlpacaService> alpaca_;
    std::unique_ptr<HttpServer> http_;
    std::unique_ptr<AlpacaDiscovery> discovery_;
    std::unique_ptr<StateSocket> stateSocket_;
};
