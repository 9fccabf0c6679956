// SPDX-License-Identifier: GPL-3.0-or-later
// What the acquisition cycle makes of each completed second, and the one place it is
// handed over to the record's consumers (daily log, plot, reboot arming).
#pragma once

#include <cstdint>

struct SecondRecord {
    double timeStamp = 0;       // time of the pass that closed the second
    float temperature = 0;      // temperature of the closing pass, °C
    std::int32_t mean = 0;      // rounded mean of the range-scaled counts of the second
    std::int32_t range = 0;     // range read in the closing pass
    std::int32_t second = 0;    // the completed second of the day
    std::int32_t newSecond = 0; // second of the day of the closing pass
    bool deviceActive = false;  // device state after the closing pass's readings
};

class RecordHandOver {
public:
    virtual ~RecordHandOver() = default;
    // May throw; the cycle's state is consistent before it is called.
    virtual void TakeRecord(const SecondRecord& record) = 0;
};
