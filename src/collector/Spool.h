// SPDX-License-Identifier: GPL-3.0-or-later
// The collector's write-ahead file: every message received is appended here and made
// durable (fdatasync) before the broker is told it arrived, and the file is emptied once
// everything in it is committed to the archive. After a crash, a power cut or a database
// that went away, what the file holds is written into the archive again; the archive
// stores a line sent twice once, so writing too much is harmless and nothing is lost.
//
// The file: an 8-byte mark, then records of 4 bytes length, 4 bytes CRC-32 (zlib's) of the
// body, the body (topic, a zero byte, payload). A record cut short by a crash was never made
// durable, so was never acknowledged: it is dropped when the file is opened. A spool of an
// older collector (a 16-bit check, no mark) is read and written anew in this format.
#pragma once

#include <QByteArray>
#include <QString>

#include <cstdint>
#include <functional>
#include <vector>

class Spool {
public:
    struct Message {
        QByteArray topic;
        QByteArray payload;
    };

    Spool() = default;
    ~Spool();
    Spool(const Spool&) = delete;
    Spool& operator=(const Spool&) = delete;

    // Opens or creates the file, cutting off a record a crash left unfinished. False with
    // `why` when it cannot be written.
    bool Open(const QString& path, QString* why);

    // Adds a message; it is durable after the next Sync().
    void Append(const QByteArray& topic, const QByteArray& payload);
    // Writes what was appended and waits until it is on the disk. False with `why` when it
    // cannot: then nothing since the last Sync may be acknowledged.
    bool Sync(QString* why = nullptr);
    // Hands what the file holds to `chunk`, up to `chunkSize` messages at a time, oldest
    // first, after a Sync (false with `why` when that fails); stops and returns false as
    // soon as `chunk` does, which tells its own failure.
    bool Replay(std::size_t chunkSize, const std::function<bool(std::vector<Message>&)>& chunk,
                QString* why = nullptr);
    // Empties the file once everything in it is committed; false with `why` when it cannot.
    bool Truncate(QString* why = nullptr);

    // Bytes of records in the file and waiting to be written.
    std::int64_t Bytes() const { return fileBytes_ + pending_.size(); }
    bool Empty() const { return Bytes() == 0; }

private:
    int fd_ = -1;
    QByteArray pending_;
    std::int64_t fileBytes_ = 0;
};
