// SPDX-License-Identifier: GPL-3.0-or-later
#include "collector/Spool.h"

#include "core/Failure.h"

#include <QFile>
#include <QtEndian>

#include <zlib.h>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// A spool of today's records starts with this mark; a file without it is an older spool
// (records with a 16-bit check), read and written anew when it is opened.
constexpr char kMark[] = "NOCSPL\x02\n";
constexpr int kMarkSize = 8;
constexpr int kHeader = 8;    // length, CRC-32
constexpr int kOldHeader = 6; // length, Qt's 16-bit checksum
// Larger than any topic and payload the collector accepts; a length beyond it is damage.
constexpr quint32 kMaxBody = 1 << 20;

QString SystemError(const char* what) {
    return QStringLiteral("%1: %2").arg(QLatin1String(what),
                                        QString::fromLocal8Bit(std::strerror(errno)));
}

QString NotOpen() {
    return QStringLiteral("the spool is not open");
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

quint32 Checksum(const char* data, std::size_t size) {
    return quint32(crc32(crc32(0L, Z_NULL, 0), reinterpret_cast<const Bytef*>(data), uInt(size)));
}

bool WriteFully(int fd, const char* data, std::size_t size) {
    while (size > 0) {
        const ssize_t n = write(fd, data, size);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        data += n;
        size -= std::size_t(n);
    }
    return true;
}

// A record of the present format: length, CRC-32, body.
void AppendRecord(QByteArray& out, const QByteArray& body) {
    const qsizetype start = out.size();
    out.resize(start + kHeader + body.size());
    char* at = out.data() + start;
    qToLittleEndian<quint32>(quint32(body.size()), at);
    qToLittleEndian<quint32>(Checksum(body.constData(), std::size_t(body.size())), at + 4);
    std::memcpy(at + kHeader, body.constData(), std::size_t(body.size()));
}

// The bodies of the whole records of `fd` from `offset` on (header `header` bytes, the
// check `check` of the body), to the first that is cut short or damaged; `end` is where
// that one starts.
template <typename Check>
std::vector<QByteArray> ReadRecords(int fd, std::int64_t offset, std::int64_t size, int header,
                                    Check check, std::int64_t& end) {
    std::vector<QByteArray> bodies;
    char head[kHeader];
    while (offset + header <= size && ReadFully(fd, head, std::size_t(header), offset)) {
        const quint32 length = qFromLittleEndian<quint32>(head);
        if (length > kMaxBody || offset + header + length > size) break;
        QByteArray body(qsizetype(length), Qt::Uninitialized);
        if (!ReadFully(fd, body.data(), length, offset + header)) break;
        if (!check(head + 4, body)) break;
        bodies.push_back(std::move(body));
        offset += header + length;
    }
    end = offset;
    return bodies;
}

} // namespace

Spool::~Spool() {
    if (fd_ >= 0) {
        Sync();
        close(fd_);
    }
}

bool Spool::Open(const QString& path, QString* why) {
    const auto fail = [&](const QString& what) {
        if (why) *why = QStringLiteral("%1: %2").arg(path, what);
        return false;
    };
    const QByteArray native = QFile::encodeName(path);
    fd_ = open(native.constData(), O_RDWR | O_CREAT | O_APPEND | O_CLOEXEC, 0600);
    if (fd_ < 0) return fail(QString::fromLocal8Bit(std::strerror(errno)));
    struct stat info {};
    fstat(fd_, &info);
    char mark[kMarkSize] = {};
    const bool marked = info.st_size >= kMarkSize && ReadFully(fd_, mark, kMarkSize, 0) &&
                        std::memcmp(mark, kMark, kMarkSize) == 0;
    if (info.st_size == 0) {
        if (!WriteFully(fd_, kMark, kMarkSize) || fdatasync(fd_) != 0)
            return fail(SystemError("cannot write the spool"));
        fileBytes_ = 0;
        return true;
    }
    std::int64_t end = 0;
    if (marked) {
        // Keeps the records before the first that is incomplete or damaged.
        ReadRecords(
            fd_, kMarkSize, info.st_size, kHeader,
            [](const char* sum, const QByteArray& body) {
                return qFromLittleEndian<quint32>(sum) ==
                       Checksum(body.constData(), std::size_t(body.size()));
            },
            end);
        if (end != info.st_size && ftruncate(fd_, end) != 0)
            return fail(SystemError("cannot cut off a damaged end"));
        fileBytes_ = end - kMarkSize;
        return true;
    }
    // An older spool: its good records are written anew beside it, and the new file takes
    // its place whole, so a crash on the way leaves the one or the other.
    const std::vector<QByteArray> bodies = ReadRecords(
        fd_, 0, info.st_size, kOldHeader,
        [](const char* sum, const QByteArray& body) {
            return qFromLittleEndian<quint16>(sum) == qChecksum(QByteArrayView(body));
        },
        end);
    QByteArray renewed(kMark, kMarkSize);
    for (const QByteArray& body : bodies)
        AppendRecord(renewed, body);
    const QByteArray fresh = native + ".new";
    const int out = open(fresh.constData(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    const bool written = out >= 0 &&
                         WriteFully(out, renewed.constData(), std::size_t(renewed.size())) &&
                         fsync(out) == 0;
    if (out >= 0) close(out);
    if (!written || rename(fresh.constData(), native.constData()) != 0) {
        const QString error = SystemError("cannot write the spool anew");
        unlink(fresh.constData());
        return fail(error);
    }
    close(fd_);
    fd_ = open(native.constData(), O_RDWR | O_APPEND | O_CLOEXEC);
    if (fd_ < 0) return fail(QString::fromLocal8Bit(std::strerror(errno)));
    fileBytes_ = renewed.size() - kMarkSize;
    return true;
}

void Spool::Append(const QByteArray& topic, const QByteArray& payload) {
    QByteArray body;
    body.reserve(topic.size() + 1 + payload.size());
    body.append(topic).append('\0').append(payload);
    AppendRecord(pending_, body);
}

bool Spool::Sync(QString* why) {
    if (fd_ < 0) return Fail(why, NotOpen());
    if (pending_.isEmpty()) return true;
    const char* data = pending_.constData();
    std::size_t left = std::size_t(pending_.size());
    while (left > 0) {
        const ssize_t n = write(fd_, data, left);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) {
            const QString error = SystemError("cannot write the spool");
            // What was written in part is cut off again, so the file stays whole.
            if (ftruncate(fd_, kMarkSize + fileBytes_) != 0) {
            }
            return Fail(why, error);
        }
        data += n;
        left -= std::size_t(n);
    }
    if (fdatasync(fd_) != 0) return Fail(why, SystemError("cannot sync the spool"));
    fileBytes_ += pending_.size();
    pending_.clear();
    return true;
}

bool Spool::Replay(std::size_t chunkSize, const std::function<bool(std::vector<Message>&)>& chunk,
                   QString* why) {
    if (!Sync(why)) return false;
    std::vector<Message> messages;
    std::int64_t offset = kMarkSize;
    char header[kHeader];
    while (offset + kHeader <= kMarkSize + fileBytes_ && ReadFully(fd_, header, kHeader, offset)) {
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

bool Spool::Truncate(QString* why) {
    if (fd_ < 0) return Fail(why, NotOpen());
    // What waits to be written is committed too: it need not reach the disk any more.
    pending_.clear();
    if (ftruncate(fd_, kMarkSize) != 0) return Fail(why, SystemError("cannot empty the spool"));
    fileBytes_ = 0;
    return true;
}
