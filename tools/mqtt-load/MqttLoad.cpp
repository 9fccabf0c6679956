// SPDX-License-Identifier: GPL-3.0-or-later
// mqtt-load: plays stations to an MQTT broker, for the collector's tests and benchmarks.
// It speaks the stations' messages on its own (libmosquitto and the C++ library only), so
// that what it sends does not depend on the programs it tests.
//
//   mqtt-load live --stations N --seconds S [--start-index I] [--connections C]
//       N stations, one reading each per second of the wall clock (the second just ended),
//       spread over the second, for S seconds; each station's mean count is its index
//       times 1000 plus the second's index, so the archive can be checked.
//       With --confirmed, readings carry `prev` (the second before; null for the first) and
//       each station subscribes to its confirmation (PREFIX-archive/NAME/confirmed), as a
//       logger does; it prints "confirmations N" received.
//   mqtt-load confirm --stations N --seconds S [--every E] [--start-index I]
//       the archive's side of that: every station's retained confirmation once every E
//       seconds (10), spread over them, for S seconds.
//   mqtt-load file --station NAME [--utc-offset SECONDS] DAYFILE…
//       every line of the day files as readings, as fast as the broker takes them (a
//       back-fill); the local stamp is UTC plus the offset.
//   mqtt-load status --station NAME [--online|--offline] [--link-down HINT] [--will]
//       [--hold]
//       a retained status; with --will and --hold it stays connected with a last will of
//       offline until it is killed.
//
// Common: --host H (127.0.0.1) --port P (1883) --prefix P (nocturo) --qos Q (1)
//         --utc-shift SECONDS (added to every time sent)
// At the end it waits until the broker has acknowledged everything, then prints
// "published N" (and, for live, "late S" seconds the generator fell behind).
#include <mosquitto.h>

#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

namespace {

struct Options {
    std::string mode;
    std::string host = "127.0.0.1";
    int port = 1883;
    std::string prefix = "nocturo";
    int qos = 1;
    long long utcShift = 0;
    int stations = 1;
    int startIndex = 0;
    int seconds = 10;
    int connections = 4;
    std::string station = "station";
    long long utcOffset = 0;
    bool online = true;
    std::string linkHint;
    bool will = false;
    bool hold = false;
    bool confirmed = false;
    int every = 10;
    std::vector<std::string> files;
};

[[noreturn]] void Usage(const char* why) {
    std::fprintf(stderr, "mqtt-load: %s\n", why);
    std::exit(2);
}

std::atomic<long long> acknowledged{0};

void OnPublish(mosquitto*, void*, int) {
    acknowledged.fetch_add(1, std::memory_order_relaxed);
}

std::atomic<long long> received{0};

void OnMessage(mosquitto*, void*, const mosquitto_message*) {
    received.fetch_add(1, std::memory_order_relaxed);
}

// A client; `ownThread`: the library's thread runs it, else Service() must be called.
mosquitto* Connect(const Options& o, const std::string& id, const std::string* willTopic,
                   const std::string* willPayload, bool ownThread = false) {
    mosquitto* m = mosquitto_new(id.c_str(), true, nullptr);
    if (!m) Usage("cannot make a client");
    // A bounded window: the library looks an acknowledgement up in the list of messages in
    // flight, so an unbounded one makes a backlog ever slower to drain.
    mosquitto_max_inflight_messages_set(m, 500);
    mosquitto_publish_callback_set(m, &OnPublish);
    mosquitto_message_callback_set(m, &OnMessage);
    if (willTopic)
        mosquitto_will_set(m, willTopic->c_str(), int(willPayload->size()), willPayload->data(), 1,
                           true);
    if (mosquitto_connect(m, o.host.c_str(), o.port, 30) != MOSQ_ERR_SUCCESS)
        Usage("cannot connect to the broker");
    if (ownThread && mosquitto_loop_start(m) != MOSQ_ERR_SUCCESS)
        Usage("cannot start the client's thread");
    return m;
}

// Reads the broker's acknowledgements and writes what is queued, without waiting. Without a
// thread of the library's, each publish is written at once, with no hand-over between
// threads: the generator then costs far less per message.
void Service(const std::vector<mosquitto*>& clients) {
    for (mosquitto* m : clients) {
        const int rc = mosquitto_loop(m, 0, 1);
        if (rc == MOSQ_ERR_NO_CONN || rc == MOSQ_ERR_CONN_LOST) mosquitto_reconnect(m);
    }
}

std::string Stamp(long long seconds, char middle, const char* end) {
    const long long days = seconds >= 0 ? seconds / 86400 : -((-seconds - 1) / 86400) - 1;
    const long long inDay = seconds - days * 86400;
    // Civil date of a day count (proleptic Gregorian).
    long long z = days + 719468;
    const long long era = (z >= 0 ? z : z - 146096) / 146097;
    const long long doe = z - era * 146097;
    const long long yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    long long y = yoe + era * 400;
    const long long doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const long long mp = (5 * doy + 2) / 153;
    const long long d = doy - (153 * mp + 2) / 5 + 1;
    const long long m = mp < 10 ? mp + 3 : mp - 9;
    if (m <= 2) ++y;
    char text[128];
    std::snprintf(text, sizeof text, "%04lld-%02lld-%02lld%c%02lld:%02lld:%02lld%s", y, m, d,
                  middle, inDay / 3600, inDay / 60 % 60, inDay % 60, end);
    return text;
}

// `prev`: none (0), the first line (-1), or the second before (1).
std::string Reading(long long utc, long long local, int tenths, long long mean, int range,
                    int prev = 0) {
    char text[260];
    const std::string after = prev > 0   ? ",\"prev\":\"" + Stamp(utc - 1, 'T', "Z") + "\""
                              : prev < 0 ? std::string(",\"prev\":null")
                                         : std::string();
    std::snprintf(text, sizeof text,
                  "{\"time\":\"%s\",\"local\":\"%s\",\"temperature\":%s%d.%d,\"mean_count\":%lld,"
                  "\"range\":%d%s}",
                  Stamp(utc, 'T', "Z").c_str(), Stamp(local, ' ', "").c_str(),
                  tenths < 0 ? "-" : "", std::abs(tenths) / 10, std::abs(tenths) % 10, mean, range,
                  after.c_str());
    return text;
}

long long published = 0;

void Publish(mosquitto* m, const Options& o, const std::string& topic, const std::string& payload,
             bool retain = false) {
    // The client's queue is unbounded; a failure here is a lost connection.
    while (mosquitto_publish(m, nullptr, topic.c_str(), int(payload.size()), payload.data(), o.qos,
                             retain) != MOSQ_ERR_SUCCESS) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
        Service({m});
    }
    if (++published % 64 == 0) Service({m});
}

void Finish(std::vector<mosquitto*>& clients, const Options& o) {
    // QoS 0 is never acknowledged; everything else waits for the broker's word.
    while (o.qos > 0 && acknowledged.load() < published) {
        Service(clients);
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    for (mosquitto* m : clients) {
        mosquitto_disconnect(m);
        mosquitto_loop(m, 0, 1);
        mosquitto_destroy(m);
    }
}

std::string Name(int index) {
    char text[32];
    std::snprintf(text, sizeof text, "load-%05d", index);
    return text;
}

int Live(const Options& o) {
    std::vector<mosquitto*> clients;
    for (int c = 0; c < o.connections; ++c)
        clients.push_back(Connect(o,
                                  "mqtt-load-" + std::to_string(getpid()) + "-" + std::to_string(c),
                                  nullptr, nullptr));
    std::vector<std::string> topics;
    for (int i = 0; i < o.stations; ++i)
        topics.push_back(o.prefix + "/" + Name(o.startIndex + i) + "/reading");
    if (o.confirmed)
        for (int i = 0; i < o.stations; ++i) {
            const std::string c = o.prefix + "-archive/" + Name(o.startIndex + i) + "/confirmed";
            mosquitto_subscribe(clients[std::size_t(i % o.connections)], nullptr, c.c_str(), 1);
            if (i % 64 == 0) Service(clients);
        }
    using namespace std::chrono;
    const auto now = system_clock::now();
    long long second = duration_cast<seconds>(now.time_since_epoch()).count() + 1;
    long long late = 0;
    for (int s = 0; s < o.seconds; ++s, ++second) {
        // Station i sends at i/N of the second after the one it read, as unsynchronised
        // stations would.
        for (int i = 0; i < o.stations; ++i) {
            const auto due = system_clock::time_point(seconds(second)) +
                             nanoseconds(1000000000LL * i / o.stations);
            while (system_clock::now() < due) {
                Service(clients);
                if (due - system_clock::now() > milliseconds(2))
                    std::this_thread::sleep_for(milliseconds(1));
            }
            const long long utc = second - 1 + o.utcShift;
            Publish(clients[std::size_t(i % o.connections)], o, topics[std::size_t(i)],
                    Reading(utc, utc, 215, (o.startIndex + i) * 1000LL + s, 3,
                            o.confirmed ? (s == 0 ? -1 : 1) : 0));
        }
        // Seconds whose readings went out more than half a second after their due time.
        if (system_clock::now() > system_clock::time_point(seconds(second + 1)) + milliseconds(500))
            ++late;
    }
    Finish(clients, o);
    std::printf("published %lld\nlate %lld\n", published, late);
    if (o.confirmed) std::printf("confirmations %lld\n", received.load());
    return 0;
}

int Confirm(const Options& o) {
    std::vector<mosquitto*> clients{
        Connect(o, "mqtt-load-confirm-" + std::to_string(getpid()), nullptr, nullptr)};
    std::vector<std::string> topics;
    for (int i = 0; i < o.stations; ++i)
        topics.push_back(o.prefix + "-archive/" + Name(o.startIndex + i) + "/confirmed");
    using namespace std::chrono;
    const auto begin = system_clock::now();
    const long long start = duration_cast<seconds>(begin.time_since_epoch()).count();
    for (int round = 0; round * o.every < o.seconds; ++round)
        for (int i = 0; i < o.stations; ++i) {
            // Station i at i/N of the interval, as the collector's per-station throttle
            // spreads them.
            const auto due = begin + nanoseconds(1000000000LL * o.every * round) +
                             nanoseconds(1000000000LL * o.every * i / o.stations);
            while (system_clock::now() < due) {
                Service(clients);
                if (due - system_clock::now() > milliseconds(2))
                    std::this_thread::sleep_for(milliseconds(1));
            }
            const std::string payload =
                "{\"time\":\"" + Stamp(start + round * o.every, 'T', "Z") + "\"}";
            Publish(clients[0], o, topics[std::size_t(i)], payload, true);
        }
    Finish(clients, o);
    std::printf("published %lld\n", published);
    return 0;
}

// "yyyy-mm-dd hh:mm:ss TTTTT MMMMMMM R" (a comma for the decimal point too).
bool ParseDayLine(std::string line, long long& wall, int& tenths, long long& mean, int& range) {
    for (char& c : line)
        if (c == ',') c = '.';
    int y, mo, d, h, mi, s;
    double t;
    if (std::sscanf(line.c_str(), "%d-%d-%d %d:%d:%d %lf %lld %d", &y, &mo, &d, &h, &mi, &s, &t,
                    &mean, &range) != 9)
        return false;
    // Days from civil (proleptic Gregorian).
    const int yy = mo <= 2 ? y - 1 : y;
    const long long era = (yy >= 0 ? yy : yy - 399) / 400;
    const long long yoe = yy - era * 400;
    const long long doy = (153LL * (mo > 2 ? mo - 3 : mo + 9) + 2) / 5 + d - 1;
    const long long doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    wall = (era * 146097 + doe - 719468) * 86400 + h * 3600 + mi * 60 + s;
    tenths = int(std::lround(t * 10));
    return true;
}

int File(const Options& o) {
    std::vector<mosquitto*> clients{
        Connect(o, "mqtt-load-file-" + std::to_string(getpid()), nullptr, nullptr)};
    const std::string topic = o.prefix + "/" + o.station + "/reading";
    for (const std::string& path : o.files) {
        std::ifstream in(path);
        if (!in) Usage("cannot read a day file");
        std::string line;
        while (std::getline(in, line)) {
            long long wall, mean;
            int tenths, range;
            if (!ParseDayLine(line, wall, tenths, mean, range)) continue;
            Publish(
                clients[0], o, topic,
                Reading(wall - o.utcOffset + o.utcShift, wall + o.utcShift, tenths, mean, range));
        }
    }
    Finish(clients, o);
    std::printf("published %lld\n", published);
    return 0;
}

int Status(const Options& o) {
    const std::string topic = o.prefix + "/" + o.station + "/status";
    const auto status = [&](bool online) {
        const bool up = o.linkHint.empty();
        return std::string("{\"online\":") + (online ? "true" : "false") + ",\"link\":\"" +
               (up ? "up" : "down") + "\",\"hint\":\"" + o.linkHint +
               "\",\"version\":\"load\",\"newest_day\":\"\"}";
    };
    const std::string will = status(false);
    std::vector<mosquitto*> clients{Connect(o, "mqtt-load-status-" + o.station,
                                            o.will ? &topic : nullptr, o.will ? &will : nullptr,
                                            true)};
    Publish(clients[0], o, topic, status(o.online), true);
    while (acknowledged.load() < published)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    std::printf("published %lld\n", published);
    std::fflush(stdout);
    if (o.hold)
        while (true)
            std::this_thread::sleep_for(std::chrono::seconds(1));
    mosquitto_disconnect(clients[0]);
    mosquitto_loop_stop(clients[0], false);
    mosquitto_destroy(clients[0]);
    return 0;
}

} // namespace

int main(int argc, char* argv[]) {
    Options o;
    if (argc < 2) Usage("usage: mqtt-load live|confirm|file|status [options]");
    o.mode = argv[1];
    for (int i = 2; i < argc; ++i) {
        const std::string a = argv[i];
        const auto value = [&]() -> std::string {
            if (i + 1 >= argc) Usage(("missing value of " + a).c_str());
            return argv[++i];
        };
        if (a == "--host")
            o.host = value();
        else if (a == "--port")
            o.port = std::stoi(value());
        else if (a == "--prefix")
            o.prefix = value();
        else if (a == "--qos")
            o.qos = std::stoi(value());
        else if (a == "--utc-shift")
            o.utcShift = std::stoll(value());
        else if (a == "--stations")
            o.stations = std::stoi(value());
        else if (a == "--start-index")
            o.startIndex = std::stoi(value());
        else if (a == "--seconds")
            o.seconds = std::stoi(value());
        else if (a == "--connections")
            o.connections = std::max(1, std::stoi(value()));
        else if (a == "--station")
            o.station = value();
        else if (a == "--utc-offset")
            o.utcOffset = std::stoll(value());
        else if (a == "--online")
            o.online = true;
        else if (a == "--offline")
            o.online = false;
        else if (a == "--link-down")
            o.linkHint = value();
        else if (a == "--will")
            o.will = true;
        else if (a == "--confirmed")
            o.confirmed = true;
        else if (a == "--every")
            o.every = std::max(1, std::stoi(value()));
        else if (a == "--hold")
            o.hold = true;
        else if (!a.empty() && a[0] != '-')
            o.files.push_back(a);
        else
            Usage(("unknown option " + a).c_str());
    }
    mosquitto_lib_init();
    int status = 2;
    if (o.mode == "live")
        status = Live(o);
    else if (o.mode == "file")
        status = File(o);
    else if (o.mode == "status")
        status = Status(o);
    else if (o.mode == "confirm")
        status = Confirm(o);
    else
        Usage("the mode is live, confirm, file or status");
    mosquitto_lib_cleanup();
    return status;
}
