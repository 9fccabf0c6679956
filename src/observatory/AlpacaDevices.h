// SPDX-License-Identifier: GPL-3.0-or-later
// The station's two Alpaca devices, member by member: ObservingConditions 0 (sky quality,
// cloud cover from the minute's sky condition, the time since the last update, the average
// period) and SafetyMonitor 0 (IsSafe). Members every device has (Connected, Name, ...)
// are the service's; these are the devices' own. All of them only read the live station.
#pragma once

#include "observatory/AlpacaMessage.h"
#include "observatory/AlpacaOutcome.h"

#include "observatory/LiveStation.h"

namespace alpaca {

// The live station as one request sees it, taken once for the whole request.
struct View {
    const LiveState& state;
    const StationDescription& description;
    std::int64_t nowMs;
    bool safe;
};

enum class DeviceKind { ObservingConditions, SafetyMonitor };

struct DeviceFacts {
    const char* type;     // in the URL: "observingconditions"
    const char* typeName; // in the configured devices: "ObservingConditions"
    int interfaceVersion;
    const char* description;
};
DeviceFacts FactsOf(DeviceKind kind);

// A member of the device's own, once the service has checked that it is connected. `put`
// tells the method; `parameters` are the query's (GET) or the form's (PUT).
Outcome DeviceMember(DeviceKind kind, const QString& member, bool put,
                     const AlpacaParameters& parameters, const View& live);
// Whether `member` is one of the device's own (so that a member not known at all is told
// apart from one that needs the device connected).
bool IsDeviceMember(DeviceKind kind, const QString& member);

} // namespace alpaca
