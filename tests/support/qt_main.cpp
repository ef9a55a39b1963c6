// Test programs run inside a QApplication (offscreen platform in CI) so that
// widget, timer and socket tests see a real event loop.
#include "common/desktop.h"

#include <QApplication>
#include <clocale>
#include <cstdlib>
#include <gtest/gtest.h>

int main(int argc, char **argv)
{
    if (!std::getenv("QT_QPA_PLATFORM")) setenv("QT_QPA_PLATFORM", "offscreen", 1);
    QApplication app(argc, argv);
    QApplication::setApplicationName("Marrowick");
    std::setlocale(LC_NUMERIC, "C");
    // The windows' font names map to the installed fonts as in the programs.
    fm::MapFonts();
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
