// SPDX-License-Identifier: GPL-3.0-or-later
// How every Nocturo program reads its command line: one QCommandLineParser with --help and
// --version, the same answer to a wrong option in every program, and the same way to show
// what it printed. Each program adds its own options and reads their values; the options
// the programs share (the broker's, the station's name) come from the shared parsers.
#pragma once

#include <QCommandLineParser>
#include <QString>
#include <QStringList>

#include <functional>

// What a command line comes to: run, or exit at once with `status` after printing
// `output` (help or version) on standard output, or `error` and a hint on standard error.
struct CommandLineOutcome {
    bool run = false;
    int status = 0;
    QString output; // for standard output: the help or the version
    QString error;  // for standard error: what is wrong, in one line
    QString usage;  // for standard error, after the error: where to read more
};

class ProgramCommandLine {
public:
    // `program`: its name ("nocturo-logger"); `summary`: what it does, for the top of --help.
    ProgramCommandLine(const QString& program, const QString& summary);

    QCommandLineParser& Parser() { return parser_; }
    const QCommandLineParser& Parser() const { return parser_; }

    // Parses `arguments` (the program's name first). False when the program does not go on:
    // `outcome` then says what to print and the status (--help, --version, an unknown
    // option, a missing value, or positional arguments where `positional` is false).
    bool Parse(const QStringList& arguments, CommandLineOutcome& outcome, bool positional = false);

    // The outcome of a command line that is wrong: status 2 and the error.
    CommandLineOutcome Wrong(const QString& error) const;

    // --help: the options, then the exit statuses.
    QString HelpText() const;

    // "nocturo-logger 0.1.0": the program's name and version, as every program prints it.
    QString VersionText() const;

private:
    QString program_;
    QCommandLineParser parser_;
};

// Whether `name` is a station's name on the network (1 to 64 of a-z 0-9 _ -); when it is
// not, `why` says what --`option` wants.
bool CheckStationName(const QString& option, const QString& name, QString* why = nullptr);

// What a whole-number option takes: from `low` to `high`, and what it is called in the
// message that refuses another value ("milliseconds", "a port").
struct WholeNumberRange {
    qint64 low = 0;
    qint64 high = 0;
    QString what = QStringLiteral("a whole number");
};

// The value of option `name`, when it is set; `value` is left alone when it is not. False
// when it is not a whole number in `range`, with `why` ("--NAME wants WHAT from LOW to
// HIGH, not "TEXT"").
bool ReadWholeNumber(const QCommandLineParser& parser, const QString& name,
                     const WholeNumberRange& range, qint64& value, QString* why = nullptr);

// The same into a narrower type, which `range` fits.
template <typename Number>
bool ReadWholeNumber(const QCommandLineParser& parser, const QString& name,
                     const WholeNumberRange& range, Number& value, QString* why = nullptr) {
    qint64 wide = static_cast<qint64>(value);
    if (!ReadWholeNumber(parser, name, range, wide, why)) return false;
    value = static_cast<Number>(wide);
    return true;
}

// Prints what `outcome` holds: its output on standard output; its error through
// `errorLine` (one line: to the journal, or "program: error" on a terminal) and then its
// usage on standard error. Returns its status.
int PrintCommandLineOutcome(const CommandLineOutcome& outcome,
                            const std::function<void(const QString&)>& errorLine);
