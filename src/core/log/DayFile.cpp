// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/log/DayFile.h"

#include "core/NocturoError.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <string_view>
#include <sys/stat.h>
#include <unistd.h>
#include <unordered_map>
#include <vector>

namespace dayfile {
namespace {

// The reasons given for what the system's own error texts do not cover.
const char* const kNotRegularFile = "not a regular file";
const char* const kTooLarge = "larger than 64 MiB, too large for a day file";
// The texts the file classes give for a directory, kept for the same case here.
const char* const kOpenDirectory = "file to open is a directory";
const char* const kCreateDirectory = "Filename refers to a directory";
// As many links as the kernel follows before it gives up with ELOOP.
constexpr int kMaxLinkDepth = 40;

QString Quoted(const QString& path) {
    return QDir::toNativeSeparators(QFileInfo(path).absoluteFilePath());
}

QString SystemText(int error) {
    return QString::fromLocal8Bit(std::strerror(error));
}

[[noreturn]] void ThrowCannotOpen(const QString& path, const QString& reason) {
    throw NocturoError(
        QStringLiteral("Cannot open file \"%1\". %2").arg(Quoted(path), reason).toStdString());
}

[[noreturn]] void ThrowCannotCreate(const QString& path, const QString& reason) {
    throw NocturoError(
        QStringLiteral("Cannot create file \"%1\". %2").arg(Quoted(path), reason).toStdString());
}

[[noreturn]] void ThrowStreamWriteError() {
    throw NocturoError("Stream write error");
}

// Whether a file of this kind may be a day file: Read for a regular file.
ReadStatus KindOf(const struct stat& info) {
    if (S_ISDIR(info.st_mode)) return ReadStatus::Directory;
    if (!S_ISREG(info.st_mode)) return ReadStatus::NotRegular;
    return ReadStatus::Read;
}

// No such file: nothing has the name, or a folder on its path is a file.
bool Missing(int error) {
    return error == ENOENT || error == ENOTDIR;
}

class FileDescriptor {
public:
    explicit FileDescriptor(int fd)
        : fd_(fd) {}
    ~FileDescriptor() {
        if (fd_ >= 0) ::close(fd_);
    }
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;
    int get() const { return fd_; }

private:
    int fd_;
};

// The path a write through `path` lands on: symbolic links followed, as the kernel would,
// to the last one's target, which need not exist.
QString WriteTarget(const QString& path) {
    QFileInfo info(path);
    for (int depth = 0; info.isSymLink(); ++depth) {
        if (depth == kMaxLinkDepth) ThrowCannotCreate(path, SystemText(ELOOP));
        info.setFile(info.symLinkTarget());
    }
    return info.filePath();
}

// Throws unless `target` is a regular file or nothing at all.
void CheckReplaceable(const QString& path, const QString& target) {
    struct stat info {};
    if (::lstat(QFile::encodeName(target).constData(), &info) != 0) {
        if (Missing(errno)) return; // creating it is what QSaveFile reports on
        ThrowCannotCreate(path, SystemText(errno));
    }
    switch (KindOf(info)) {
    case ReadStatus::Directory:
        ThrowCannotCreate(path, QString::fromLatin1(kCreateDirectory));
    case ReadStatus::NotRegular:
        ThrowCannotCreate(path, QString::fromLatin1(kNotRegularFile));
    default:
        break;
    }
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
    // Day files have lines of about 36 bytes; a little more room saves a reallocation.
    lines.reserve(std::size_t(bytes.size() / 32 + 1));
    const bool onlyCrLf =
        ForEachLine(bytes.constData(), bytes.size(), [&](qsizetype start, qsizetype length) {
            lines.push_back({start, length});
        });
    if (crLfOnly != nullptr) *crLfOnly = onlyCrLf;
    return lines;
}

ReadOutcome ReadRegularFile(const QString& path, QByteArray& bytes) {
    ReadOutcome outcome;
    const auto failed = [&outcome](ReadStatus status, int error = 0) {
        outcome.status = status;
        outcome.error = error;
        return outcome;
    };
    // Of a file's kind and size, whether it may be read as a day file.
    const auto fit = [](const struct stat& info) {
        const ReadStatus kind = KindOf(info);
        return kind == ReadStatus::Read && info.st_size > kMaxBytes ? ReadStatus::TooLarge : kind;
    };
    const QByteArray name = QFile::encodeName(path);
    // Only a regular file is opened: opening a device may do something by itself.
    if (::stat(name.constData(), &outcome.info) != 0)
        return failed(Missing(errno) ? ReadStatus::Missing : ReadStatus::Failed, errno);
    if (const ReadStatus kind = fit(outcome.info); kind != ReadStatus::Read) return failed(kind);

    // Something else may have taken the file's place since: the open does not wait for a
    // named pipe's writer, and what it opened is looked at again before reading.
    const FileDescriptor file(
        ::open(name.constData(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
    if (file.get() < 0)
        return failed(Missing(errno) ? ReadStatus::Missing : ReadStatus::Failed, errno);
    if (::fstat(file.get(), &outcome.info) != 0) return failed(ReadStatus::Failed, errno);
    if (const ReadStatus kind = fit(outcome.info); kind != ReadStatus::Read) return failed(kind);

    // Read to the end, which a file that grows meanwhile may move, but never past the bound.
    QByteArray read(qsizetype(outcome.info.st_size) + 1, Qt::Uninitialized);
    qsizetype size = 0;
    for (;;) {
        if (size == read.size()) {
            if (size > kMaxBytes) return failed(ReadStatus::TooLarge);
            read.resize(std::min<qsizetype>(2 * size + 4096, kMaxBytes + 1));
        }
        const ssize_t got = ::read(file.get(), read.data() + size, std::size_t(read.size() - size));
        if (got < 0) {
            if (errno == EINTR) continue;
            return failed(ReadStatus::Failed, errno);
        }
        if (got == 0) break;
        size += got;
    }
    if (size > kMaxBytes) return failed(ReadStatus::TooLarge);
    read.resize(size);
    bytes = std::move(read);
    outcome.status = ReadStatus::Read;
    return outcome;
}

QString ReasonOf(const ReadOutcome& outcome) {
    switch (outcome.status) {
    case ReadStatus::Read:
    case ReadStatus::Missing:
        return {};
    case ReadStatus::Directory:
        return QString::fromLatin1(kOpenDirectory);
    case ReadStatus::NotRegular:
        return QString::fromLatin1(kNotRegularFile);
    case ReadStatus::TooLarge:
        return QString::fromLatin1(kTooLarge);
    case ReadStatus::Failed:
        break;
    }
    return SystemText(outcome.error);
}

bool Read(const QString& path, QByteArray& bytes) {
    const ReadOutcome outcome = ReadRegularFile(path, bytes);
    if (outcome.status == ReadStatus::Missing) return false;
    if (outcome.status != ReadStatus::Read) ThrowCannotOpen(path, ReasonOf(outcome));
    return true;
}

void Write(const QString& path, const QByteArray& bytes) {
    // The file that is replaced is the one a symbolic link leads to, like a write through
    // the link would; nothing but a regular file is ever replaced.
    const QString target = WriteTarget(path);
    CheckReplaceable(path, target);
    QSaveFile file(target);
    if (!file.open(QIODevice::WriteOnly)) ThrowCannotCreate(path, file.errorString());
    if (file.write(bytes) != bytes.size() || !file.flush() || ::fdatasync(file.handle()) != 0) {
        file.cancelWriting();
        ThrowStreamWriteError();
    }
    // Looked at once more right before the rename, which would replace whatever stands there.
    try {
        CheckReplaceable(path, target);
    } catch (const NocturoError&) {
        file.cancelWriting();
        throw;
    }
    if (!file.commit()) {
        if (file.error() == QFileDevice::WriteError) ThrowStreamWriteError();
        ThrowCannotCreate(path, file.errorString());
    }
    SyncDirectory(target);
}

QByteArray Merge(const QByteArray& held, const QByteArray& ours) {
    auto text = [](const QByteArray& bytes, const LineSpan& line) {
        return std::string_view(bytes.constData() + line.start, std::size_t(line.length));
    };
    std::unordered_map<std::string_view, int> carried;
    for (const LineSpan& span : SplitLines(ours))
        ++carried[text(ours, span)];

    // Where a line stands more often in the file than in the log, the copies the log
    // carries are its last ones: a file written by a merge, its own lines in front of the
    // log's, is then found to hold the log already, and a second save changes nothing.
    const std::vector<LineSpan> heldLines = SplitLines(held);
    std::vector<bool> keep(heldLines.size(), true);
    for (std::size_t i = heldLines.size(); i-- > 0;) {
        auto found = carried.find(text(held, heldLines[i]));
        if (found != carried.end() && found->second > 0) {
            --found->second;
            keep[i] = false;
        }
    }
    QByteArray merged;
    merged.reserve(held.size() + ours.size() + 64);
    for (std::size_t i = 0; i < heldLines.size(); ++i) {
        if (!keep[i]) continue;
        merged.append(held.constData() + heldLines[i].start, heldLines[i].length);
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
