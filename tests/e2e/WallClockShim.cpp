// SPDX-License-Identifier: GPL-3.0-or-later
// A preload library for the end-to-end tests: it moves the wall clock, and only the wall
// clock, so the program believes it runs at a chosen date and time. Monotonic clocks,
// and with them every time-out and timer, stay untouched.
//
//   WALLCLOCK_SHIM_OFFSET=<seconds, fractions allowed, may be negative>
//
// is added to every reading of the wall clock, in every process that has the library
// preloaded, so they all agree. Without the variable the clock is left alone.
//
//   WALLCLOCK_SHIM_RATE=<factor>  WALLCLOCK_SHIM_ANCHOR=<seconds since 1970, real time>
//
// make the moved clock run `factor` times as fast as the real one from the anchor on (by
// default the first reading in the process): a night of records passes in minutes. The
// anchor reads the same moved time at any rate, so processes given one anchor agree.
#include <dlfcn.h>
#include <pthread.h>
#include <sys/time.h>

#include <cstdlib>
#include <ctime>

namespace {

using ClockGettime = int (*)(clockid_t, timespec*);

ClockGettime realClockGettime = nullptr;
long long offsetNs = 0;
double rate = 1;
long long anchorNs = -1; // real time from which the clock runs at `rate`
pthread_once_t once = PTHREAD_ONCE_INIT;

constexpr long long kNsPerSecond = 1000000000LL;

void setUp() {
    realClockGettime = reinterpret_cast<ClockGettime>(dlsym(RTLD_NEXT, "clock_gettime"));
    if (const char* offset = std::getenv("WALLCLOCK_SHIM_OFFSET"))
        offsetNs = static_cast<long long>(std::strtod(offset, nullptr) * kNsPerSecond);
    if (const char* factor = std::getenv("WALLCLOCK_SHIM_RATE")) {
        const double value = std::strtod(factor, nullptr);
        if (value > 0) rate = value;
    }
    if (const char* anchor = std::getenv("WALLCLOCK_SHIM_ANCHOR"))
        anchorNs = static_cast<long long>(std::strtod(anchor, nullptr) * kNsPerSecond);
    if (rate != 1 && anchorNs < 0 && realClockGettime) {
        timespec now{};
        realClockGettime(CLOCK_REALTIME, &now);
        anchorNs = now.tv_sec * kNsPerSecond + now.tv_nsec;
    }
}

bool isWallClock(clockid_t clock) {
    return clock == CLOCK_REALTIME || clock == CLOCK_REALTIME_COARSE;
}

void shift(timespec* ts) {
    long long ns = ts->tv_sec * kNsPerSecond + ts->tv_nsec;
    if (rate != 1)
        ns = anchorNs + static_cast<long long>(static_cast<double>(ns - anchorNs) * rate);
    ns += offsetNs;
    ts->tv_sec = static_cast<time_t>(ns / kNsPerSecond);
    ts->tv_nsec = static_cast<long>(ns % kNsPerSecond);
}

int wallClock(clockid_t clock, timespec* ts) {
    pthread_once(&once, setUp);
    if (!realClockGettime) return -1;
    const int result = realClockGettime(clock, ts);
    if (result == 0 && isWallClock(clock)) shift(ts);
    return result;
}

} // namespace

extern "C" {

int clock_gettime(clockid_t clock, timespec* ts) {
    return wallClock(clock, ts);
}

int gettimeofday(struct timeval* tv, void*) {
    timespec ts{};
    if (wallClock(CLOCK_REALTIME, &ts) != 0) return -1;
    tv->tv_sec = ts.tv_sec;
    tv->tv_usec = ts.tv_nsec / 1000;
    return 0;
}

time_t time(time_t* out) {
    timespec ts{};
    if (wallClock(CLOCK_REALTIME, &ts) != 0) return static_cast<time_t>(-1);
    if (out) *out = ts.tv_sec;
    return ts.tv_sec;
}

int timespec_get(timespec* ts, int base) {
    if (base != TIME_UTC || wallClock(CLOCK_REALTIME, ts) != 0) return 0;
    return base;
}

} // extern "C"
