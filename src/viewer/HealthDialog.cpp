// SPDX-License-Identifier: GPL-3.0-or-later
#include "HealthDialog.h"

#include <QAction>
#include <QDialogButtonBox>
#include <QHeaderView>
#include <QLabel>
#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>

namespace {
constexpr int kRefreshMs = 5000;
enum Column { kStation, kState, kLink, kLastReading, kLastHour, kLastEvent, kColumns };

QTableWidgetItem* Cell(const QString& text, Qt::Alignment alignment = Qt::AlignLeft) {
    auto* item = new QTableWidgetItem(text);
    item->setTextAlignment(alignment | Qt::AlignVCenter);
    item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable);
    return item;
}
} // namespace

QString HealthAgeText(std::int64_t seconds) {
    if (seconds < 0) seconds = 0;
    if (seconds < 120) return QStringLiteral("%1 s").arg(seconds);
    if (seconds < 3600) return QStringLiteral("%1 min").arg(seconds / 60);
    if (seconds < 86400)
        return QStringLiteral("%1 h %2 min").arg(seconds / 3600).arg(seconds / 60 % 60);
    return QStringLiteral("%1 d %2 h").arg(seconds / 86400).arg(seconds / 3600 % 24);
}

HealthDialog::HealthDialog(std::unique_ptr<ArchiveReader> reader, QWidget* parent)
    : QDialog(parent)
    , reader_(std::move(reader))
    , table_(new QTableWidget(0, kColumns, this))
    , summary_(new QLabel(this)) {
    setWindowTitle(QStringLiteral("Stations' Health \u2014 Nocturo Viewer"));
    table_->setHorizontalHeaderLabels({QStringLiteral("Station"), QStringLiteral("State"),
                                       QStringLiteral("Link"), QStringLiteral("Last reading"),
                                       QStringLiteral("Last hour"), QStringLiteral("Last event")});
    table_->verticalHeader()->hide();
    table_->horizontalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);
    table_->horizontalHeader()->setStretchLastSection(true);
    table_->setSelectionBehavior(QAbstractItemView::SelectRows);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close, this);
    QPushButton* again =
        buttons->addButton(QStringLiteral("&Refresh"), QDialogButtonBox::ActionRole);
    connect(again, &QPushButton::clicked, this, &HealthDialog::Refresh);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::close);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(table_);
    layout->addWidget(summary_);
    layout->addWidget(buttons);
    resize(820, 360);
    timer_.setInterval(kRefreshMs);
    connect(&timer_, &QTimer::timeout, this, &HealthDialog::Refresh);
    timer_.start();
    Refresh();
}

void HealthDialog::Refresh() {
    std::vector<HealthRow> stations;
    try {
        stations = reader_->Health(kStaleAfter);
    } catch (const ArchiveError& error) {
        summary_->setText(QString::fromStdString(error.what()));
        return;
    }
    table_->setRowCount(int(stations.size()));
    int offline = 0, stale = 0;
    for (int row = 0; row < int(stations.size()); ++row) {
        const HealthRow& s = stations[std::size_t(row)];
        QString state = !s.online   ? QStringLiteral("unknown")
                        : *s.online ? QStringLiteral("online")
                                    : QStringLiteral("offline");
        if (s.stale) state += QStringLiteral(", stale");
        offline += s.online.has_value() && !*s.online ? 1 : 0;
        stale += s.stale ? 1 : 0;
        QString link = !s.linkUp   ? QString()
                       : *s.linkUp ? QStringLiteral("up")
                                   : QStringLiteral("down");
        if (!s.hint.isEmpty()) link += (link.isEmpty() ? QString() : QStringLiteral(": ")) + s.hint;
        table_->setItem(row, kStation, Cell(s.name));
        table_->setItem(row, kState, Cell(state));
        table_->setItem(row, kLink, Cell(link));
        table_->setItem(row, kLastReading,
                        Cell(s.lastReadingAge
                                 ? HealthAgeText(*s.lastReadingAge) + QStringLiteral(" ago")
                                 : QStringLiteral("none"),
                             Qt::AlignRight));
        table_->setItem(row, kLastHour,
                        Cell(QStringLiteral("%1 / 3600").arg(s.linesLastHour), Qt::AlignRight));
        table_->setItem(
            row, kLastEvent,
            Cell(s.lastEvent.isEmpty() || !s.lastEventAge
                     ? s.lastEvent
                     : s.lastEvent +
                           QStringLiteral(" (%1 ago)").arg(HealthAgeText(*s.lastEventAge))));
        // Offline or stale rows stand out.
        if (s.stale || (s.online && !*s.online))
            for (int column = 0; column < kColumns; ++column)
                table_->item(row, column)->setForeground(QColor(180, 0, 0));
    }
    summary_->setText(QStringLiteral("%1 stations, %2 offline, %3 stale")
                          .arg(stations.size())
                          .arg(offline)
                          .arg(stale));
}

QString HealthDialog::SummaryText() const {
    return summary_->text();
}

void AddHealthAction(QMainWindow& window, const QString& address) {
    QMenu* view = nullptr;
    for (QAction* action : window.menuBar()->actions())
        if (action->menu() && action->text() == QStringLiteral("&View")) view = action->menu();
    if (!view) view = window.menuBar()->addMenu(QStringLiteral("&View"));
    view->addSeparator();
    QAction* health = view->addAction(QStringLiteral("Stations' &Health\u2026"));
    health->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_H));
    QObject::connect(health, &QAction::triggered, &window, [&window, address] {
        auto* dialog = window.findChild<HealthDialog*>();
        if (!dialog) {
            try {
                dialog = new HealthDialog(std::make_unique<ArchiveReader>(address), &window);
            } catch (const ArchiveError& error) {
                QMessageBox::critical(&window, QStringLiteral("Nocturo Viewer"),
                                      QString::fromStdString(error.what()) + QLatin1Char('.'));
                return;
            }
            dialog->setAttribute(Qt::WA_DeleteOnClose);
        }
        dialog->show();
        dialog->raise();
    });
}
