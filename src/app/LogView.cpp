// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/LogView.h"

#include <QElapsedTimer>
#include <QPlainTextEdit>
#include <QScrollBar>
#include <QTextCursor>

namespace {
// Bytes of the pending text taken at a time; a piece takes far less than a slice.
constexpr qsizetype kPieceLength = 32 * 1024;

bool IsBreak(char c) {
    return c == '\r' || c == '\n';
}
bool IsBreak(QChar c) {
    return c == u'\r' || c == u'\n';
}
} // namespace

LogView::LogView(QPlainTextEdit& memo)
    : memo_(memo) {
    // A day holds 86,400 lines: keep them all, and keep no undo history of them.
    memo_.setReadOnly(true);
    memo_.setUndoRedoEnabled(false);
    memo_.setMaximumBlockCount(0);
    fillTimer_.setSingleShot(true);
    fillTimer_.setInterval(0);
    QObject::connect(&fillTimer_, &QTimer::timeout, [this] { FillSlice(); });
}

void LogView::LineAppended(const QString& line) {
    if (filling_) {
        appended_.append(line); // after the loaded text
        return;
    }
    // Appending follows the end only when the view is already showing it, so a user
    // reading earlier lines is not pulled away each second.
    memo_.appendPlainText(line);
}

void LogView::Emptied() {
    fillTimer_.stop();
    filling_ = false;
    pending_.clear();
    appended_.clear();
    memo_.clear();
}

void LogView::Loaded(const QByteArray& text) {
    fillTimer_.stop();
    memo_.clear();
    pending_ = text;
    appended_.clear();
    shown_ = 0;
    lineLength_ = 0;
    breakOwed_ = false;
    filling_ = true;
    FillSlice();
}

void LogView::FillSlice() {
    QElapsedTimer slice;
    slice.start();
    while (ShowPiece()) {
        if (slice.elapsed() >= kSliceMs) {
            fillTimer_.start(); // the rest after the events that are waiting
            return;
        }
    }
    Finish();
}

bool LogView::ShowPiece() {
    const qsizetype size = pending_.size();
    if (shown_ >= size) return false;
    // A piece ends after a line break where it can, so that no character and no CR LF is
    // split between two; only a line of more than a piece, shown cut, is split.
    const char* bytes = pending_.constData();
    qsizetype end = std::min(size, shown_ + kPieceLength);
    if (end < size) {
        qsizetype lastBreak = end;
        while (lastBreak > shown_ && !IsBreak(bytes[lastBreak - 1]))
            --lastBreak;
        if (lastBreak > shown_) end = lastBreak;
        if (bytes[end - 1] == '\r' && end < size && bytes[end] == '\n') ++end;
    }
    const QString chars = QString::fromLocal8Bit(bytes + shown_, end - shown_);
    shown_ = end;

    // Each line is its own paragraph: line breaks of any kind become paragraph breaks, and
    // a break is written only once the line after it begins, so a final line break does
    // not show as an empty last line.
    const QChar* text = chars.constData();
    const qsizetype count = chars.size();
    QString piece;
    piece.reserve(count + 2);
    qsizetype i = 0;
    while (i < count) {
        if (IsBreak(text[i])) {
            if (breakOwed_) piece.append(u'\n');
            breakOwed_ = true;
            lineLength_ = 0;
            if (text[i] == u'\r' && i + 1 < count && text[i + 1] == u'\n') ++i; // one break
            ++i;
            continue;
        }
        qsizetype run = i;
        while (run < count && !IsBreak(text[run]))
            ++run;
        if (breakOwed_) {
            piece.append(u'\n');
            breakOwed_ = false;
        }
        const qsizetype room = std::max<qsizetype>(0, kMaxShownLineLength - lineLength_);
        piece.append(QStringView(text + i, std::min(room, run - i)));
        if (lineLength_ <= kMaxShownLineLength && lineLength_ + (run - i) > kMaxShownLineLength)
            piece.append(QChar(0x2026)); // "…": the rest of the line is not shown
        lineLength_ = std::min(lineLength_ + (run - i), kMaxShownLineLength + 1);
        i = run;
    }
    if (piece.isEmpty()) return true;

    // The page follows the end while it shows the end, as appended lines do.
    QScrollBar& bar = *memo_.verticalScrollBar();
    const bool atEnd = bar.value() >= bar.maximum();
    QTextCursor cursor(memo_.document());
    cursor.movePosition(QTextCursor::End);
    cursor.beginEditBlock(); // one layout update for the whole piece
    cursor.insertText(piece);
    cursor.endEditBlock();
    if (atEnd) bar.setValue(bar.maximum());
    return true;
}

void LogView::Finish() {
    filling_ = false;
    pending_ = QByteArray(); // lets go of the log's text
    const QStringList appended = std::exchange(appended_, {});
    for (const QString& line : appended)
        memo_.appendPlainText(line);
    QScrollBar& bar = *memo_.verticalScrollBar();
    if (bar.value() >= bar.maximum()) {
        memo_.moveCursor(QTextCursor::End);
        bar.setValue(bar.maximum());
    }
}
