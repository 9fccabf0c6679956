// SPDX-License-Identifier: GPL-3.0-or-later
#include "Spool.h"

#include <QtEndian>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr int kHeader = 6;
// Larger than any topic and payload the collector accepts; a length beyond it is damage.
constexpr quint32 kMaxBody = 1 << 20;

QString SystemError(const char* what) {
    return QStringLiteral("%1: %2").arg(QLatin1String(what),
                                        QString::fromLocal8Bit(std::strerror(errno)));
}

bool ReadFully(int fd, char* data, std::size_t size, std::int64_t offset) {
    while (size > 0) {
        const ssize_t n = pread(fd, data, size, offset);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        data += n;
        size -= std::size_t(n);
        offset += n;
    }
    return true;
}

quint16 Checksum(const char* data, std::size_t size) {
    return qChecksum(QByteArrayView(data, qsizetype(size)));
}

} // namespace

Spool::~Spool() {
    if (fd_ >= 0) {
        Sync();
        close(fd_);
    }
}

bool Spool::Open(const QString& path, QString* why) {
    fd_ = open(path.toLocal8Bit().constData(), O_RDWR | O_CREAT | O_APPEND | O_CLOEXEC, 0600);
    if (fd_ < 0) {
        if (why)
            *why = QStringLiteral("%1: %2").arg(path, QString::fromLocal8Bit(std::strerror(errno)));
        return false;
    }
    struct stat info {};
    fstat(fd_, &info);
    // Walks the records to the first that is incomplete or damaged, and keeps what is before.
    std::int64_t good = 0;
    char header[kHeader];
    while (good + kHeader <= info.st_size && ReadFully(fd_, header, kHeader, good)) {
        const quint32 length = qFromLittleEndian<quint32>(header);
        const quint16 sum = qFromLittleEndian<quint16>(header + 4);
        if (length > kMaxBody || good + kHeader + length > info.st_size) break;
        QByteArray body(qsizetype(length), Qt::Uninitialized);
        if (!ReadFully(fd_, body.data(), length, good + kHeader)) break;
        if (Checksum(body.constData(), length) != sum) break;
        good += kHeader + length;
    }
    if (good != info.st_size && ftruncate(fd_, good) != 0) {
        if (why)
            *why = QStringLiteral("%1: %2").arg(path, SystemError("cannot cut off a damaged end"));
        return false;
    }
    fileBytes_ = good;
    return true;
}

void Spool::Append(const QByteArray& topic, const QByteArray& payload) {
    const quint32 length = quint32(topic.size() + 1 + payload.size());
    const qsizetype start = pending_.size();
    pending_.resize(start + kHeader + length);
    char* out = pending_.data() + start;
    qToLittleEndian<quint32>(length, out);
    std::memcpy(out + kHeader, topic.constData(), std::size_t(topic.size()));
    out[kHeader + topic.size()] = '\0';
    std::memcpy(out + kHeader + topic.size() + 1, payload.constData(), std::size_t(payload.size()));
    qToLittleEndian<quint16>(Checksum(out + kHeader, length), out + 4);
}

bool Spool::Sync() {
    if (fd_ < 0) return false;
    if (pending_.isEmpty()) return true;
    const char* data = pending_.constData();
    std::size_t left = std::size_t(pending_.size());
    while (left > 0) {
        const ssize_t n = write(fd_, data, left);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) {
            error_ = SystemError("cannot write the spool");
            // What was written in part is cut off again, so the file stays whole.
            if (ftruncate(fd_, fileBytes_) != 0) {
            }
            return false;
        }
        data += n;
        left -= std::size_t(n);
    }
    if (fdatasync(fd_) != 0) {
        error_ = SystemError("cannot sync the spool");
        return false;
    }
    fileBytes_ += pending_.size();
    pending_.clear();
    return true;
}

bool Spool::Replay(std::size_t chunkSize, const std::function<bool(std::vector<Message>&)>& chunk) {
    if (!Sync()) return false;
    std::vector<Message> messages;
    std::int64_t offset = 0;
    char header[kHeader];
    while (offset + kHeader <= fileBytes_ && ReadFully(fd_, header, kHeader, offset)) {
        const quint32 length = qFromLittleEndian<quint32>(header);
        QByteArray body(qsizetype(length), Qt::Uninitialized);
        if (!ReadFully(fd_, body.data(), length, offset + kHeader)) break;
        offset += kHeader + length;
        const qsizetype zero = body.indexOf('\0');
        messages.push_back({body.left(zero), body.mid(zero + 1)});
        if (messages.size() >= chunkSize) {
            if (!chunk(messages)) return false;
            messages.clear();
        }
    }
    return messages.empty() || chunk(messages);
}

bool Spool::Truncate() {
    if (fd_ < 0) return false;
    // What waits to be written is committed too: it need not reach the disk any more.
    pending_.clear();
    if (ftruncate(fd_, 0) != 0) {
        error_ = SystemError("cannot empty the spool");
        return false;
    }
    fileBytes_ = 0;
    return true;
}
