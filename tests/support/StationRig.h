// SPDX-License-Identifier: GPL-3.0-or-later
// A station without a window on a scripted sensor and a clock the test moves: errors are
// recorded, restart requests counted, and the day files go to a temporary directory
// unless another is given. The station is shut down with the rig, a failure recorded.
#pragma once

#include "FakeClock.h"
#include "FakePipeLibrary.h"
#include "RecordedErrors.h"
#include "SensorReplies.h"
#include "core/station/Station.h"

#include <QTemporaryDir>

#include <cstdint>
#include <memory>
#include <vector>

struct StationRig {
    FakePipeLibrary pipes;
    FakeClock clock;
    RecordedErrors errors;
    QTemporaryDir dir;
    std::vector<std::uint32_t> exitRequests; // flags of every restart asked for
    bool restartAccepted = false;            // what the fake system answers
    std::unique_ptr<Station> station;

    explicit StationRig(QString dataDirectory = {})
        : dataDirectory_(dataDirectory.isEmpty() ? dir.path() : dataDirectory) {
        pipes.recordCalls = false;
        pipes.setReply('L', LightReply(10, 1));
        pipes.setReply('T', TemperatureReply(kSixteenths21_5));
    }
    ~StationRig() { Stop(); }

    Station& Start() {
        station = std::make_unique<Station>(StationServices{.pipes = pipes,
                                                            .clock = clock,
                                                            .errors = errors,
                                                            .dataDirectory = dataDirectory_,
                                                            .systemExit =
                                                                [this](std::uint32_t flags) {
                                                                    exitRequests.push_back(flags);
                                                                    return restartAccepted;
                                                                },
                                                            .runPasses = false});
        station->Start();
        return *station;
    }
    // The station's shut-down; a failed last save is recorded like any error.
    void Stop() {
        if (!station) return;
        try {
            station->Stop();
        } catch (const NocturoError& e) {
            errors.ShowError(e.what());
        }
        station.reset();
    }
    // One pass at the given time of the clock's day.
    bool PassAt(int hour, int minute, int second, int msec = 0) {
        clock.Set(hour, minute, second, msec);
        return station->IdleHandler();
    }
    const QString& DataDirectory() const { return dataDirectory_; }

private:
    QString dataDirectory_;
};
