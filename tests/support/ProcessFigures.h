// SPDX-License-Identifier: GPL-3.0-or-later
// What the benchmarks read of their own process: a memory figure of /proc/self/status and
// the CPU time of all its threads so far.
#pragma once

#include <QByteArray>
#include <QFile>
#include <QString>

#include <sys/resource.h>

namespace testsupport {

// A "VmRSS:"-like line of /proc/self/status, in MB; -1 when it cannot be read.
inline double StatusMb(const char* key) {
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly)) return -1;
    for (const QByteArray& line : status.readAll().split('\n'))
        if (line.startsWith(key))
            return line.mid(qstrlen(key)).trimmed().split(' ').first().toDouble() / 1024.0;
    return -1;
}

// User and system seconds of every thread of the process so far.
inline double CpuSeconds() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

} // namespace testsupport
