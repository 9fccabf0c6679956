// A preload library for the end-to-end tests: it moves the wall clock, and only the wall
// clock, so the program believes it runs at a chosen date and time. Monotonic clocks,
// and with them every time-out and timer, stay untouched.
//
//   WALLCLOCK_SHIM_OFFSET=<seconds, fractions allowed, may be negative>
//
// is added to every reading of the wall clock, in every process that has the library
// preloaded, so they all agree. Without the variable the clock is left alone.
#include <dlfcn.h>
#include <pthread.h>
#include <sys/time.h>

#include <cstdlib>
#include <ctime>

namespace {

using ClockGettime = int (*)(clockid_t, timespec*);

ClockGettime realClockGettime = nullptr;
long long offsetNs = 0;
pthread_once_t once = PTHREAD_ONCE_INIT;

constexpr long long NsPerSecond = 1000000000LL;

void setUp() {
    realClockGettime = reinterpret_cast<ClockGettime>(dlsym(RTLD_NEXT, "clock_gettime"));
    if (const char* offset = std::getenv("WALLCLOCK_SHIM_OFFSET"))
        offsetNs = static_cast<long long>(std::strtod(offset, nullptr) * NsPerSecond);
}

bool isWallClock(clockid_t clock) {
    return clock == CLOCK_REALTIME || clock == CLOCK_REALTIME_COARSE;
}

void shift(timespec* ts) {
    const long long ns = ts->tv_sec * NsPerSecond + ts->tv_nsec + offsetNs;
    ts->tv_sec = static_cast<time_t>(ns / NsPerSecond);
    ts->tv_nsec = static_cast<long>(ns % NsPerSecond);
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
