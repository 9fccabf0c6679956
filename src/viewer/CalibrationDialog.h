// SPDX-License-Identifier: GPL-3.0-or-later
// The calibration from the window: the station's folder, a reference (a folder of day
// files with its zero point, or another instrument's skyglow file) and the nights; shows
// the result, or why there is none, and the station.conf line to paste.
#pragma once

#include "core/astro/Observer.h"

#include <QDialog>

#include <cstdint>
#include <optional>

class QDateEdit;
class QDoubleSpinBox;
class QLineEdit;
class QComboBox;
class QPlainTextEdit;
class QPushButton;

class CalibrationDialog : public QDialog {
    Q_OBJECT
public:
    // `folder`: the station's day files; `location`: its position when station.conf has
    // none; `today`: days since 1970-01-01.
    CalibrationDialog(const QString& folder, std::optional<astro::Observer> location,
                      std::int64_t today, QWidget* parent = nullptr);

    QLineEdit* StationFolder() const { return station_; }
    QComboBox* ReferenceKind() const { return kind_; } // 0 folder, 1 skyglow file
    QLineEdit* Reference() const { return reference_; }
    QDoubleSpinBox* ReferenceZeroPoint() const { return zeroPoint_; } // 0: from its station.conf
    QDateEdit* FirstNight() const { return first_; }
    QDateEdit* LastNight() const { return last_; }
    QPushButton* CalibrateButton() const { return calibrate_; }
    QPlainTextEdit* Result() const { return result_; }
    QLineEdit* Line() const { return line_; } // the station.conf line, empty when refused

    void Calibrate();

private:
    std::optional<astro::Observer> location_;
    QLineEdit* station_;
    QComboBox* kind_;
    QLineEdit* reference_;
    QDoubleSpinBox* zeroPoint_;
    QDateEdit* first_;
    QDateEdit* last_;
    QPushButton* calibrate_;
    QPlainTextEdit* result_;
    QLineEdit* line_;
};
