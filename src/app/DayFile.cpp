#include "DayFile.h"

#include "NocturoError.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

#include <fcntl.h>
#include <string_view>
#include <unistd.h>
#include <unordered_map>
#include <vector>

namespace dayfile {
namespace {

QString Quoted(const QString& path) {
    return QDir::toNativeSeparators(QFileInfo(path).absoluteFilePath());
}

[[noreturn]] void ThrowCannotCreate(const QString& path, const QString& reason) {
    throw NocturoError(
        QStringLiteral("Cannot create file \"%1\". %2").arg(Quoted(path), reason).toStdString());
}

[[noreturn]] void ThrowStreamWriteError() {
    throw NocturoError("Stream write error");
}

// The directory entry made by the rename reaches the disk only with the directory itself.
void SyncDirectory(const QString& path) {
    const QByteArray dir = QFile::encodeName(QFileInfo(path).absolutePath());
    const int fd = ::open(dir.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return;
    ::fsync(fd); // best effort: the file itself is already on disk
    ::close(fd);
}

std::vector<std::string_view> SplitLines(const QByteArray& bytes) {
    std::vector<std::string_view> lines;
    const char* data = bytes.constData();
    const qsizetype size = bytes.size();
    lines.reserve(std::size_t(size / 32));
    qsizetype start = 0;
    for (qsizetype i = 0; i < size; ++i) {
        if (data[i] != '\r' && data[i] != '\n') continue;
        lines.emplace_back(data + start, std::size_t(i - start));
        if (data[i] == '\r' && i + 1 < size && data[i + 1] == '\n') ++i;
        start = i + 1;
    }
    if (start < size) lines.emplace_back(data + start, std::size_t(size - start));
    return lines;
}

bool EndsWithBreak(const QByteArray& bytes) {
    return bytes.endsWith('\n') || bytes.endsWith('\r');
}

} // namespace

bool Read(const QString& path, QByteArray& bytes) {
    if (!QFileInfo::exists(path)) return false;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        throw NocturoError(QStringLiteral("Cannot open file \"%1\". %2")
                               .arg(Quoted(path), file.errorString())
                               .toStdString());
    }
    bytes = file.readAll();
    if (file.error() != QFileDevice::NoError) {
        throw NocturoError(QStringLiteral("Cannot open file \"%1\". %2")
                               .arg(Quoted(path), file.errorString())
                               .toStdString());
    }
    return true;
}

void Write(const QString& path, const QByteArray& bytes) {
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) ThrowCannotCreate(path, file.errorString());
    if (file.write(bytes) != bytes.size() || !file.flush() || ::fdatasync(file.handle()) != 0) {
        file.cancelWriting();
        ThrowStreamWriteError();
    }
    if (!file.commit()) {
        if (file.error() == QFileDevice::WriteError) ThrowStreamWriteError();
        ThrowCannotCreate(path, file.errorString());
    }
    SyncDirectory(path);
}

QByteArray Merge(const QByteArray& held, const QByteArray& ours) {
    std::unordered_map<std::string_view, int> carried;
    for (const std::string_view line : SplitLines(ours))
        ++carried[line];

    QByteArray merged;
    merged.reserve(held.size() + ours.size() + 64);
    for (const std::string_view line : SplitLines(held)) {
        auto found = carried.find(line);
        if (found != carried.end() && found->second > 0) {
            --found->second;
            continue;
        }
        merged.append(line.data(), qsizetype(line.size()));
        merged.append("\r\n");
    }
    merged.append(ours);
    return merged;
}

void SaveKeepingLines(const QString& path, const QByteArray& ours) {
    QByteArray held;
    // A directory in the file's place holds no lines; writing reports it.
    const bool exists = !QFileInfo(path).isDir() && Read(path, held);
    if (!exists) {
        Write(path, ours);
        return;
    }
    if (ours.isEmpty() || held == ours) return;
    // The usual case: the file holds what the previous save wrote, and the log has grown.
    if (ours.startsWith(held) && (held.isEmpty() || EndsWithBreak(held))) {
        Write(path, ours);
        return;
    }
    const QByteArray merged = Merge(held, ours);
    if (merged != held) Write(path, merged);
}

} // namespace dayfile
