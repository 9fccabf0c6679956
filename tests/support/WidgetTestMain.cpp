// SPDX-License-Identifier: GPL-3.0-or-later
// The main of the GoogleTest programs that show widgets: one QApplication for the whole
// program, on the offscreen platform unless the environment chooses another.
#include <QApplication>

#include <gtest/gtest.h>

int main(int argc, char** argv) {
    // Widget tests never need a display.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
