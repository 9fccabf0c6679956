// SPDX-License-Identifier: GPL-3.0-or-later
#include "viewer/HealthDialog.h"

#include "archive/StationHealth.h"

#include <QAction>
#include <QDialogButtonBox>
#include <QHeaderView>
#include <QLabel>
#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>

namespace {
constexpr int kRefreshMs = 5000;
constexpr int kRightAligned[] = {3, 4}; // last reading, last hour
} // namespace

HealthDialog::HealthDialog(const QString& address, QWidget* parent)
    : QDialog(parent)
    , address_(address)
    , table_(new QTableWidget(0, int(stationhealth::Header().size()), this))
    , summary_(new QLabel(this)) {
    setWindowTitle(QStringLiteral("Stations' Health \u2014 Nocturo Viewer"));
    // The table is read on the window's thread: an archive that does not answer holds the
    // window up for a moment at most, and the line below the table says so.
    connection_.SetConnectLimit(std::chrono::seconds(3));
    connection_.SetAnswerLimit(std::chrono::seconds(3));
    QStringList header;
    for (const QString& title : stationhealth::Header())
        header << title.left(1) + title.mid(1).toLower();
    table_->setHorizontalHeaderLabels(header);
    table_->verticalHeader()->hide();
    table_->horizontalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);
    table_->horizontalHeader()->setStretchLastSection(true);
    table_->setSelectionBehavior(QAbstractItemView::SelectRows);
    table_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close, this);
    QPushButton* again =
        buttons->addButton(QStringLiteral("&Refresh"), QDialogButtonBox::ActionRole);
    connect(again, &QPushButton::clicked, this, &HealthDialog::Refresh);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::close);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(table_);
    layout->addWidget(summary_);
    layout->addWidget(buttons);
    resize(860, 360);
    timer_.setInterval(kRefreshMs);
    connect(&timer_, &QTimer::timeout, this, &HealthDialog::Refresh);
    timer_.start();
    Refresh();
}

void HealthDialog::Refresh() {
    std::int64_t now = 0;
    QString why;
    // First, or the server restarted since the last look: a new connection.
    if (!connection_.IsOpen() && !connection_.Open(address_, &why)) {
        summary_->setText(QStringLiteral("Cannot reach the archive: %1").arg(why));
        return;
    }
    const std::optional<std::vector<StationHealth>> stations =
        stationhealth::Read(connection_, &now, &why);
    if (!stations) {
        summary_->setText(QStringLiteral("The archive did not answer: %1").arg(why.trimmed()));
        return;
    }
    table_->setRowCount(int(stations->size()));
    int offline = 0, stale = 0;
    for (int row = 0; row < int(stations->size()); ++row) {
        const StationHealth& s = (*stations)[std::size_t(row)];
        const bool bad = s.Offline() || s.Stale(now, kStaleAfter);
        offline += s.Offline() ? 1 : 0;
        stale += s.Stale(now, kStaleAfter) ? 1 : 0;
        const QStringList cells = stationhealth::Cells(s, now, kStaleAfter);
        for (int column = 0; column < cells.size(); ++column) {
            auto* item = new QTableWidgetItem(cells[column]);
            const bool right = std::find(std::begin(kRightAligned), std::end(kRightAligned),
                                         column) != std::end(kRightAligned);
            item->setTextAlignment((right ? Qt::AlignRight : Qt::AlignLeft) | Qt::AlignVCenter);
            if (bad) item->setForeground(QColor(180, 0, 0));
            table_->setItem(row, column, item);
        }
    }
    summary_->setText(QStringLiteral("%1 stations, %2 offline, %3 stale (no reading for more "
                                     "than %4)")
                          .arg(stations->size())
                          .arg(offline)
                          .arg(stale)
                          .arg(stationhealth::AgeText(kStaleAfter)));
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
            dialog = new HealthDialog(address, &window);
            dialog->setAttribute(Qt::WA_DeleteOnClose);
        }
        dialog->show();
        dialog->raise();
    });
}
