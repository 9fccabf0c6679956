// SPDX-License-Identifier: GPL-3.0-or-later
// What both front ends share around their device: the light model and the sensor's
// replies, the clock since start, the event lines, the fault timetable and fault keys,
// the statistics file and the termination signals, all on one GLib main loop.
#pragma once

#include "EmulatorOptions.h"
#include "FaultScript.h"
#include "KeyInput.h"
#include "LightModel.h"
#include "SensorProtocol.h"

#include <glib.h>

#include <cstdio>
#include <functional>
#include <memory>
#include <string>
#include <vector>

// The part of a front end that faults act on.
class PluggableDevice {
public:
    virtual ~PluggableDevice() = default;
    // Brings the device (back) in; false with a message on failure.
    virtual bool plug(std::string& error) = 0;
    virtual void unplug() = 0;
};

class EmulatorSession {
public:
    explicit EmulatorSession(const EmulatorOptions& options);
    ~EmulatorSession();
    EmulatorSession(const EmulatorSession&) = delete;
    EmulatorSession& operator=(const EmulatorSession&) = delete;

    SensorProtocol& sensor() { return *sensor_; }
    const EmulatorOptions& options() const { return options_; }
    // Seconds since start.
    double elapsed() const;

    // One event line on stderr and in the log file, flushed: "sensor-emulator: 1.2 s: what".
    void say(const std::string& what);

    // Opens the files, schedules the timetable, listens to keys and signals. False after
    // a message on stderr.
    bool start(PluggableDevice& device);
    // Runs until quit(); returns the exit code given to quit().
    int run();
    void quit(int exitCode);
    // What SIGTERM, SIGINT and SIGHUP do; by default quit(0).
    void onTerminate(std::function<void()> handler) { terminate_ = std::move(handler); }

    void apply(FaultAction action);

private:
    struct Scheduled {
        EmulatorSession* session;
        FaultAction action;
        guint source; // 0 once it has fired
    };
    static gboolean onScheduled(gpointer data);
    static gboolean onStatsTick(gpointer data);
    static gboolean onTruthTick(gpointer data);
    static gboolean onSignal(gpointer data);
    void writeStats();

    EmulatorOptions options_;
    GMainLoop* loop_ = nullptr;
    gint64 start_ = 0;
    std::unique_ptr<LightModel> model_;
    std::unique_ptr<SensorProtocol> sensor_;
    PluggableDevice* device_ = nullptr;
    std::vector<Scheduled> scheduled_;
    std::vector<guint> sources_;
    std::unique_ptr<KeyInput> keys_;
    std::FILE* stats_ = nullptr;
    std::FILE* log_ = nullptr;
    std::FILE* truth_ = nullptr;
    std::function<void()> terminate_;
    int exitCode_ = 0;
};
