// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/ErrorBox.h"

#include <QMessageBox>

ErrorBox::ErrorBox(QWidget* parent)
    : parent_(parent) {}

ErrorBox::~ErrorBox() {
    delete box_.data();
}

QMessageBox* ErrorBox::MakeBox(const std::string& message, QWidget* parent) const {
    auto* box =
        new QMessageBox(QMessageBox::Critical, QStringLiteral("Nocturo"),
                        QString::fromStdString(ErrorBoxText(message)), QMessageBox::Ok, parent);
    box->setObjectName(QStringLiteral("ErrorBox"));
    return box;
}

void ErrorBox::ShowError(const std::string& message) {
    if (box_ != nullptr) return;
    box_ = MakeBox(message, parent_);
    box_->setAttribute(Qt::WA_DeleteOnClose);
    // open() returns at once: the box is window-modal, the event loop keeps running.
    box_->open();
}

void ErrorBox::ShowErrorAndWait(const std::string& message) {
    delete box_.data();
    QMessageBox* box = MakeBox(message, nullptr);
    box->exec();
    delete box;
}
