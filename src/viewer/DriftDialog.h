// SPDX-License-Identifier: GPL-3.0-or-later
// The drift from the window: the station's monthly brightness in clear twilight and its
// trend, drawn, and exported as CSV or PNG.
#pragma once

#include "core/astro/Observer.h"
#include "core/sky/Drift.h"

#include <QDialog>

#include <optional>

class DriftChart;
class QLabel;
class QLineEdit;
class QPushButton;

class DriftDialog : public QDialog {
    Q_OBJECT
public:
    DriftDialog(const QString& folder, std::optional<astro::Observer> location,
                QWidget* parent = nullptr);

    QLineEdit* StationFolder() const { return folder_; }
    QLabel* Summary() const { return summary_; }
    DriftChart* Picture() const { return chart_; }
    const std::optional<sky::Drift>& Shown() const { return drift_; }

    // Figures the folder's nights; false, with the reason in `why`, when it cannot.
    bool Figure(QString* why = nullptr);
    // Writes what is shown (.csv, else PNG); false, with the reason in `why`, when it fails.
    bool Export(const QString& path, QString* why = nullptr);

private:
    std::optional<astro::Observer> location_;
    QLineEdit* folder_;
    QLabel* summary_;
    DriftChart* chart_;
    std::optional<sky::Drift> drift_;
};
