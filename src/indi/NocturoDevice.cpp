// SPDX-License-Identifier: GPL-3.0-or-later
#include "indi/NocturoDevice.h"

#include <libindi/indidevapi.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

namespace {

constexpr int kRetryMs = 2000; // while the logger cannot be reached

} // namespace

NocturoDevice::NocturoDevice() {
    setVersion(1, 0);
}

NocturoDevice::~NocturoDevice() {
    Close();
}

bool NocturoDevice::initProperties() {
    INDI::DefaultDevice::initProperties();
    setDriverInterface(AUX_INTERFACE);

    const char* environment = std::getenv("NOCTURO_STATE_SOCKET");
    socketPath_[0].fill("PATH", "Logger's state socket",
                        environment && *environment ? environment : kDefaultSocket);
    socketPath_.fill(getDeviceName(), "STATE_SOCKET", "Station", OPTIONS_TAB, IP_RW, 60, IPS_IDLE);

    skyQuality_[0].fill("SKY_BRIGHTNESS", "Sky brightness (mag/arcsec^2)", "%6.2f", -20, 30, 0, 0);
    skyQuality_[1].fill("SENSOR_COUNTS", "Reading (counts)", "%10.0f", 0, 1e9, 0, 0);
    skyQuality_[2].fill("SENSOR_RANGE", "Gain range", "%1.0f", 0, 5, 0, 0);
    skyQuality_.fill(getDeviceName(), "SKY_QUALITY", "Readings", MAIN_CONTROL_TAB, IP_RO, 0,
                     IPS_IDLE);
    temperature_[0].fill("TEMPERATURE", "Temperature (C)", "%6.1f", -100, 100, 0, 0);
    temperature_.fill(getDeviceName(), "SENSOR_TEMPERATURE", "Sensor", MAIN_CONTROL_TAB, IP_RO, 0,
                      IPS_IDLE);
    link_[0].fill("SENSOR", "Sensor", IPS_IDLE);
    link_.fill(getDeviceName(), "STATION_LINK", "Link", MAIN_CONTROL_TAB, IPS_IDLE);
    status_[0].fill("LINK", "Link", "");
    status_[1].fill("HINT", "Why not", "");
    status_[2].fill("LAST_READING", "Last reading (UTC)", "");
    status_[3].fill("SAFE", "Safe to observe", "");
    status_.fill(getDeviceName(), "STATION_STATUS", "Station", MAIN_CONTROL_TAB, IP_RO, 0,
                 IPS_IDLE);
    condition_[0].fill("CONDITION", "Last minute's sky", "");
    condition_.fill(getDeviceName(), "SKY_CONDITION", "Sky", MAIN_CONTROL_TAB, IP_RO, 0, IPS_IDLE);

    defineProperty(&socketPath_);
    addDebugControl();
    setDefaultPollingPeriod(kRetryMs);
    return true;
}

bool NocturoDevice::updateProperties() {
    INDI::DefaultDevice::updateProperties();
    if (isConnected()) {
        defineProperty(&skyQuality_);
        defineProperty(&temperature_);
        defineProperty(&link_);
        defineProperty(&status_);
        defineProperty(&condition_);
    } else {
        for (const char* name : {"SKY_QUALITY", "SENSOR_TEMPERATURE", "STATION_LINK",
                                 "STATION_STATUS", "SKY_CONDITION"})
            deleteProperty(name);
    }
    return true;
}

bool NocturoDevice::ISNewText(const char* dev, const char* name, char* texts[], char* names[],
                              int n) {
    if (dev && std::strcmp(dev, getDeviceName()) == 0 && socketPath_.isNameMatch(name)) {
        socketPath_.update(texts, names, n);
        socketPath_.setState(IPS_OK);
        socketPath_.apply();
        // A new path takes effect at once for a connected device.
        if (isConnected()) {
            Close();
            Open(false);
        }
        return true;
    }
    return INDI::DefaultDevice::ISNewText(dev, name, texts, names, n);
}

bool NocturoDevice::saveConfigItems(FILE* fp) {
    INDI::DefaultDevice::saveConfigItems(fp);
    IUSaveConfigText(fp, &socketPath_);
    return true;
}

bool NocturoDevice::Connect() {
    if (!Open(false)) return false;
    SetTimer(getCurrentPollingPeriod());
    return true;
}

bool NocturoDevice::Disconnect() {
    Close();
    return true;
}

bool NocturoDevice::Open(bool quiet) {
    const char* path = socketPath_[0].getText();
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    if (path == nullptr || std::strlen(path) >= sizeof(address.sun_path)) {
        LOG_ERROR("The state socket's path is empty or too long.");
        return false;
    }
    std::strcpy(address.sun_path, path);
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0 || ::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof(address)) != 0) {
        const int error = errno;
        if (fd >= 0) ::close(fd);
        if (!quiet)
            LOGF_ERROR("Cannot reach the station's logger at %s: %s. Is nocturo-logger running "
                       "with --state-socket %s?",
                       path, std::strerror(error), path);
        return false;
    }
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) | O_NONBLOCK);
    fd_ = fd;
    callback_ = IEAddCallback(fd_, &NocturoDevice::Readable, this);
    reachable_ = true;
    buffer_.clear();
    LOGF_INFO("Reading the station from %s.", path);
    return true;
}

void NocturoDevice::Close() {
    if (callback_ >= 0) IERmCallback(callback_);
    callback_ = -1;
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
    reachable_ = false;
}

void NocturoDevice::Readable(int, void* self) {
    static_cast<NocturoDevice*>(self)->Read();
}

void NocturoDevice::Read() {
    char chunk[4096];
    for (;;) {
        const ssize_t got = ::read(fd_, chunk, sizeof chunk);
        if (got > 0) {
            buffer_.append(chunk, got);
            continue;
        }
        if (got < 0 && errno == EINTR) continue;
        if (got < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) break;
        // The logger ended or restarts: shown, and tried again from the timer.
        LOG_WARN("The station's logger went away; trying again.");
        Close();
        ShowUnreachable();
        return;
    }
    std::optional<StationLine> newest;
    for (const QByteArray& line : TakeLines(buffer_))
        if (std::optional<StationLine> station = ReadStationLine(line)) newest = station;
    if (newest) Show(*newest);
}

void NocturoDevice::Show(const StationLine& line) {
    const IPState readings = line.linkUp ? IPS_OK : IPS_ALERT;
    skyQuality_[0].setValue(line.magnitude.value_or(0));
    skyQuality_[1].setValue(line.count.value_or(0));
    skyQuality_[2].setValue(line.range.value_or(0));
    // Without a zero point the counts are shown, the brightness is not known.
    skyQuality_.setState(line.linkUp && line.magnitude ? IPS_OK
                         : line.linkUp                 ? IPS_BUSY
                                                       : IPS_ALERT);
    skyQuality_.apply();
    temperature_[0].setValue(line.temperature.value_or(0));
    temperature_.setState(line.linkUp && line.temperature ? IPS_OK : IPS_ALERT);
    temperature_.apply();
    link_[0].setState(readings);
    link_.setState(readings);
    link_.apply();
    status_[0].setText(line.linkUp ? "up" : "down");
    status_[1].setText(line.hint.toStdString());
    status_[2].setText(line.time.toStdString());
    status_[3].setText(line.safe ? std::string("yes") : "no: " + line.why.toStdString());
    status_.setState(readings);
    status_.apply();
    condition_[0].setText(line.condition.toStdString());
    condition_.setState(line.condition.isEmpty() ? IPS_IDLE : IPS_OK);
    condition_.apply();
}

void NocturoDevice::ShowUnreachable() {
    link_[0].setState(IPS_IDLE);
    link_.setState(IPS_ALERT);
    link_.apply("The station's logger cannot be reached.");
    status_[0].setText("unknown");
    status_[1].setText("the logger cannot be reached");
    status_.setState(IPS_ALERT);
    status_.apply();
    skyQuality_.setState(IPS_ALERT);
    skyQuality_.apply();
}

void NocturoDevice::TimerHit() {
    if (!isConnected()) return;
    if (!reachable_ && Open(true)) LOG_INFO("The station's logger is back.");
    SetTimer(getCurrentPollingPeriod());
}
