// SPDX-License-Identifier: GPL-3.0-or-later
// Runs nocturo-view as a user would from a terminal without a display: no DISPLAY, no data
// folder of the environment, the C locale with UTF-8 and the clock on UTC; what it printed
// on standard output and standard error, and its exit status (-1 when it crashed or hung).
// A cross build's program runs through `emulator` (the words of a command before it).
#pragma once

#include <QProcess>
#include <QString>
#include <QStringList>

namespace testsupport {

struct ViewerOutcome {
    int status = -1;
    QString output;
    QString errors;
};

inline ViewerOutcome RunViewer(const QString& program, const QStringList& arguments,
                               int guardMs = 300000, const QString& emulator = {}) {
    QProcess process;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM", "NOCTURO_DATA_DIR"})
        environment.remove(QString::fromLatin1(name));
    environment.insert(QStringLiteral("LC_ALL"), QStringLiteral("C.UTF-8"));
    environment.insert(QStringLiteral("TZ"), QStringLiteral("UTC"));
    process.setProcessEnvironment(environment);
    QStringList command = emulator.split(u' ', Qt::SkipEmptyParts);
    command << program << arguments;
    process.start(command.takeFirst(), command);
    if (!process.waitForFinished(guardMs)) return {};
    return {process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1,
            QString::fromLocal8Bit(process.readAllStandardOutput()),
            QString::fromLocal8Bit(process.readAllStandardError())};
}

} // namespace testsupport
