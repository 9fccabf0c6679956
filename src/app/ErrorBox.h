// SPDX-License-Identifier: GPL-3.0-or-later
// The error box: the one place an error reaches the user. A message box with the error
// icon, "Nocturo" as caption, and the message with a full stop added where it lacks one.
//
// The box is opened without a nested event loop, so acquisition passes go on while it
// waits for its click and no pass ever runs inside another. While one box is open, a
// further error is not stacked on top of it.
#pragma once

#include "core/NocturoError.h"

#include <QMessageBox>
#include <QPointer>

class QWidget;

class ErrorBox : public ErrorReporter {
public:
    explicit ErrorBox(QWidget* parent);
    ~ErrorBox() override;

    void ShowError(const std::string& message) override;
    // For errors found while the window is going away, when no event loop will run again:
    // shows the box and waits for its click.
    void ShowErrorAndWait(const std::string& message);

    // The open box, or nullptr.
    QMessageBox* Box() const { return box_; }

private:
    QMessageBox* MakeBox(const std::string& message, QWidget* parent) const;

    QWidget* parent_;
    QPointer<QMessageBox> box_;
};
