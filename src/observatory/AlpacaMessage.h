// SPDX-License-Identifier: GPL-3.0-or-later
// One HTTP request to the Alpaca service and its answer, free of any HTTP library, so
// that the service's rules can be tested without a socket.
#pragma once

#include <QByteArray>
#include <QList>
#include <QPair>
#include <QString>

using AlpacaPairs = QList<QPair<QString, QString>>;

// Splits "a=1&b=x%20y" into decoded pairs; '+' is a space.
AlpacaPairs DecodeForm(const QByteArray& encoded);

struct AlpacaRequest {
    QByteArray method; // "GET", "PUT", ...
    QString path;      // decoded, without the query
    AlpacaPairs query; // the query's parameters, decoded
    QByteArray contentType;
    QByteArray body;
};

struct AlpacaReply {
    int status = 200;
    QByteArray contentType = "application/json";
    QByteArray body;
    QByteArray allow; // for 405: the methods the resource takes
};

// Parameters of a query string or a form body (application/x-www-form-urlencoded): names
// are matched without regard to case, values as given; '+' is a space.
class AlpacaParameters {
public:
    explicit AlpacaParameters(AlpacaPairs items)
        : items_(std::move(items)) {}

    // The first value given for `name`, or none.
    bool Has(const QString& name) const;
    QString Value(const QString& name) const;
    // An unsigned 32-bit number (ClientID, ClientTransactionID); 0 when missing or wrong.
    quint32 TransactionNumber(const QString& name) const;

private:
    AlpacaPairs items_;
};
