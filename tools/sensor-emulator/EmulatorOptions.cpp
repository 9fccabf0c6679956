// SPDX-License-Identifier: GPL-3.0-or-later
#include "EmulatorOptions.h"

#include <glib.h>

#include <cstdio>
#include <cstring>

namespace {

gboolean parseStart(const gchar*, const gchar* value, gpointer data, GError** error) {
    unsigned h = 0, m = 0, s = 0;
    if (std::sscanf(value, "%u:%u:%u", &h, &m, &s) < 2 || h > 23 || m > 59 || s > 59) {
        g_set_error(error, G_OPTION_ERROR, G_OPTION_ERROR_BAD_VALUE,
                    "--start wants hh:mm or hh:mm:ss, not \"%s\"", value);
        return FALSE;
    }
    static_cast<EmulatorOptions*>(data)->startOfDay = h * 3600.0 + m * 60.0 + s;
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
    static_cast<EmulatorOptions*>(data)->light =
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
    static_cast<EmulatorOptions*>(data)->temperature = celsius;
    return TRUE;
}

std::string taken(gchar* value) {
    std::string result = value ? value : "";
    g_free(value);
    return result;
}

constexpr const char* kDescription =
    "Two front ends serve the same device (descriptors, replies, light, faults):\n"
    "\n"
    "  sensor-emulator [options] [-- COMMAND...]\n"
    "    umockdev: COMMAND runs with the device at /dev/bus/usb/001/002 through an\n"
    "    unmodified libusb; the emulator ends with its exit code.\n"
    "\n"
    "  sensor-emulator --usbredir SOCKET [options]\n"
    "    usbredir: listens on the Unix socket SOCKET as the device side of a USB\n"
    "    redirection, for qemu to connect to and give the device to its guest:\n"
    "      -device qemu-xhci,id=xhci\n"
    "      -chardev socket,id=sensor,path=SOCKET,reconnect=1\n"
    "      -device usb-redir,chardev=sensor,bus=xhci.0\n"
    "    qemu may disconnect and connect again (a restarted qemu finds the device\n"
    "    plugged in); runs until SIGTERM or SIGINT and removes SOCKET.\n"
    "\n"
    "Faults: the --faults timetable, or keys read from standard input (a terminal,\n"
    "a pipe, a FIFO or a file; its end does not end the emulator):\n"
    "  u unplug, p plug, s silent, a answer, h short replies, n normal,\n"
    "  l one late reply (held --late-ms, past the reader's time-out).\n"
    "For a FIFO open it read-write (`sensor-emulator ... <>FIFO`), so that starting\n"
    "does not wait for a writer and each writer's keys are read.\n"
    "Each event is one line on stderr (and in the --log file).\n";

} // namespace

bool wantsUsbRedir(int argc, char** argv) {
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--") == 0) return false;
        if (std::strcmp(argv[i], "--usbredir") == 0 ||
            std::strncmp(argv[i], "--usbredir=", 11) == 0)
            return true;
    }
    return false;
}

bool parseEmulatorOptions(int argc, char** argv, EmulatorOptions& options) {
    gchar* faults = nullptr;
    gchar* stats = nullptr;
    gchar* log = nullptr;
    gchar* socket = nullptr;
    gchar* site = nullptr;
    gchar* clouds = nullptr;
    gchar* truth = nullptr;
    gboolean verbose = FALSE;
    gint lateMs = options.lateMs;
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
        {"zero-point", 0, 0, G_OPTION_ARG_DOUBLE, &options.zeroPoint,
         "The sensor's true zero point, mag/arcsec² of one count (default 24.55): two emulators "
         "with other zero points see the same sky in other counts",
         "MAG"},
        {"aging", 0, 0, G_OPTION_ARG_DOUBLE, &options.agingPerYear,
         "The zero point falls by MAG every emulated year (365.25 emulated days): a sensor "
         "that ages",
         "MAG"},
        {"site", 0, 0, G_OPTION_ARG_STRING, &site,
         "The night sky of a town, a rural or a dark site, and what clouds do to it (default "
         "rural)",
         "town|rural|dark"},
        {"clouds", 0, 0, G_OPTION_ARG_STRING, &clouds,
         "Cloud episodes every night, e.g. 22:00-23:30:0.8,01:00-02:00:0.6:broken (peak cover "
         "0 to 1), or random:SEED for a new draw each night",
         "LIST"},
        {"truth", 0, 0, G_OPTION_ARG_FILENAME, &truth,
         "Append 'local-time day hh:mm cover clear|cloudy zero-point' to FILE every emulated "
         "minute",
         "FILE"},
        {"faults", 'f', 0, G_OPTION_ARG_STRING, &faults,
         "Fault timetable, e.g. 10:unplug,15:replug,30:silent,35:answer,40:short,45:normal,"
         "50:late",
         "LIST"},
        {"late-ms", 0, 0, G_OPTION_ARG_INT, &lateMs,
         "How long the late fault holds the next reply (default 300)", "MS"},
        {"usbredir", 0, 0, G_OPTION_ARG_FILENAME, &socket,
         "Serve the device over usbredir on this Unix socket instead of umockdev", "SOCKET"},
        {"log", 0, 0, G_OPTION_ARG_FILENAME, &log, "Append the event lines to FILE as well",
         "FILE"},
        {"stats", 0, 0, G_OPTION_ARG_FILENAME, &stats,
         "Append 'seconds L-replies T-replies' (running totals) to FILE every second", "FILE"},
        {"verbose", 'v', 0, G_OPTION_ARG_NONE, &verbose,
         "Name each kind of request as it first comes", nullptr},
        {}};
    GOptionContext* context = g_option_context_new("[-- COMMAND [ARGUMENTS...]]");
    g_option_context_set_summary(context, "Emulated USB light sensor 04D8:000C.");
    g_option_context_set_description(context, kDescription);
    GOptionGroup* group = g_option_group_new(nullptr, nullptr, nullptr, &options, nullptr);
    g_option_group_add_entries(group, entries);
    g_option_context_set_main_group(context, group);
    GError* error = nullptr;
    bool ok = g_option_context_parse(context, &argc, &argv, &error);
    g_option_context_free(context);
    if (!ok) {
        std::fprintf(stderr, "sensor-emulator: %s\n", error->message);
        g_error_free(error);
    }
    options.faults = taken(faults);
    options.statsFile = taken(stats);
    options.logFile = taken(log);
    options.usbredirSocket = taken(socket);
    options.verbose = verbose;
    if (site) options.site = taken(site);
    options.clouds = taken(clouds);
    options.truthFile = taken(truth);
    if (ok && !parseSite(options.site)) {
        std::fprintf(stderr, "sensor-emulator: --site wants town, rural or dark\n");
        ok = false;
    }
    if (ok && !options.clouds.empty()) {
        std::string error;
        if (!parseClouds(*parseSite(options.site), options.clouds, error)) {
            std::fprintf(stderr, "sensor-emulator: %s\n", error.c_str());
            ok = false;
        }
    }
    options.lateMs = lateMs;
    if (ok && !(options.lightScale > 0 && options.lightScale <= 1000)) {
        std::fprintf(stderr, "sensor-emulator: --light-scale wants a factor above 0, at most "
                             "1000\n");
        ok = false;
    }
    if (ok && !(options.zeroPoint >= 10 && options.zeroPoint <= 40)) {
        std::fprintf(stderr, "sensor-emulator: --zero-point wants a magnitude from 10 to 40\n");
        ok = false;
    }
    if (ok && !(options.agingPerYear >= -5 && options.agingPerYear <= 5)) {
        std::fprintf(stderr, "sensor-emulator: --aging wants magnitudes a year from -5 to 5\n");
        ok = false;
    }
    if (ok && lateMs < 0) {
        std::fprintf(stderr, "sensor-emulator: --late-ms wants milliseconds, 0 or more\n");
        ok = false;
    }
    int first = 1;
    if (first < argc && std::strcmp(argv[first], "--") == 0) ++first;
    for (int i = first; i < argc; ++i)
        options.command.emplace_back(argv[i]);
    if (ok && !options.usbredirSocket.empty() && !options.command.empty()) {
        std::fprintf(stderr, "sensor-emulator: --usbredir runs no command (qemu connects to the "
                             "socket)\n");
        ok = false;
    }
    return ok;
}
