// SPDX-License-Identifier: GPL-3.0-or-later
// A window driven by a fake clock and a scripted sensor, for the plot's tests and its
// screenshots: each Second() runs one pass a second later than the one before.
#pragma once

#include "FakeClock.h"
#include "FakePipeLibrary.h"
#include "RecordedErrors.h"
#include "SensorReplies.h"
#include "app/UMain.h"
#include "core/NocturoError.h"
#include "core/text/DateTimeValue.h"
#include "core/text/LocalClock.h"

#include <QTemporaryDir>

#include <memory>
#include <string>
#include <vector>

struct PlotRig {
    FakePipeLibrary pipes;
    FakeClock clock;
    RecordedErrors errors;
    QTemporaryDir dir; // the day files go here, never into the working directory
    std::unique_ptr<TForm1> form;

    explicit PlotRig(DateTimeParts start) {
        clock.Set(start);
        SetLight(100, 1);
        SetTemperature(25);
        pipes.recordCalls = false;
        form = std::make_unique<TForm1>(
            TForm1Services{pipes, nullptr, clock, &errors, false, dir.path()});
    }
    void SetLight(int count, int range) { pipes.setReply('L', LightReply(count, range)); }
    // The sensor reports sixteenths of a degree in the bits above the lowest three.
    void SetTemperature(double degrees) {
        const int raw = static_cast<int>(degrees * 16) * 8;
        pipes.setReply('T', {std::uint8_t(raw & 0xFF), std::uint8_t((raw >> 8) & 0xFF)});
    }
    void Second() {
        clock.now += 1.0 / 86400;
        form->IdleHandler();
    }
};
