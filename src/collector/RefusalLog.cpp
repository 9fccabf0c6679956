// SPDX-License-Identifier: GPL-3.0-or-later
#include "collector/RefusalLog.h"

#include <QStringList>

#include <map>

void RefusalLog::Count(const Refusal& refusal) {
    ++total_;
    ++byKind_[refusal.kind];
    const QString key = refusal.station + u'\n' + refusal.kind;
    if (told_.contains(key)) return;
    if (told_.size() >= kMaxTold) {
        if (!floodTold_)
            tell_(QStringLiteral("refused messages from more than %1 station names and kinds; "
                                 "further ones are counted, not told")
                      .arg(kMaxTold));
        floodTold_ = true;
        return;
    }
    told_.insert(key);
    const QString from = refusal.station.isEmpty()
                             ? QStringLiteral("a topic without a station")
                             : QStringLiteral("station %1").arg(refusal.station);
    tell_(QStringLiteral("refused a message from %1 (%2): %3; further ones of this kind from "
                         "it are counted, not told")
              .arg(from, refusal.kind, refusal.why));
}

QString RefusalLog::Summary() const {
    std::map<QString, std::int64_t> sorted(byKind_.constKeyValueBegin(),
                                           byKind_.constKeyValueEnd());
    QStringList parts;
    for (const auto& [kind, count] : sorted)
        parts << QStringLiteral("%1 %2").arg(kind).arg(count);
    return parts.join(QStringLiteral(", "));
}
