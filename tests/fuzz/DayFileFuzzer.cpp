// SPDX-License-Identifier: GPL-3.0-or-later
// A day file of any bytes, loaded or not, then saved over by a log with lines added or
// not. The load takes every line the file holds, in order, with CR LF breaks; a save keeps
// every line the file held (counted: a line held twice is kept twice), ends with the log's
// text, and saving again changes nothing. The merge on its own keeps the same rule.
#include "FuzzCheck.h"
#include "core/log/DailyLog.h"
#include "core/log/DayFile.h"

#include <QFile>

#include <cstdint>
#include <map>
#include <string_view>
#include <vector>

namespace {

// The lines as a reader of the file sees them: CR LF, lone CR and lone LF each end one.
std::vector<std::string_view> Lines(const QByteArray& bytes) {
    std::vector<std::string_view> lines;
    qsizetype start = 0;
    for (qsizetype i = 0; i < bytes.size(); ++i) {
        if (bytes[i] != '\r' && bytes[i] != '\n') continue;
        lines.emplace_back(bytes.constData() + start, std::size_t(i - start));
        if (bytes[i] == '\r' && i + 1 < bytes.size() && bytes[i + 1] == '\n') ++i;
        start = i + 1;
    }
    if (start < bytes.size())
        lines.emplace_back(bytes.constData() + start, std::size_t(bytes.size() - start));
    return lines;
}

bool CrLfOnly(const QByteArray& bytes) {
    for (qsizetype i = 0; i < bytes.size(); ++i) {
        if (bytes[i] == '\r' && (i + 1 == bytes.size() || bytes[i + 1] != '\n')) return false;
        if (bytes[i] == '\n' && (i == 0 || bytes[i - 1] != '\r')) return false;
    }
    return true;
}

// Every line of `held` is in `file` as often as there, and `file` ends with `ours`.
void CheckKeeps(const QByteArray& file, const QByteArray& held, const QByteArray& ours) {
    std::map<std::string_view, int> have;
    for (const std::string_view line : Lines(file))
        ++have[line];
    for (const std::string_view line : Lines(held))
        FUZZ_CHECK(have[line]-- > 0);
    FUZZ_CHECK(file.endsWith(ours));
}

QByteArray ReadFile(const QString& path) {
    QFile file(path);
    FUZZ_CHECK(file.open(QIODevice::ReadOnly));
    return file.readAll();
}

void WriteFile(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    FUZZ_CHECK(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    FUZZ_CHECK(file.write(bytes) == bytes.size());
}

} // namespace

// The first byte chooses: bit 0, whether the log loads the file first; bits 1-3, how many
// lines the log gets added; bit 4, whether those are lines of the file itself (so that the
// log carries lines the file holds) or lines of records. The rest is the file.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) return 0;
    const unsigned choice = data[0];
    const QByteArray held(reinterpret_cast<const char*>(data + 1), qsizetype(size - 1));
    const QString directory = FuzzScratchDirectory();
    const QString name = QStringLiteral("20090126.txt");
    const QString path = directory + QStringLiteral("/") + name;
    WriteFile(path, held);

    DailyLog log(directory);
    log.SetLogFileName(name);
    const std::vector<std::string_view> heldLines = Lines(held);
    if (choice & 1) {
        FUZZ_CHECK(log.Load());
        FUZZ_CHECK(CrLfOnly(log.Bytes()));
        FUZZ_CHECK(Lines(log.Bytes()) == heldLines);
        FUZZ_CHECK(log.LineCount() == heldLines.size());
    }
    const unsigned added = (choice >> 1) & 7;
    for (unsigned i = 0; i < added; ++i) {
        if ((choice & 16) && !heldLines.empty()) {
            const std::string_view line = heldLines[i % heldLines.size()];
            log.Append(QString::fromLocal8Bit(line.data(), qsizetype(line.size())));
        } else {
            log.Append(QStringLiteral("2009-01-26 10:00:%1  21.5    1234 3")
                           .arg(i, 2, 10, QLatin1Char('0')));
        }
    }
    FUZZ_CHECK(CrLfOnly(log.Bytes()));

    log.Save();
    const QByteArray saved = ReadFile(path);
    CheckKeeps(saved, held, log.Bytes());
    log.Save();
    FUZZ_CHECK(ReadFile(path) == saved);

    // The merge on its own, with a log that carries the second half of the file's lines.
    const QByteArray ours = held.mid(held.size() / 2).replace('\r', "").replace('\n', "\r\n");
    CheckKeeps(dayfile::Merge(held, ours), held, ours);
    return 0;
}
