// SPDX-License-Identifier: GPL-3.0-or-later
#include "viewer/ViewerActions.h"

#include <QActionGroup>
#include <QMainWindow>
#include <QMenuBar>
#include <QStyle>
#include <QToolBar>

ViewerActions BuildViewerActions(QMainWindow& window) {
    ViewerActions actions;
    QMenu* file = window.menuBar()->addMenu(QStringLiteral("&File"));
    actions.file = file;
    actions.openFolder = file->addAction(QStringLiteral("Open &Folder\u2026"));
    actions.openFolder->setShortcut(QKeySequence::Open);
    actions.openFiles = file->addAction(QStringLiteral("Open F&iles\u2026"));
    file->addSeparator();
    actions.exportShown = file->addAction(QStringLiteral("&Export\u2026"));
    actions.exportShown->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_E));
    actions.nightFigures = file->addAction(QStringLiteral("Export &Nightly Figures\u2026"));
    actions.skyglow = file->addAction(QStringLiteral("Export for the &Skyglow Archive\u2026"));
    actions.jellyfish = file->addAction(QStringLiteral("Export &Jellyfish\u2026"));
    actions.jellyfish->setToolTip(QStringLiteral(
        "The sky brightness of a month's or a year's minutes against the time of night"));
    file->addSeparator();
    file->addAction(QStringLiteral("&Quit"), QKeySequence::Quit, &window, &QWidget::close);

    QMenu* view = window.menuBar()->addMenu(QStringLiteral("&View"));
    actions.view = view;
    QToolBar* tools = window.addToolBar(QStringLiteral("Span"));
    tools->setMovable(false);
    tools->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    auto* group = new QActionGroup(&window);
    const char* const names[] = {"&Day", "&Night", "&Week", "&Year"};
    for (int i = 0; i < 4; ++i) {
        QAction* action = view->addAction(QString::fromLatin1(names[i]));
        action->setCheckable(true);
        group->addAction(action);
        tools->addAction(action);
        actions.kinds[i] = action;
    }
    view->addSeparator();
    tools->addSeparator();
    actions.previous = view->addAction(QStringLiteral("&Previous"));
    actions.previous->setShortcut(QKeySequence(Qt::Key_PageUp));
    actions.previous->setIcon(window.style()->standardIcon(QStyle::SP_ArrowLeft));
    actions.previous->setToolTip(QStringLiteral("The span before (Page Up)"));
    actions.next = view->addAction(QStringLiteral("Ne&xt"));
    actions.next->setShortcut(QKeySequence(Qt::Key_PageDown));
    actions.next->setIcon(window.style()->standardIcon(QStyle::SP_ArrowRight));
    actions.next->setToolTip(QStringLiteral("The span after (Page Down)"));
    tools->addAction(actions.previous);
    tools->addAction(actions.next);
    tools->addSeparator();
    view->addSeparator();
    actions.logarithmic = view->addAction(QStringLiteral("&Logarithmic Counts"));
    actions.logarithmic->setCheckable(true);
    actions.logarithmic->setChecked(true);
    actions.logarithmic->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_L));
    actions.magnitude = view->addAction(QStringLiteral("&Magnitude"));
    actions.magnitude->setCheckable(true);
    actions.magnitude->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_M));
    actions.magnitude->setToolTip(
        QStringLiteral("Sky brightness in mag/arcsec\u00B2 (needs zero_point in station.conf)"));
    actions.limitingMagnitude = view->addAction(QStringLiteral("Limiting Ma&gnitude"));
    actions.limitingMagnitude->setCheckable(true);
    actions.limitingMagnitude->setShortcut(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_M));
    actions.limitingMagnitude->setToolTip(
        QStringLiteral("The naked-eye limiting magnitude of the sky brightness (needs "
                       "zero_point in station.conf)"));
    auto* values = new QActionGroup(&window);
    values->setExclusionPolicy(QActionGroup::ExclusionPolicy::ExclusiveOptional);
    values->addAction(actions.magnitude);
    values->addAction(actions.limitingMagnitude);
    actions.conditions = view->addAction(QStringLiteral("Sky &Conditions"));
    actions.conditions->setCheckable(true);
    actions.conditions->setChecked(true);
    actions.conditions->setToolTip(QStringLiteral(
        "A strip of every minute's condition under the counts (needs the station's position)"));
    actions.clearOnly = view->addAction(QStringLiteral("Year: Clear Dark Minutes &Only"));
    actions.clearOnly->setCheckable(true);
    actions.clearOnly->setToolTip(QStringLiteral("The Year view keeps the clear, dark, moonless "
                                                 "minutes only (needs the station's position)"));
    // Lines that fill only part of the span (a station started today) fill the picture.
    actions.fitLines = view->addAction(QStringLiteral("&Fit Time to Lines"));
    actions.fitLines->setCheckable(true);
    actions.fitLines->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_F));
    actions.wholeSpan = view->addAction(QStringLiteral("W&hole Span"));
    actions.wholeSpan->setShortcut(QKeySequence(Qt::Key_Home));
    tools->addAction(actions.logarithmic);
    tools->addAction(actions.wholeSpan);
    return actions;
}
