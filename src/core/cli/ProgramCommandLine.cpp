// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/cli/ProgramCommandLine.h"

#include "core/Failure.h"
#include "core/cli/ExitStatus.h"

#include "core/station/StationDescription.h"

#include <cstdio>

ProgramCommandLine::ProgramCommandLine(const QString& program, const QString& summary)
    : program_(program) {
    parser_.setApplicationDescription(summary);
    parser_.addHelpOption();
    parser_.addVersionOption();
}

QString ProgramCommandLine::HelpText() const {
    return parser_.helpText() + QLatin1Char('\n') + exitstatus::Table();
}

QString ProgramCommandLine::VersionText() const {
    return program_ + QStringLiteral(" " NOCTURO_VERSION "\n");
}

bool CheckStationName(const QString& option, const QString& name, QString* why) {
    if (stationdescription::ValidName(name)) return true;
    return Fail(why,
                QStringLiteral("--%1 wants 1 to 64 of a-z 0-9 _ -, not \"%2\"").arg(option, name));
}

bool ReadWholeNumber(const QCommandLineParser& parser, const QString& name,
                     const WholeNumberRange& range, qint64& value, QString* why) {
    if (!parser.isSet(name)) return true;
    const QString text = parser.value(name);
    bool number = false;
    const qint64 n = text.trimmed().toLongLong(&number, 10);
    if (!number || n < range.low || n > range.high) {
        return Fail(why, QStringLiteral("--%1 wants %2 from %3 to %4, not \"%5\"")
                             .arg(name, range.what)
                             .arg(range.low)
                             .arg(range.high)
                             .arg(text));
    }
    value = n;
    return true;
}

CommandLineOutcome ProgramCommandLine::Wrong(const QString& error) const {
    CommandLineOutcome outcome;
    outcome.status = exitstatus::kUsage;
    outcome.error = error;
    outcome.usage = HelpText();
    return outcome;
}

bool ProgramCommandLine::Parse(const QStringList& arguments, CommandLineOutcome& outcome,
                               bool positional) {
    if (!parser_.parse(arguments)) {
        outcome = Wrong(parser_.errorText());
        return false;
    }
    if (parser_.isSet(QStringLiteral("help")) || parser_.isSet(QStringLiteral("help-all"))) {
        outcome = {};
        outcome.output = HelpText();
        return false;
    }
    if (parser_.isSet(QStringLiteral("version"))) {
        outcome = {};
        outcome.output = VersionText();
        return false;
    }
    if (!positional && !parser_.positionalArguments().isEmpty()) {
        outcome = Wrong(QStringLiteral("Unexpected argument \"%1\"")
                            .arg(parser_.positionalArguments().constFirst()));
        return false;
    }
    return true;
}

int PrintCommandLineOutcome(const CommandLineOutcome& outcome,
                            const std::function<void(const QString&)>& errorLine) {
    if (!outcome.output.isEmpty()) {
        std::fputs(outcome.output.toLocal8Bit().constData(), stdout);
        std::fflush(stdout);
    }
    if (!outcome.error.isEmpty()) {
        errorLine(outcome.error);
        std::fputs(outcome.usage.toLocal8Bit().constData(), stderr);
    }
    return outcome.status;
}
