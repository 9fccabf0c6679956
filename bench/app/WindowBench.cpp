// SPDX-License-Identifier: GPL-3.0-or-later
// The window's share of each pass and of each second: the status bar's refresh, and the
// Data page taking one line, or a whole day at start, while it holds a full day.
#include "FakeClock.h"
#include "FakePipeLibrary.h"
#include "app/LogView.h"
#include "app/UMain.h"
#include "core/text/DateTimeValue.h"

#include <QApplication>
#include <QPlainTextEdit>
#include <QScrollBar>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

namespace {

constexpr int kLinesPerDay = 86400;

// A full day as its file holds it.
QByteArray DayText() {
    QString text;
    text.reserve(kLinesPerDay * 38);
    for (int s = 0; s < kLinesPerDay; ++s)
        text += QStringLiteral("2009-01-26 %1:%2:%3  21.5    1234 3\r\n")
                    .arg(s / 3600, 2, 10, QLatin1Char('0'))
                    .arg(s / 60 % 60, 2, 10, QLatin1Char('0'))
                    .arg(s % 60, 2, 10, QLatin1Char('0'));
    return text.toLocal8Bit();
}

// Loads a text into the page and waits until the last of its slices is in.
void LoadWhole(LogView& view, const QByteArray& text) {
    view.Loaded(text);
    QApplication::processEvents();
    while (view.Filling())
        QApplication::processEvents();
}

void BM_UpdateStatusBar(benchmark::State& state) {
    FakePipeLibrary pipes;
    FakeClock clock;
    clock.stepMs = 1;
    QTemporaryDir dir;
    TForm1 form(TForm1Services{
        .pipes = pipes, .clock = clock, .runPasses = false, .dataDirectory = dir.path()});
    form.show();
    for (auto _ : state) {
        form.UpdateStatusBar();
        QApplication::processEvents(); // the repaint it asks for
    }
}
BENCHMARK(BM_UpdateStatusBar);

void BM_LogViewLoadFullDay(benchmark::State& state) {
    const QByteArray text = DayText();
    QPlainTextEdit memo;
    LogView view(memo);
    memo.resize(620, 360);
    memo.show();
    for (auto _ : state) {
        LoadWhole(view, text); // the page fills in slices between events
    }
}
BENCHMARK(BM_LogViewLoadFullDay)->Unit(benchmark::kMillisecond);

void BM_LogViewAppendToFullDay(benchmark::State& state) {
    QPlainTextEdit memo;
    LogView view(memo);
    memo.resize(620, 360);
    memo.show();
    LoadWhole(view, DayText());
    // The day grows by the few thousand lines measured; a day is what matters, not the
    // exact count.
    const QString line = QStringLiteral("2009-01-26 23:59:59  21.5    1234 3");
    for (auto _ : state) {
        view.LineAppended(line);
        QApplication::processEvents();
    }
}
BENCHMARK(BM_LogViewAppendToFullDay)->Unit(benchmark::kMicrosecond);

// The same with a memo that starts empty: the day already held should cost nothing.
void BM_LogViewAppendToEmpty(benchmark::State& state) {
    QPlainTextEdit memo;
    LogView view(memo);
    memo.resize(620, 360);
    memo.show();
    const QString line = QStringLiteral("2009-01-26 23:59:59  21.5    1234 3");
    for (auto _ : state) {
        view.LineAppended(line);
        QApplication::processEvents();
    }
}
BENCHMARK(BM_LogViewAppendToEmpty)->Unit(benchmark::kMicrosecond);

// Scrolling a full day by a page, as the scroll bar or Page Down does.
void BM_LogViewScrollFullDay(benchmark::State& state) {
    QPlainTextEdit memo;
    LogView view(memo);
    memo.resize(620, 360);
    memo.show();
    LoadWhole(view, DayText());
    QScrollBar& bar = *memo.verticalScrollBar();
    int value = 0;
    for (auto _ : state) {
        value = (value + bar.pageStep()) % bar.maximum();
        bar.setValue(value);
        memo.viewport()->repaint();
    }
}
BENCHMARK(BM_LogViewScrollFullDay)->Unit(benchmark::kMicrosecond);

} // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
