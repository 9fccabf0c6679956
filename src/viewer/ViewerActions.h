// SPDX-License-Identifier: GPL-3.0-or-later
// The viewer's menus and toolbar: the File menu (open, export, quit) and the View menu
// (the four spans, previous and next, the counts' scale or the magnitudes, the sky's
// conditions, the Year view's clear minutes, fitting the time to the lines),
// with their texts, shortcuts and icons. Building them connects nothing but Quit: the
// window says what each action does.
#pragma once

class QAction;
class QMainWindow;
class QMenu;

struct ViewerActions {
    QAction* openFolder = nullptr;
    QAction* openFiles = nullptr;
    QAction* exportShown = nullptr;
    QAction* nightFigures = nullptr;
    QAction* skyglow = nullptr;
    QAction* jellyfish = nullptr;
    QAction* kinds[4] = {}; // day, night, week, year: checkable, one at a time
    QAction* previous = nullptr;
    QAction* next = nullptr;
    QAction* logarithmic = nullptr; // checked at the start
    QAction* magnitude = nullptr;
    QAction* limitingMagnitude = nullptr; // one of the two magnitudes, or neither: counts
    QAction* conditions = nullptr;        // the strip of the sky's conditions, checked at the start
    QAction* clearOnly = nullptr;         // the Year view's clear dark minutes only
    QAction* fitLines = nullptr;
    QAction* wholeSpan = nullptr;
    QMenu* file = nullptr;
    QMenu* view = nullptr;
};

// Adds the menus to the window's menu bar and a toolbar "Span".
ViewerActions BuildViewerActions(QMainWindow& window);
