// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/log/MinuteCache.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>
#include <QTemporaryFile>

#include <cstdio>
#include <cstring>

namespace {

// "NOCTMIN" and the layout's version.
constexpr char kMagic[8] = {'N', 'O', 'C', 'T', 'M', 'I', 'N', '1'};

// The header: magic, the day file's size and modification time (ns), the length of its
// absolute path, the checksum of all that follows the header; then the path and the
// summary.
struct Header {
    char magic[8];
    std::int64_t size;
    std::int64_t modifiedNs;
    std::uint64_t pathBytes;
    std::uint64_t checksum;
};

// FNV-1a, 64 bits: enough to tell a damaged entry from a whole one.
std::uint64_t Checksum(const char* data, std::size_t size) {
    std::uint64_t hash = 14695981039346656037ULL;
    for (std::size_t i = 0; i < size; ++i) {
        hash ^= std::uint8_t(data[i]);
        hash *= 1099511628211ULL;
    }
    return hash;
}

QString AbsolutePath(const QString& path) {
    return QFileInfo(path).absoluteFilePath();
}

} // namespace

QString MinuteCache::DefaultDirectory() {
    const QString base = QStandardPaths::writableLocation(QStandardPaths::GenericCacheLocation);
    return base.isEmpty() ? QString() : QDir(base).filePath(QStringLiteral("nocturo"));
}

QString MinuteCache::EntryPath(const QString& path) const {
    const QByteArray key =
        QCryptographicHash::hash(AbsolutePath(path).toUtf8(), QCryptographicHash::Sha1).toHex();
    return QDir(directory_).filePath(QStringLiteral("minutes/%1.min").arg(QLatin1StringView(key)));
}

minutes::FileSummary MinuteCache::Get(const QString& path, bool keep) const {
    // A file still being written is read every time, whatever an entry says.
    if (directory_.isEmpty() || !keep) return minutes::SummariseFile(path);
    const FileStamp now = dayreader::StampOf(path);
    if (now.size >= 0) {
        QFile entry(EntryPath(path));
        Header header{};
        if (entry.open(QIODevice::ReadOnly) &&
            entry.read(reinterpret_cast<char*>(&header), sizeof header) == qint64(sizeof header) &&
            std::memcmp(header.magic, kMagic, sizeof kMagic) == 0 && header.size == now.size &&
            header.modifiedNs == now.modifiedNs) {
            const QByteArray rest = entry.readAll();
            const QByteArray absolute = AbsolutePath(path).toUtf8();
            if (header.pathBytes == std::uint64_t(absolute.size()) &&
                std::uint64_t(rest.size()) >= header.pathBytes &&
                Checksum(rest.constData(), std::size_t(rest.size())) == header.checksum &&
                rest.startsWith(absolute)) {
                const std::string_view body(rest.constData() + absolute.size(),
                                            std::size_t(rest.size() - absolute.size()));
                if (std::optional<MinuteSummary> summary = minutes::Decode(body)) {
                    minutes::FileSummary file;
                    file.status = dayreader::FileStatus::Read;
                    file.stamp = now;
                    file.summary = std::move(*summary);
                    file.fromCache = true;
                    return file;
                }
            }
        }
    }
    minutes::FileSummary file = minutes::SummariseFile(path);
    if (keep && file.status == dayreader::FileStatus::Read) Store(path, file);
    return file;
}

void MinuteCache::Store(const QString& path, const minutes::FileSummary& file) const {
    const QString target = EntryPath(path);
    const QString folder = QFileInfo(target).absolutePath();
    if (!QDir().mkpath(folder)) return; // a cache that cannot be written only costs time
    const QByteArray absolute = AbsolutePath(path).toUtf8();
    const QByteArray body = absolute + minutes::Encode(file.summary);
    Header header{};
    std::memcpy(header.magic, kMagic, sizeof kMagic);
    header.size = file.stamp.size;
    header.modifiedNs = file.stamp.modifiedNs;
    header.pathBytes = std::uint64_t(absolute.size());
    header.checksum = Checksum(body.constData(), std::size_t(body.size()));
    // Written beside the entry and renamed over it: readers never see half an entry. Not
    // flushed to disk: a cache lost in a crash is only rebuilt.
    QTemporaryFile temporary(target + QStringLiteral(".XXXXXX"));
    if (!temporary.open()) return;
    if (temporary.write(reinterpret_cast<const char*>(&header), sizeof header) !=
            qint64(sizeof header) ||
        temporary.write(body) != body.size() || !temporary.flush())
        return;
    if (std::rename(QFile::encodeName(temporary.fileName()).constData(),
                    QFile::encodeName(target).constData()) == 0)
        temporary.setAutoRemove(false);
}
