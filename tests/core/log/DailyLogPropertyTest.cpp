// SPDX-License-Identifier: GPL-3.0-or-later
// Random clock sequences driven through the acquisition cycle and the daily log: forward,
// back within a day, back and forth across midnight, gaps, an absent sensor, and restarts.
// Whatever the clock does, no line a day file ever held goes missing, every line made
// reaches the file of its own day, and no file holds another day's line.
#include "FakeClock.h"
#include "FakePipeLibrary.h"
#include "core/log/DailyLog.h"
#include "core/station/AcquisitionCycle.h"
#include "core/text/DateTimeValue.h"
#include "core/text/LocalClock.h"
#include "sensor/PICUSBClass.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <gtest/gtest.h>
#include <map>
#include <random>
#include <string>

namespace {

constexpr double kSecond = 1.0 / 86400.0;

class LogHandOver : public RecordHandOver {
public:
    DailyLog* log = nullptr;
    void TakeRecord(const SecondRecord& record) override { log->Take(record); }
};

struct MadeLines : DailyLogObserver {
    std::map<std::string, int> lines; // every line made, with how often
    void LineAppended(const QString& line) override { ++lines[line.toStdString()]; }
    void Emptied() override {}
    void Loaded(const QByteArray&) override {}
};

using LineCounts = std::map<std::string, int>;

// Every day file's lines, counted.
std::map<std::string, LineCounts> ReadDayFiles(const QString& directory) {
    std::map<std::string, LineCounts> files;
    const QDir dir(directory);
    for (const QString& name : dir.entryList({QStringLiteral("*.txt")}, QDir::Files)) {
        QFile file(dir.filePath(name));
        EXPECT_TRUE(file.open(QIODevice::ReadOnly));
        LineCounts& counts = files[name.toStdString()];
        for (const QByteArray& line : file.readAll().split('\n')) {
            if (line.isEmpty()) continue;
            EXPECT_TRUE(line.endsWith('\r')) << "not CR LF in " << name.toStdString();
            ++counts[line.chopped(1).toStdString()];
        }
    }
    return files;
}

// Names, sizes and modification times of the day files.
QString FilesStamp(const QString& directory) {
    QString stamp;
    for (const QFileInfo& info :
         QDir(directory).entryInfoList({QStringLiteral("*.txt")}, QDir::Files))
        stamp += QStringLiteral("%1 %2 %3;")
                     .arg(info.fileName())
                     .arg(info.size())
                     .arg(info.lastModified().toMSecsSinceEpoch());
    return stamp;
}

// "yyyymmdd.txt" of a log line's date.
std::string DayFileOf(const std::string& line) {
    return line.substr(0, 4) + line.substr(5, 2) + line.substr(8, 2) + ".txt";
}

class Station {
public:
    explicit Station(const QString& directory)
        : directory_(directory) {}

    void Start(FakeClock& clock) {
        log_ = std::make_unique<DailyLog>(directory_);
        log_->AddObserver(&made_);
        handOver_.log = log_.get();
        cycle_ = std::make_unique<AcquisitionCycle>(clock, handOver_);
        cycle_->Begin();
        log_->SetLogFileName(DailyLog::FileNameFor(cycle_->CurrentTime()));
        log_->Load();
        device_ = std::make_unique<TPICUSB>(pipes);
        cycle_->SetDevice(device_.get());
        device_->SetActive(true);
    }
    void Pass(std::uint16_t count) {
        pipes.setReply('L', {std::uint8_t(count & 0xFF), std::uint8_t(count >> 8), 5});
        cycle_->Pass();
        cycle_->Reconnect();
    }
    void Stop() {
        log_->Save();
        device_.reset();
        cycle_.reset();
        log_.reset();
    }
    const MadeLines& Made() const { return made_; }

    FakePipeLibrary pipes;

private:
    QString directory_;
    MadeLines made_;
    LogHandOver handOver_;
    std::unique_ptr<DailyLog> log_;
    std::unique_ptr<AcquisitionCycle> cycle_;
    std::unique_ptr<TPICUSB> device_;
};

void RunScenario(std::mt19937& random, int passes) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    FakeClock clock;
    clock.now = EncodeDateTime({2009, 1, 26, 23, 58, 0, 0});
    Station station(dir.path());
    station.pipes.setReply('T', {0x90, 0x01});
    station.pipes.recordCalls = false;
    station.Start(clock);

    auto uniform = [&](double low, double high) {
        return std::uniform_real_distribution<double>(low, high)(random);
    };
    std::map<std::string, LineCounts> held;
    int absentPasses = 0;
    QString lastStamp;
    for (int pass = 0; pass < passes; ++pass) {
        const int pick = std::uniform_int_distribution<int>(0, 99)(random);
        const double day = std::floor(clock.now);
        if (pick < 78) {
            clock.now += uniform(0.2, 0.9) * kSecond;
        } else if (pick < 83) { // a gap
            clock.now += uniform(2, 3 * 3600) * kSecond;
        } else if (pick < 87) { // set back within the day, or a little across midnight
            clock.now -= uniform(1, 2 * 3600) * kSecond;
        } else if (pick < 91) { // towards midnight from either side
            clock.now = day + 1 - uniform(0, 6) * kSecond;
        } else if (pick < 95) { // back and forth across midnight
            clock.now = (clock.now - day < 0.5) ? day - uniform(0, 6) * kSecond
                                                : day + 1 + uniform(0, 6) * kSecond;
        } else if (pick < 97) {
            absentPasses = std::uniform_int_distribution<int>(1, 8)(random);
        } else if (pick < 99) {
            station.Stop();
            station.Start(clock);
        }
        station.pipes.attached = absentPasses == 0;
        if (absentPasses > 0) --absentPasses;
        // Each pass reads a count of its own, so every second's mean, and line, differs.
        station.Pass(std::uint16_t(pass + 1));

        // Files change only when saved; read them again only then.
        const QString stamp = FilesStamp(dir.path());
        if (stamp == lastStamp) continue;
        lastStamp = stamp;
        auto now = ReadDayFiles(dir.path());
        for (const auto& [file, lines] : held)
            for (const auto& [line, count] : lines)
                ASSERT_GE(now[file][line], count) << "lost from " << file << ": " << line;
        held = std::move(now);
    }
    station.Stop();

    const auto files = ReadDayFiles(dir.path());
    for (const auto& [line, count] : station.Made().lines) {
        const auto file = files.find(DayFileOf(line));
        ASSERT_NE(file, files.end()) << line;
        const auto found = file->second.find(line);
        ASSERT_TRUE(found != file->second.end() && found->second >= count) << line;
    }
    for (const auto& [file, lines] : files)
        for (const auto& [line, count] : lines)
            ASSERT_EQ(DayFileOf(line), file) << line;
}

TEST(DailyLogProperty, NoLineAFileHeldIsEverLost) {
    std::mt19937 random(20090126);
    for (int scenario = 0; scenario < 8; ++scenario) {
        SCOPED_TRACE(scenario);
        RunScenario(random, 700);
        if (HasFatalFailure()) return;
    }
}

} // namespace
