// SPDX-License-Identifier: GPL-3.0-or-later
// AlpacaService: the station's ASCOM Alpaca API over one request at a time: the device API
// (/api/v1/observingconditions/0/..., /api/v1/safetymonitor/0/...), the management API
// (/management/...) and a setup page. Every answer echoes the client's transaction number
// and carries one of the service's own; an ASCOM error travels inside a normal answer
// (ErrorNumber, ErrorMessage), a request it cannot interpret gets HTTP 400 with the reason
// as plain text. Nothing in it changes what the station records.
#pragma once

#include "observatory/AlpacaDevices.h"
#include "observatory/AlpacaMessage.h"

#include <QJsonObject>
#include <QString>

#include <mutex>

class LiveStation;

class AlpacaService {
public:
    AlpacaService(const LiveStation& live, QString version);

    // Safe to call from any thread; requests are answered one at a time.
    AlpacaReply Handle(const AlpacaRequest& request);

    // The devices' unique ids: the same for the same station name on every start.
    QString UniqueId(alpaca::DeviceKind kind) const;

private:
    AlpacaReply Device(alpaca::DeviceKind kind, const QString& member, bool put,
                       const AlpacaParameters& parameters);
    alpaca::Outcome Common(alpaca::DeviceKind kind, const QString& member, bool put,
                           const AlpacaParameters& parameters);
    // Handle() without the lock.
    AlpacaReply Serve(const AlpacaRequest& request);
    AlpacaReply Management(const QString& path, const AlpacaParameters& parameters);
    AlpacaReply Answer(const alpaca::Outcome& outcome, const AlpacaParameters& parameters);
    AlpacaReply Setup() const;

    const LiveStation& live_;
    QString version_;
    quint32 serverTransaction_ = 0;
    bool connected_[2] = {false, false};
    std::mutex mutex_;
};
