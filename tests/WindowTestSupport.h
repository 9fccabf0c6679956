// What the window tests share: a clock the test sets, an error reporter that records, and
// a station made of the window, a scripted sensor and a temporary data directory.
#pragma once

#include "DateTimeValue.h"
#include "FakePipeLibrary.h"
#include "LocalClock.h"
#include "NocturoError.h"
#include "UMain.h"

#include <QTemporaryDir>

#include <memory>
#include <string>
#include <vector>

class TestClock : public LocalClock {
public:
    double now = EncodeDateTime({2009, 1, 26, 15, 37, 30, 250});
    int calls = 0;
    double Now() override {
        ++calls;
        return now;
    }
    void Set(int hour, int minute, int second, int msec = 0) {
        now = EncodeDateTime({2009, 1, 26, hour, minute, second, msec});
    }
};

#include "RecordedErrors.h"

// Sensor replies: a count and its range, and a temperature in raw 1/16 °C steps.
inline std::vector<std::uint8_t> LightReply(int count, int range) {
    return {static_cast<std::uint8_t>(count & 0xFF), static_cast<std::uint8_t>(count >> 8),
            static_cast<std::uint8_t>(range)};
}
// The sensor's raw temperature: sixteenths of a degree, shifted left by three bits.
inline std::vector<std::uint8_t> TemperatureReply(int sixteenths) {
    const auto raw = static_cast<std::uint16_t>(static_cast<std::int16_t>(sixteenths * 8));
    return {static_cast<std::uint8_t>(raw & 0xFF), static_cast<std::uint8_t>(raw >> 8)};
}
constexpr int Sixteenths21_5 = 344;   // 21.5 °C
constexpr int SixteenthsM12_3 = -197; // -12.3 °C (truncated toward zero)

struct Station {
    FakePipeLibrary pipes;
    TestClock clock;
    RecordedErrors recorded;
    QTemporaryDir dir;
    RegionalSettings regional;
    std::unique_ptr<TForm1> form;
    std::vector<std::uint32_t> exitRequests; // flags of every restart asked for
    std::function<void()> onExitRequest;     // runs as a restart is asked for

    // ownErrorBox: errors reach the window's error box instead of the record.
    explicit Station(bool runPasses = false, bool ownErrorBox = false, QString dataDirectory = {}) {
        pipes.setReply('L', LightReply(10, 1));
        pipes.setReply('T', TemperatureReply(Sixteenths21_5));
        TForm1Services services{.pipes = pipes,
                                .pipeEvents = nullptr,
                                .clock = clock,
                                .errors = ownErrorBox ? nullptr : &recorded,
                                .runPasses = runPasses,
                                .dataDirectory =
                                    dataDirectory.isEmpty() ? dir.path() : dataDirectory,
                                .regionalSettings = [this] { return regional; },
                                .systemExit =
                                    [this](std::uint32_t flags) {
                                        if (onExitRequest) onExitRequest();
                                        exitRequests.push_back(flags);
                                        return false;
                                    }};
        form = std::make_unique<TForm1>(services);
    }
};
