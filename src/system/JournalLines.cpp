// SPDX-License-Identifier: GPL-3.0-or-later
#include "system/JournalLines.h"

#include <QByteArray>

#include <cerrno>
#include <cstdlib>
#include <sys/stat.h>
#include <unistd.h>

JournalLines::JournalLines(int fd, bool priorities, QString name)
    : fd_(fd)
    , priorities_(priorities)
    , name_(std::move(name)) {}

bool JournalLines::IsJournalStream(int fd) {
    // "<device>:<inode>", both decimal, as systemd sets it for a service's stream.
    const char* value = std::getenv("JOURNAL_STREAM");
    if (value == nullptr) return false;
    const QByteArray text(value);
    const qsizetype colon = text.indexOf(':');
    if (colon <= 0) return false;
    bool devOk = false;
    bool inoOk = false;
    const qulonglong device = text.left(colon).toULongLong(&devOk);
    const qulonglong inode = text.mid(colon + 1).toULongLong(&inoOk);
    struct stat st {};
    if (!devOk || !inoOk || ::fstat(fd, &st) != 0) return false;
    return static_cast<qulonglong>(st.st_dev) == device &&
           static_cast<qulonglong>(st.st_ino) == inode;
}

void JournalLines::Line(Priority priority, const QString& text) {
    QString line = priorities_ ? QStringLiteral("<%1>").arg(static_cast<int>(priority))
                               : name_ + QStringLiteral(": ");
    line.reserve(line.size() + text.size() + 1);
    for (const QChar c : text)
        line += c.category() == QChar::Other_Control ? QLatin1Char(' ') : c;
    line += QLatin1Char('\n');
    const QByteArray bytes = line.toUtf8();
    qsizetype done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(fd_, bytes.constData() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return; // nowhere to tell it; the station goes on all the same
        done += n;
    }
}
