// SPDX-License-Identifier: GPL-3.0-or-later
#include "observatory/ObservatoryOptions.h"

#include "core/Failure.h"
#include "core/cli/ProgramCommandLine.h"

#include <QCommandLineParser>
#include <QHostAddress>

namespace observatoryoptions {

void Add(QCommandLineParser& parser) {
    parser.addOption({QStringLiteral("alpaca"),
                      QStringLiteral("Serve ASCOM Alpaca on this TCP port (ObservingConditions 0 "
                                     "and SafetyMonitor 0) and answer Alpaca discovery; 0: any "
                                     "free port. Off by default."),
                      QStringLiteral("PORT")});
    parser.addOption({QStringLiteral("alpaca-address"),
                      QStringLiteral("The address Alpaca listens on; default 127.0.0.1 (this "
                                     "machine only); 0.0.0.0 for every network."),
                      QStringLiteral("ADDRESS")});
    parser.addOption({QStringLiteral("alpaca-discovery-port"),
                      QStringLiteral("The UDP port of Alpaca discovery; default 32227; 0: no "
                                     "discovery."),
                      QStringLiteral("PORT")});
    parser.addOption({QStringLiteral("state-socket"),
                      QStringLiteral("Stream the live station, one JSON line a second, on this "
                                     "local socket (for the INDI driver indi_nocturo)."),
                      QStringLiteral("PATH")});
}

bool Read(const QCommandLineParser& parser, ObservatoryOptions& options, QString* why) {
    const bool alpaca = parser.isSet(QStringLiteral("alpaca"));
    for (const char* name : {"alpaca-address", "alpaca-discovery-port"})
        if (!alpaca && parser.isSet(QLatin1String(name)))
            return Fail(why, QStringLiteral("--%1 goes with --alpaca").arg(QLatin1String(name)));
    if (alpaca) {
        std::uint16_t port = 0;
        if (!ReadWholeNumber(parser, QStringLiteral("alpaca"), {0, 65535, QStringLiteral("a port")},
                             port, why))
            return false;
        options.alpacaPort = port;
    }
    if (parser.isSet(QStringLiteral("alpaca-address"))) {
        options.alpacaAddress = parser.value(QStringLiteral("alpaca-address")).trimmed();
        if (QHostAddress(options.alpacaAddress).isNull())
            return Fail(why,
                        QStringLiteral("--alpaca-address wants an IP address such as 127.0.0.1 "
                                       "or 0.0.0.0, not \"%1\"")
                            .arg(options.alpacaAddress));
    }
    if (!ReadWholeNumber(parser, QStringLiteral("alpaca-discovery-port"),
                         {0, 65535, QStringLiteral("a port")}, options.discoveryPort, why))
        return false;
    if (parser.isSet(QStringLiteral("state-socket"))) {
        options.stateSocket = parser.value(QStringLiteral("state-socket"));
        if (options.stateSocket.isEmpty())
            return Fail(why, QStringLiteral("--state-socket wants a path"));
    }
    return true;
}

} // namespace observatoryoptions
