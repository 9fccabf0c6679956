// SPDX-License-Identifier: GPL-3.0-or-later
// sensor-emulator: an emulated USB light sensor for running Nocturo, or any libusb
// program, without the hardware.
//
//   sensor-emulator [options] [-- command [arguments...]]
//
// The device lives in a umockdev testbed served by this process. The command runs as a
// child under umockdev's preload library with UMOCKDEV_DIR set, so it sees the device
// at /dev/bus/usb/001/002 through an unmodified libusb; the emulator exits with the
// child's exit code. Without a command it runs until interrupted.
#include "EmulatedUsbDevice.h"
#include "FaultScript.h"
#include "LightModel.h"
#include "Preload.h"
#include "SensorProtocol.h"

#include <glib-unix.h>
#include <glib.h>

#include <sys/prctl.h>
#include <termios.h>
#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <ctime>
#include <memory>
#include <optional>
#include <string>

namespace {

struct Options {
    double daySeconds = 86400;
    double startOfDay = -1; // seconds since midnight; -1: the local time now
    std::string faults;
    std::string statsFile;
    std::optional<LightModel::Light> light;
    std::optional<double> temperature;
    double lightScale = 1;
    bool verbose = false;
};

struct Emulator {
    GMainLoop* loop = nullptr;
    std::unique_ptr<LightModel> model;
    std::unique_ptr<SensorProtocol> sensor;
    std::unique_ptr<EmulatedUsbDevice> device;
    gint64 start = 0;
    GPid child = 0;
    int exitCode = 0;
    std::FILE* stats = nullptr;
    bool keys = false;
    termios savedTerminal{};

    double elapsed() const { return (g_get_monotonic_time() - start) / 1e6; }
};

void say(const Emulator& e, const char* what) {
    std::fprintf(stderr, "sensor-emulator: %.1f s: %s\n", e.elapsed(), what);
}

void apply(Emulator& e, FaultAction action) {
    say(e, faultActionName(action));
    switch (action) {
    case FaultAction::Unplug:
        e.device->unplug();
        break;
    case FaultAction::Replug: {
        std::string error;
        if (!e.device->plug(error)) std::fprintf(stderr, "sensor-emulator: %s\n", error.c_str());
        break;
    }
    case FaultAction::Silent:
        e.sensor->setMode(ReplyMode::Silent);
        break;
    case FaultAction::Answer:
        if (e.sensor->mode() == ReplyMode::Silent) e.sensor->setMode(ReplyMode::Normal);
        break;
    case FaultAction::Short:
        e.sensor->setMode(ReplyMode::Short);
        break;
    case FaultAction::Normal:
        e.sensor->setMode(ReplyMode::Normal);
        break;
    }
}

struct ScheduledFault {
    Emulator* emulator;
    FaultAction action;
};

gboolean onScheduledFault(gpointer data) {
    auto* fault = static_cast<ScheduledFault*>(data);
    apply(*fault->emulator, fault->action);
    return G_SOURCE_REMOVE;
}

gboolean onKey(gint fd, GIOCondition, gpointer data) {
    auto& e = *static_cast<Emulator*>(data);
    char key = 0;
    if (read(fd, &key, 1) != 1) return G_SOURCE_REMOVE;
    if (const auto action = faultActionForKey(key)) apply(e, *action);
    return G_SOURCE_CONTINUE;
}

void writeStats(Emulator& e) {
    if (!e.stats) return;
    // Cumulative: seconds since start, 'L' replies, 'T' replies.
    std::fprintf(e.stats, "%.3f %llu %llu\n", e.elapsed(),
                 static_cast<unsigned long long>(e.sensor->lightReplies()),
                 static_cast<unsigned long long>(e.sensor->temperatureReplies()));
    std::fflush(e.stats);
}

gboolean onStatsTick(gpointer data) {
    writeStats(*static_cast<Emulator*>(data));
    return G_SOURCE_CONTINUE;
}

void onChildExit(GPid pid, gint status, gpointer data) {
    auto& e = *static_cast<Emulator*>(data);
    if (WIFEXITED(status))
        e.exitCode = WEXITSTATUS(status);
    else
        e.exitCode = 128 + (WIFSIGNALED(status) ? WTERMSIG(status) : 0);
    g_spawn_close_pid(pid);
    e.child = 0;
    g_main_loop_quit(e.loop);
}

gboolean onTerminate(gpointer data) {
    auto& e = *static_cast<Emulator*>(data);
    if (e.child) {
        kill(e.child, SIGTERM); // the emulator exits once the child has
    } else {
        e.exitCode = 0;
        g_main_loop_quit(e.loop);
    }
    return G_SOURCE_CONTINUE;
}

void childSetup(gpointer) {
    prctl(PR_SET_PDEATHSIG, SIGTERM);
}

bool startChild(Emulator& e, char** command) {
    gchar** env = g_get_environ();
    env = g_environ_setenv(env, "UMOCKDEV_DIR", e.device->rootDir().c_str(), TRUE);
    env = g_environ_setenv(env, "LD_PRELOAD", g_getenv("LD_PRELOAD"), TRUE);
    env = g_environ_unsetenv(env, preload::ReexecMark);
    GError* error = nullptr;
    const bool ok =
        g_spawn_async(nullptr, command, env,
                      static_cast<GSpawnFlags>(G_SPAWN_SEARCH_PATH | G_SPAWN_DO_NOT_REAP_CHILD |
                                               G_SPAWN_CHILD_INHERITS_STDIN),
                      childSetup, nullptr, &e.child, &error);
    g_strfreev(env);
    if (!ok) {
        std::fprintf(stderr, "sensor-emulator: cannot start %s: %s\n", command[0], error->message);
        g_error_free(error);
        return false;
    }
    g_child_watch_add(e.child, onChildExit, &e);
    return true;
}

void startKeys(Emulator& e) {
    if (!isatty(STDIN_FILENO) || tcgetattr(STDIN_FILENO, &e.savedTerminal) != 0) return;
    termios raw = e.savedTerminal;
    raw.c_lflag &= ~(ICANON | ECHO);
    tcsetattr(STDIN_FILENO, TCSANOW, &raw);
    e.keys = true;
    g_unix_fd_add(STDIN_FILENO, G_IO_IN, onKey, &e);
    std::fprintf(stderr, "sensor-emulator: keys: u unplug, p plug, s silent, a answer, "
                         "h short replies, n normal\n");
}

double localSecondsOfDay() {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    return local.tm_hour * 3600.0 + local.tm_min * 60.0 + local.tm_sec;
}

gboolean parseStart(const gchar*, const gchar* value, gpointer data, GError** error) {
    unsigned h = 0, m = 0, s = 0;
    if (std::sscanf(value, "%u:%u:%u", &h, &m, &s) < 2 || h > 23 || m > 59 || s > 59) {
        g_set_error(error, G_OPTION_ERROR, G_OPTION_ERROR_BAD_VALUE,
                    "--start wants hh:mm or hh:mm:ss, not \"%s\"", value);
        return FALSE;
    }
    static_cast<Options*>(data)->startOfDay = h * 3600.0 + m * 60.0 + s;
    return TRUE;
}

gboolean parseLight(const gchar*, const gchar* value, gpointer data, GError** error) {
    unsigned count = 0, range = 0;
    char end = 0;
    if (std::sscanf(value, "%u:%u%c", &count, &range, &end) != 2 || count > 65535 || range > 255) {
        g_set_error(error, G_OPTION_ERROR, G_OPTION_ERROR_BAD_VALUE,
                    "--light wants count:range, such as 1234:3, not \"%s\"", value);
        return FALSE;
    }
    static_cast<Options*>(data)->light =
        LightModel::Light{static_cast<std::uint16_t>(count), static_cast<std::uint8_t>(range)};
    return TRUE;
}

gboolean parseTemperature(const gchar*, const gchar* value, gpointer data, GError** error) {
    char* end = nullptr;
    const double celsius = g_ascii_strtod(value, &end);
    if (end == value || *end != '\0') {
        g_set_error(error, G_OPTION_ERROR, G_OPTION_ERROR_BAD_VALUE,
                    "--temperature wants degrees Celsius, such as 21.5, not \"%s\"", value);
        return FALSE;
    }
    static_cast<Options*>(data)->temperature = celsius;
    return TRUE;
}

bool parseOptions(int& argc, char**& argv, Options& options) {
    gchar* faults = nullptr;
    gchar* stats = nullptr;
    gboolean verbose = FALSE;
    const GOptionEntry entries[] = {
        {"day-seconds", 'd', 0, G_OPTION_ARG_DOUBLE, &options.daySeconds,
         "Length of one emulated day (default 86400)", "SECONDS"},
        {"start", 0, 0, G_OPTION_ARG_CALLBACK, reinterpret_cast<gpointer>(parseStart),
         "Time of day the light starts at (default: the local time)", "HH:MM[:SS]"},
        {"light", 0, 0, G_OPTION_ARG_CALLBACK, reinterpret_cast<gpointer>(parseLight),
         "Answer every light request with this count and range", "COUNT:RANGE"},
        {"temperature", 0, 0, G_OPTION_ARG_CALLBACK, reinterpret_cast<gpointer>(parseTemperature),
         "Answer every temperature request with this value", "CELSIUS"},
        {"light-scale", 0, 0, G_OPTION_ARG_DOUBLE, &options.lightScale,
         "Multiply the light by FACTOR (default 1), for stations under different skies", "FACTOR"},
        {"faults", 'f', 0, G_OPTION_ARG_STRING, &faults,
         "Fault timetable, e.g. 10:unplug,15:replug,30:silent,35:answer,40:short,45:normal",
         "LIST"},
        {"stats", 0, 0, G_OPTION_ARG_FILENAME, &stats,
         "Append 'seconds L-replies T-replies' (running totals) to FILE every second", "FILE"},
        {"verbose", 'v', 0, G_OPTION_ARG_NONE, &verbose,
         "Name each kind of usbfs request as it first comes", nullptr},
        {}};
    GOptionContext* context = g_option_context_new("[-- COMMAND [ARGUMENTS...]]");
    g_option_context_set_summary(context, "Emulated USB light sensor 04D8:000C.");
    g_option_context_set_description(
        context, "When standard input is a terminal, keys apply faults: u unplug, p plug,\n"
                 "s silent, a answer, h short replies, n normal.\n");
    GOptionGroup* group = g_option_group_new(nullptr, nullptr, nullptr, &options, nullptr);
    g_option_group_add_entries(group, entries);
    g_option_context_set_main_group(context, group);
    GError* error = nullptr;
    const bool ok = g_option_context_parse(context, &argc, &argv, &error);
    g_option_context_free(context);
    if (!ok) {
        std::fprintf(stderr, "sensor-emulator: %s\n", error->message);
        g_error_free(error);
    }
    if (faults) options.faults = faults;
    if (stats) options.statsFile = stats;
    options.verbose = verbose;
    g_free(faults);
    g_free(stats);
    return ok;
}

} // namespace

int main(int argc, char** argv) {
    if (!preload::ensure(argv)) return 1;
    Options options;
    if (!parseOptions(argc, argv, options)) return 2;
    if (!(options.lightScale > 0 && options.lightScale <= 1000)) {
        std::fprintf(stderr, "sensor-emulator: --light-scale wants a factor above 0, at most "
                             "1000\n");
        return 2;
    }
    std::string error;
    const auto faults = parseFaultScript(options.faults, error);
    if (!faults) {
        std::fprintf(stderr, "sensor-emulator: %s\n", error.c_str());
        return 2;
    }
    char** command = argc > 1 ? argv + 1 : nullptr;
    if (command && std::string(command[0]) == "--") ++command;
    if (command && !*command) command = nullptr;

    Emulator e;
    e.loop = g_main_loop_new(nullptr, FALSE);
    e.start = g_get_monotonic_time();
    e.model = std::make_unique<LightModel>(
        options.daySeconds, options.startOfDay >= 0 ? options.startOfDay : localSecondsOfDay());
    if (options.light) e.model->holdLight(*options.light);
    if (options.temperature) e.model->holdTemperature(*options.temperature);
    e.model->scaleLight(options.lightScale);
    e.sensor = std::make_unique<SensorProtocol>(*e.model);
    e.device =
        std::make_unique<EmulatedUsbDevice>([&e](const std::uint8_t* request, std::size_t length) {
            return e.sensor->answer(request, length, e.elapsed());
        });
    e.device->setVerbose(options.verbose);
    if (!e.device->plug(error)) {
        std::fprintf(stderr, "sensor-emulator: cannot add the device: %s\n", error.c_str());
        return 1;
    }
    if (!options.statsFile.empty() && !(e.stats = std::fopen(options.statsFile.c_str(), "a"))) {
        std::perror(options.statsFile.c_str());
        return 1;
    }

    std::vector<ScheduledFault> scheduled;
    scheduled.reserve(faults->size());
    for (const FaultEvent& event : *faults) {
        scheduled.push_back({&e, event.action});
        g_timeout_add(static_cast<guint>(event.at * 1000), onScheduledFault, &scheduled.back());
    }
    if (e.stats) g_timeout_add_seconds(1, onStatsTick, &e);
    for (int signal : {SIGINT, SIGTERM, SIGHUP})
        g_unix_signal_add(signal, onTerminate, &e);
    startKeys(e);
    if (command) {
        if (!startChild(e, command)) return 127;
    } else {
        std::printf("UMOCKDEV_DIR=%s\nLD_PRELOAD=%s\n", e.device->rootDir().c_str(),
                    g_getenv("LD_PRELOAD"));
        std::fflush(stdout);
    }
    g_main_loop_run(e.loop);

    if (e.keys) tcsetattr(STDIN_FILENO, TCSANOW, &e.savedTerminal);
    writeStats(e);
    if (e.stats) std::fclose(e.stats);
    e.device.reset();
    g_main_loop_unref(e.loop);
    return e.exitCode;
}
