#include "LogView.h"

#include <QPlainTextEdit>
#include <QScrollBar>

LogView::LogView(QPlainTextEdit& memo)
    : memo_(memo) {
    // A day holds 86,400 lines: keep them all, and keep no undo history of them.
    memo_.setReadOnly(true);
    memo_.setUndoRedoEnabled(false);
    memo_.setMaximumBlockCount(0);
}

void LogView::LineAppended(const QString& line) {
    // Appending follows the end only when the view is already showing it, so a user
    // reading earlier lines is not pulled away each second.
    memo_.appendPlainText(line);
}

void LogView::Emptied() {
    memo_.clear();
}

void LogView::Loaded(const QString& text) {
    QString lines = text;
    lines.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    lines.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    // Each line is its own paragraph; a final line break would show as an empty last one.
    if (lines.endsWith(QLatin1Char('\n'))) lines.chop(1);
    memo_.setPlainText(lines);
    memo_.moveCursor(QTextCursor::End);
    memo_.verticalScrollBar()->setValue(memo_.verticalScrollBar()->maximum());
}
