// SPDX-License-Identifier: GPL-3.0-or-later
#include "viewer/NightsDialog.h"

#include "core/log/DayRecord.h"

#include <QDateEdit>
#include <QDialog>
#include <QDialogButtonBox>
#include <QFormLayout>

QDate DateOf(std::int64_t day) {
    const CivilDate c = CivilFromDays(day);
    return QDate(c.year, c.month, c.day);
}

std::int64_t DayOfDate(const QDate& date) {
    return DaysFromCivil(date.year(), date.month(), date.day());
}

bool AskNights(QWidget* parent, std::int64_t& first, std::int64_t& last) {
    QDialog dialog(parent);
    dialog.setWindowTitle(QStringLiteral("Export Nightly Figures"));
    auto* from = new QDateEdit(DateOf(first), &dialog);
    auto* to = new QDateEdit(DateOf(last), &dialog);
    for (QDateEdit* edit : {from, to}) {
        edit->setDisplayFormat(QStringLiteral("yyyy-MM-dd"));
        edit->setCalendarPopup(true);
    }
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, &dialog);
    QObject::connect(buttons, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
    QObject::connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
    QObject::connect(from, &QDateEdit::dateChanged, to, [to](const QDate& d) {
        if (to->date() < d) to->setDate(d);
    });
    auto* layout = new QFormLayout(&dialog);
    layout->addRow(QStringLiteral("First night (evening of):"), from);
    layout->addRow(QStringLiteral("Last night (evening of):"), to);
    layout->addRow(buttons);
    if (dialog.exec() != QDialog::Accepted) return false;
    first = DayOfDate(from->date());
    last = std::max(first, DayOfDate(to->date()));
    return true;
}
