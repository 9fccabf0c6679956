// SPDX-License-Identifier: GPL-3.0-or-later
// The logger's options for observatories: ASCOM Alpaca (--alpaca PORT, off by default;
// --alpaca-address, loopback by default; --alpaca-discovery-port) and the local state
// socket the INDI driver reads (--state-socket PATH).
#pragma once

#include <QString>

#include <cstdint>
#include <optional>

class QCommandLineParser;

struct ObservatoryOptions {
    std::optional<std::uint16_t> alpacaPort; // none: no Alpaca; 0: any free port
    QString alpacaAddress = QStringLiteral("127.0.0.1");
    std::uint16_t discoveryPort = 32227; // 0: no discovery
    QString stateSocket;                 // empty: none

    bool Wanted() const { return alpacaPort.has_value() || !stateSocket.isEmpty(); }
};

namespace observatoryoptions {

void Add(QCommandLineParser& parser);
// The options given, or false with `why` saying in one line what is wrong.
bool Read(const QCommandLineParser& parser, ObservatoryOptions& options, QString* why = nullptr);

} // namespace observatoryoptions
