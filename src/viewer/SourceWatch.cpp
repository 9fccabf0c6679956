// SPDX-License-Identifier: GPL-3.0-or-later
#include "viewer/SourceWatch.h"

namespace {
constexpr int kSettleMs = 300;
} // namespace

SourceWatch::SourceWatch(QObject* parent)
    : QObject(parent) {
    settle_.setSingleShot(true);
    settle_.setInterval(kSettleMs);
    connect(&settle_, &QTimer::timeout, this, &SourceWatch::Due);
    connect(&watcher_, &QFileSystemWatcher::directoryChanged, &settle_,
            qOverload<>(&QTimer::start));
    connect(&watcher_, &QFileSystemWatcher::fileChanged, &settle_, qOverload<>(&QTimer::start));
    connect(&poll_, &QTimer::timeout, this, &SourceWatch::Due);
}

void SourceWatch::Follow(const RecordSource& source) {
    const QStringList wanted = source.WatchedPaths();
    if (source.PollInterval() > 0)
        poll_.start(source.PollInterval());
    else
        poll_.stop();
    const QStringList watched = watcher_.files() + watcher_.directories();
    QStringList gone;
    for (const QString& path : watched)
        if (!wanted.contains(path)) gone << path;
    if (!gone.isEmpty()) watcher_.removePaths(gone);
    QStringList added;
    for (const QString& path : wanted)
        if (!watched.contains(path)) added << path;
    if (!added.isEmpty()) watcher_.addPaths(added);
}
