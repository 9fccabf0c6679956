// SPDX-License-Identifier: GPL-3.0-or-later
// NocturoDevice: the light-monitoring station as an INDI device ("Nocturo"). It never
// touches the sensor, which the logger holds: it reads the logger's state socket (one JSON
// line a second) and shows
//   SKY_QUALITY         SKY_BRIGHTNESS (mag/arcsec²), SENSOR_COUNTS and SENSOR_RANGE, the
//                       reading behind it;
//   SENSOR_TEMPERATURE  TEMPERATURE (°C), the sensor's own;
//   STATION_LINK        a light, SENSOR: Ok while the logger reads the sensor, Alert while
//                       it does not, Idle while the logger cannot be reached;
//   STATION_STATUS      LINK, HINT, LAST_READING, SAFE (text);
//   SKY_CONDITION       CONDITION: the last complete minute's (day, twilight, moonlit, clear,
//                       cloudy), empty while not known;
// and, in Options, STATE_SOCKET.PATH: where the logger's socket is.
#pragma once

#include "indi/StationLine.h"

#include <libindi/defaultdevice.h>
#include <libindi/indipropertylight.h>
#include <libindi/indipropertynumber.h>
#include <libindi/indipropertytext.h>

#include <QByteArray>

class NocturoDevice : public INDI::DefaultDevice {
public:
    static constexpr const char* kDefaultSocket = "/run/nocturo/state";

    NocturoDevice();
    ~NocturoDevice() override;

    bool initProperties() override;
    bool updateProperties() override;
    bool ISNewText(const char* dev, const char* name, char* texts[], char* names[], int n) override;
    void TimerHit() override;

protected:
    const char* getDefaultName() override { return "Nocturo"; }
    bool Connect() override;
    bool Disconnect() override;
    bool saveConfigItems(FILE* fp) override;

private:
    static void Readable(int fd, void* self);
    bool Open(bool quiet);
    void Close();
    void Read();
    void Show(const StationLine& line);
    void ShowUnreachable();

    INDI::PropertyNumber skyQuality_{3};
    INDI::PropertyNumber temperature_{1};
    INDI::PropertyLight link_{1};
    INDI::PropertyText status_{4};
    INDI::PropertyText condition_{1};
    INDI::PropertyText socketPath_{1};

    int fd_ = -1;
    int callback_ = -1;
    QByteArray buffer_;
    bool reachable_ = false; // the socket is open
};
