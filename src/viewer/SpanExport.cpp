// SPDX-License-Identifier: GPL-3.0-or-later
#include "viewer/SpanExport.h"

#include "core/Failure.h"

#include <QFileInfo>
#include <QSaveFile>
#include <QSvgGenerator>
#include <QTemporaryFile>
#include <qcustomplot.h>

#include <cstdio>
#include <stdio.h>

ExportFormat FormatOfName(const QString& path) {
    const QString suffix = QFileInfo(path).suffix().toLower();
    if (suffix == QLatin1StringView("png")) return ExportFormat::Png;
    if (suffix == QLatin1StringView("svg")) return ExportFormat::Svg;
    if (suffix == QLatin1StringView("pdf")) return ExportFormat::Pdf;
    if (suffix == QLatin1StringView("csv")) return ExportFormat::Csv;
    return ExportFormat::Unknown;
}

QByteArray SpanCsv(const std::vector<DayRecord>& records, const sky::ZeroPoints* zeroPoints,
                   const std::vector<sky::TimedCondition>* conditions) {
    QByteArray csv;
    csv.reserve(qsizetype(records.size()) * 48 + 64);
    csv.append(zeroPoints ? "time,temperature,mean_count,range,msas"
                          : "time,temperature,mean_count,range");
    csv.append(conditions ? ",sky\r\n" : "\r\n");
    char line[128];
    for (const DayRecord& r : records) {
        const std::int32_t magnitude =
            r.temperatureTenths < 0 ? -r.temperatureTenths : r.temperatureTenths;
        const int n = std::snprintf(line, sizeof(line), ",%s%d.%d,%lld,%d",
                                    r.temperatureTenths < 0 ? "-" : "", magnitude / 10,
                                    magnitude % 10, static_cast<long long>(r.mean), r.range);
        csv.append(IsoWallTime(r.time).toLatin1());
        csv.append(line, n);
        if (zeroPoints) {
            csv.append(',');
            if (const std::optional<double> m = zeroPoints->MagnitudeOf(r))
                csv.append(QByteArray::number(*m, 'f', 2));
        }
        if (conditions) {
            csv.append(',');
            csv.append(sky::ConditionName(sky::ConditionAt(*conditions, r.time)).toLatin1());
        }
        csv.append("\r\n");
    }
    return csv;
}

namespace {
QString Unwritable(const QString& path, const QString& reason) {
    return QStringLiteral("Cannot write \"%1\": %2").arg(path, reason);
}
} // namespace

bool ExportCsv(const std::vector<DayRecord>& records, const QString& path,
               const sky::ZeroPoints* zeroPoints,
               const std::vector<sky::TimedCondition>* conditions, QString* why) {
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) return Fail(why, Unwritable(path, file.errorString()));
    const QByteArray csv = SpanCsv(records, zeroPoints, conditions);
    if (file.write(csv) != csv.size() || !file.commit())
        return Fail(why, Unwritable(path, file.errorString()));
    return true;
}

bool ExportChart(QCustomPlot& chart, ExportFormat format, const QString& path, QSize size,
                 QString* why) {
    if (size.isEmpty()) size = chart.size();
    // Every picture replaces its file whole, so a web server publishing it never serves
    // half a picture.
    bool written = false;
    switch (format) {
    case ExportFormat::Png: {
        QSaveFile file(path);
        written = file.open(QIODevice::WriteOnly) &&
                  chart.toPixmap(size.width(), size.height()).save(&file, "PNG") && file.commit();
        break;
    }
    case ExportFormat::Svg: {
        QSaveFile file(path);
        if (!file.open(QIODevice::WriteOnly)) break;
        QSvgGenerator svg;
        svg.setOutputDevice(&file);
        svg.setSize(size);
        svg.setViewBox(QRect(QPoint(0, 0), size));
        svg.setTitle(QStringLiteral("Nocturo"));
        QCPPainter painter;
        if (painter.begin(&svg)) {
            chart.toPainter(&painter, size.width(), size.height());
            written = painter.end() && file.commit();
        }
        break;
    }
    case ExportFormat::Pdf: {
        // The PDF writer wants a file name: a temporary one beside the target, renamed.
        QTemporaryFile temporary(path + QStringLiteral(".XXXXXX"));
        if (!temporary.open()) break;
        temporary.close();
        // Readable like any other file written here (a temporary file starts private).
        temporary.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup |
                                 QFile::ReadOther);
        written = chart.savePdf(temporary.fileName(), size.width(), size.height()) &&
                  QFileInfo(temporary.fileName()).size() > 0 &&
                  ::rename(QFile::encodeName(temporary.fileName()).constData(),
                           QFile::encodeName(path).constData()) == 0;
        if (written) temporary.setAutoRemove(false);
        break;
    }
    case ExportFormat::Csv:
    case ExportFormat::Unknown:
        return Fail(why,
                    QStringLiteral("\"%1\" is no picture file (.png, .svg or .pdf)").arg(path));
    }
    if (!written)
        return Fail(why, Unwritable(path, QStringLiteral("the picture could not be saved")));
    return true;
}
