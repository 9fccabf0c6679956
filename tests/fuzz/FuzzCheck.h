// SPDX-License-Identifier: GPL-3.0-or-later
// What the fuzz targets share: a check that ends the run as a crash does, so libFuzzer
// keeps the input that broke it, and a scratch directory in memory where one exists.
#pragma once

#include <QDir>
#include <QString>
#include <QTemporaryDir>

#include <cstdio>
#include <cstdlib>

#define FUZZ_CHECK(condition)                                                                      \
    do {                                                                                           \
        if (!(condition)) {                                                                        \
            std::fprintf(stderr, "%s:%d: check failed: %s\n", __FILE__, __LINE__, #condition);     \
            std::abort();                                                                          \
        }                                                                                          \
    } while (false)

// A directory for files the targets write and read back, in /dev/shm where there is one,
// so that the saves' flushes to disk cost nothing.
inline QString FuzzScratchDirectory() {
    static const QTemporaryDir dir(QDir(QStringLiteral("/dev/shm")).exists()
                                       ? QStringLiteral("/dev/shm/nocturo-fuzz-XXXXXX")
                                       : QDir::tempPath() + QStringLiteral("/nocturo-fuzz-XXXXXX"));
    return dir.path();
}
