// SPDX-License-Identifier: GPL-3.0-or-later
#include "observatory/AlpacaMessage.h"

AlpacaPairs DecodeForm(const QByteArray& encoded) {
    AlpacaPairs pairs;
    for (QByteArray item : encoded.split('&')) {
        if (item.isEmpty()) continue;
        item.replace('+', ' ');
        const qsizetype equals = item.indexOf('=');
        const QByteArray name = equals < 0 ? item : item.left(equals);
        const QByteArray value = equals < 0 ? QByteArray() : item.mid(equals + 1);
        pairs.append({QString::fromUtf8(QByteArray::fromPercentEncoding(name)),
                      QString::fromUtf8(QByteArray::fromPercentEncoding(value))});
    }
    return pairs;
}

bool AlpacaParameters::Has(const QString& name) const {
    for (const auto& [key, value] : items_)
        if (key.compare(name, Qt::CaseInsensitive) == 0) return true;
    return false;
}

QString AlpacaParameters::Value(const QString& name) const {
    for (const auto& [key, value] : items_)
        if (key.compare(name, Qt::CaseInsensitive) == 0) return value;
    return {};
}

quint32 AlpacaParameters::TransactionNumber(const QString& name) const {
    const QString text = Value(name).trimmed();
    // Only plain digits: a sign or a fraction makes it a wrong number, given back as 0.
    for (const QChar c : text)
        if (!c.isDigit()) return 0;
    bool ok = false;
    const qulonglong number = text.toULongLong(&ok);
    return ok && number <= 0xFFFFFFFFull ? static_cast<quint32>(number) : 0;
}
