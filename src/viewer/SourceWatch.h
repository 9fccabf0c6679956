// SPDX-License-Identifier: GPL-3.0-or-later
// Following a source as it grows: the paths it names are watched on disk, a source that no
// file announces (an archive) is asked again at its own interval, and Due() is signalled
// once a change has settled (a save is a write and a rename: one reading after both).
#pragma once

#include "core/log/RecordSource.h"

#include <QFileSystemWatcher>
#include <QObject>
#include <QTimer>

class SourceWatch : public QObject {
    Q_OBJECT
public:
    explicit SourceWatch(QObject* parent = nullptr);

    // Watches what `source` names now, and polls it if it asks to be polled.
    void Follow(const RecordSource& source);
    // How long after a change on disk Due() comes.
    void SetDelay(int ms) { settle_.setInterval(ms); }

signals:
    void Due();

private:
    QFileSystemWatcher watcher_;
    QTimer settle_;
    QTimer poll_;
};
