// Entry point of every GUI test: a real QApplication on the offscreen platform.
#include "gui/GuiProps.h"
#include "net/QtSynchronizer.h"

#include <QApplication>
#include <cstdlib>
#include <gtest/gtest.h>

int main(int argc, char** argv) {
    if (!std::getenv("QT_QPA_PLATFORM"))
        setenv("QT_QPA_PLATFORM", "offscreen", 1);
    QApplication app(argc, argv);
    ocelis::RegisterGuiPropAdapters();
    // As the program does at start-up: workers hand their results over through it.
    const auto sync = ocelis::TQtSynchronizer::Install();
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
