// SPDX-License-Identifier: GPL-3.0-or-later
// The main of the GoogleTest programs whose code needs Qt's event loop (timers, socket
// notifiers): one QCoreApplication for the whole program.
#include <QCoreApplication>

#include <gtest/gtest.h>

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
