// SPDX-License-Identifier: GPL-3.0-or-later
#include "viewer/ViewerSource.h"

#include "archive/ArchiveSource.h"
#include "core/log/DayFileSource.h"

std::unique_ptr<RecordSource> OpenSource(const ViewerOptions& options) {
    if (options.archive)
        return std::make_unique<ArchiveSource>(std::make_unique<ArchiveReader>(*options.archive));
    return std::make_unique<DayFileSource>(options.files.isEmpty()
                                               ? DayFileSet::FromFolder(options.folder)
                                               : DayFileSet::FromPaths(options.files));
}

QStringList StationsToShow(const ViewerOptions& options, const RecordSource& source, QString& why) {
    const QStringList known = source.Stations();
    // A source that could not say which stations it holds says why, not that it holds none.
    if (known.isEmpty() && !source.Trouble().isEmpty()) {
        why = source.Trouble();
        return {};
    }
    if (options.stations.isEmpty())
        return known.isEmpty() ? QStringList{QString()} : known.mid(0, 1);
    for (const QString& station : options.stations) {
        if (!known.contains(station)) {
            why = QStringLiteral("there is no station \"%1\" in %2 (it holds %3)")
                      .arg(station, source.Name(),
                           known.isEmpty() ? QStringLiteral("none")
                                           : known.join(QStringLiteral(", ")));
            return {};
        }
    }
    return options.stations;
}
