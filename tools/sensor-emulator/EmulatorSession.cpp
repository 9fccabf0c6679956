// SPDX-License-Identifier: GPL-3.0-or-later
#include "EmulatorSession.h"

#include <algorithm>
#include <cmath>

#include <glib-unix.h>

#include <chrono>
#include <csignal>
#include <ctime>

namespace {
double localSecondsOfDay() {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    return local.tm_hour * 3600.0 + local.tm_min * 60.0 + local.tm_sec;
}
} // namespace

EmulatorSession::EmulatorSession(const EmulatorOptions& options)
    : options_(options)
    , loop_(g_main_loop_new(nullptr, FALSE))
    , start_(g_get_monotonic_time())
    , model_(std::make_unique<LightModel>(
          options.daySeconds, options.startOfDay >= 0 ? options.startOfDay : localSecondsOfDay()))
    , sensor_(std::make_unique<SensorProtocol>(*model_)) {
    if (options.light) model_->holdLight(*options.light);
    if (options.temperature) model_->holdTemperature(*options.temperature);
    model_->scaleLight(options.lightScale);
    model_->setZeroPoint(options.zeroPoint, options.agingPerYear);
    std::string error;
    if (const auto site = parseSite(options.site); site && !options.clouds.empty()) {
        if (const auto clouds = parseClouds(*site, options.clouds, error))
            model_->setClouds(*clouds);
    } else if (site && options.site != "rural") {
        model_->setClouds(CloudModel(*site, {}));
    }
}

EmulatorSession::~EmulatorSession() {
    keys_.reset();
    for (guint source : sources_)
        g_source_remove(source);
    for (const Scheduled& fault : scheduled_)
        if (fault.source) g_source_remove(fault.source);
    if (stats_) std::fclose(stats_);
    if (log_) std::fclose(log_);
    if (truth_) std::fclose(truth_);
    g_main_loop_unref(loop_);
}

double EmulatorSession::elapsed() const {
    return (g_get_monotonic_time() - start_) / 1e6;
}

void EmulatorSession::say(const std::string& what) {
    const double at = elapsed();
    std::fprintf(stderr, "sensor-emulator: %.1f s: %s\n", at, what.c_str());
    std::fflush(stderr);
    if (log_) {
        std::fprintf(log_, "%.3f %s\n", at, what.c_str());
        std::fflush(log_);
    }
}

bool EmulatorSession::start(PluggableDevice& device) {
    device_ = &device;
    std::string error;
    const auto faults = parseFaultScript(options_.faults, error);
    if (!faults) {
        std::fprintf(stderr, "sensor-emulator: %s\n", error.c_str());
        return false;
    }
    if (!options_.statsFile.empty() && !(stats_ = std::fopen(options_.statsFile.c_str(), "a"))) {
        std::perror(options_.statsFile.c_str());
        return false;
    }
    if (!options_.logFile.empty() && !(log_ = std::fopen(options_.logFile.c_str(), "a"))) {
        std::perror(options_.logFile.c_str());
        return false;
    }
    if (!options_.truthFile.empty()) {
        if (!(truth_ = std::fopen(options_.truthFile.c_str(), "a"))) {
            std::perror(options_.truthFile.c_str());
            return false;
        }
        const double minute = options_.daySeconds / 1440.0; // an emulated minute, real seconds
        sources_.push_back(
            g_timeout_add(static_cast<guint>(std::max(minute * 1000, 1.0)), onTruthTick, this));
    }
    scheduled_.reserve(faults->size()); // the timers keep pointers into it
    for (const FaultEvent& event : *faults) {
        scheduled_.push_back({this, event.action, 0});
        scheduled_.back().source =
            g_timeout_add(static_cast<guint>(event.at * 1000), onScheduled, &scheduled_.back());
    }
    if (stats_) sources_.push_back(g_timeout_add_seconds(1, onStatsTick, this));
    for (int signal : {SIGINT, SIGTERM, SIGHUP})
        sources_.push_back(g_unix_signal_add(signal, onSignal, this));
    keys_ = std::make_unique<KeyInput>([this](char key) {
        if (const auto action = faultActionForKey(key)) apply(*action);
    });
    if (keys_->start() && keys_->fromTerminal())
        std::fprintf(stderr, "sensor-emulator: keys: u unplug, p plug, s silent, a answer, "
                             "h short replies, n normal, l one late reply\n");
    return true;
}

int EmulatorSession::run() {
    g_main_loop_run(loop_);
    writeStats();
    return exitCode_;
}

void EmulatorSession::quit(int exitCode) {
    exitCode_ = exitCode;
    g_main_loop_quit(loop_);
}

void EmulatorSession::apply(FaultAction action) {
    say(faultActionName(action));
    switch (action) {
    case FaultAction::Unplug:
        device_->unplug();
        break;
    case FaultAction::Replug: {
        std::string error;
        if (!device_->plug(error)) say("cannot plug the device in: " + error);
        break;
    }
    case FaultAction::Silent:
        sensor_->setMode(ReplyMode::Silent);
        break;
    case FaultAction::Answer:
        if (sensor_->mode() == ReplyMode::Silent) sensor_->setMode(ReplyMode::Normal);
        break;
    case FaultAction::Short:
        sensor_->setMode(ReplyMode::Short);
        break;
    case FaultAction::Normal:
        sensor_->setMode(ReplyMode::Normal);
        break;
    case FaultAction::Late:
        sensor_->holdNextReply(std::chrono::milliseconds(options_.lateMs));
        break;
    }
}

gboolean EmulatorSession::onScheduled(gpointer data) {
    auto* fault = static_cast<Scheduled*>(data);
    fault->source = 0;
    fault->session->apply(fault->action);
    return G_SOURCE_REMOVE;
}

void EmulatorSession::writeStats() {
    if (!stats_) return;
    // Cumulative: seconds since start, 'L' replies, 'T' replies.
    std::fprintf(stats_, "%.3f %llu %llu\n", elapsed(),
                 static_cast<unsigned long long>(sensor_->lightReplies()),
                 static_cast<unsigned long long>(sensor_->temperatureReplies()));
    std::fflush(stats_);
}

gboolean EmulatorSession::onStatsTick(gpointer data) {
    static_cast<EmulatorSession*>(data)->writeStats();
    return G_SOURCE_CONTINUE;
}

// The truth beside the day files: the real local time (the day files' clock), the emulated
// day and time of day, the cloud cover, what a classifier should call the minute, and the
// sensor's true zero point then (what a calibration should find).
gboolean EmulatorSession::onTruthTick(gpointer data) {
    auto* session = static_cast<EmulatorSession*>(data);
    const double at = session->elapsed();
    const double cover = session->model_->cloudCover(at);
    const auto [day, seconds] = session->model_->dayAndSeconds(at);
    const int ofDay = static_cast<int>(seconds / 60);
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    char stamp[32];
    std::strftime(stamp, sizeof stamp, "%Y-%m-%dT%H:%M", &local);
    std::fprintf(session->truth_, "%s %lld %02d:%02d %.3f %s %.4f\n", stamp,
                 static_cast<long long>(day), ofDay / 60, ofDay % 60, cover,
                 cover >= CloudModel::kCloudyCover ? "cloudy" : "clear",
                 session->model_->zeroPoint(at));
    std::fflush(session->truth_);
    return G_SOURCE_CONTINUE;
}

gboolean EmulatorSession::onSignal(gpointer data) {
    auto* session = static_cast<EmulatorSession*>(data);
    if (session->terminate_)
        session->terminate_();
    else
        session->quit(0);
    return G_SOURCE_CONTINUE;
}
