// SPDX-License-Identifier: GPL-3.0-or-later
// What a device member made of a request: a value (or none, for a method), an ASCOM error
// told inside a normal answer, or a request the service cannot interpret (HTTP 400).
#pragma once

#include <QByteArray>
#include <QJsonValue>
#include <QString>

namespace alpaca {

// The ASCOM error numbers the devices use.
inline constexpr int kNotImplemented = 0x400;
inline constexpr int kInvalidValue = 0x401;
inline constexpr int kNotConnected = 0x407;
inline constexpr int kInvalidOperation = 0x40B;
inline constexpr int kActionNotImplemented = 0x40C;
inline constexpr int kDriverError = 0x500; // the first of the drivers' own

struct Outcome {
    enum class Kind { Value, Done, Error, BadRequest, WrongMethod, UnknownMember };
    Kind kind = Kind::Done;
    QJsonValue value;
    int errorNumber = 0;
    QString message;
    QByteArray allow; // WrongMethod: the method the member takes

    static Outcome Of(QJsonValue v) { return {Kind::Value, std::move(v), 0, {}, {}}; }
    static Outcome Done() { return {}; }
    static Outcome Error(int number, QString text) {
        return {Kind::Error, {}, number, std::move(text), {}};
    }
    static Outcome Bad(QString text) { return {Kind::BadRequest, {}, 0, std::move(text), {}}; }
    static Outcome Method(QByteArray allowed) {
        return {Kind::WrongMethod, {}, 0, {}, std::move(allowed)};
    }
    static Outcome Unknown() { return {Kind::UnknownMember, {}, 0, {}, {}}; }
};

} // namespace alpaca
