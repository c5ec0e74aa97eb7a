// main() for the test suites that need a QApplication: windows are made on
// the offscreen platform unless another is asked for. A child's work
// (child_work.h) runs before any of it.
#include <QApplication>
#include <cstdlib>
#include <gtest/gtest.h>

#include "child_work.h"

int main(int argc, char** argv) {
    if (const int status = testing_support::run_child_work_if_asked(argc, argv); status >= 0) return status;
    ::setenv("QT_QPA_PLATFORM", "offscreen", 0);
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Zelmar"));
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
