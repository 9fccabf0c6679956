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

bool EndsWithBreak(const QByteArray& bytes) {
    return bytes.endsWith('\n') || bytes.endsWith('\r');
}

} // namespace

std::vector<LineSpan> SplitLines(const QByteArray& bytes, bool* crLfOnly) {
    std::vector<LineSpan> lines;
    const char* data = bytes.constData();
    const qsizetype size = bytes.size();
    // Day files have lines of about 36 bytes; a little more room saves a reallocation.
    lines.reserve(std::size_t(size / 32 + 1));
    bool onlyCrLf = true;
    qsizetype start = 0;
    for (qsizetype i = 0; i < size; ++i) {
        const char c = data[i];
        if (c != '\r' && c != '\n') continue;
        lines.push_back({start, i - start});
        if (c == '\r' && i + 1 < size && data[i + 1] == '\n')
            ++i;
        else
            onlyCrLf = false;
        start = i + 1;
    }
    if (start < size) lines.push_back({start, size - start});
    if (crLfOnly != nullptr) *crLfOnly = onlyCrLf;
    return lines;
}

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
    auto text = [](const QByteArray& bytes, const LineSpan& line) {
        return std::string_view(bytes.constData() + line.start, std::size_t(line.length));
    };
    std::unordered_map<std::string_view, int> carried;
    for (const LineSpan& span : SplitLines(ours))
        ++carried[text(ours, span)];

    QByteArray merged;
    merged.reserve(held.size() + ours.size() + 64);
    for (const LineSpan& span : SplitLines(held)) {
        const std::string_view line = text(held, span);
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
