// Test programs run inside a QApplication (offscreen platform in CI) so that
// widget, timer and socket tests see a real event loop, on the Korean desktop
// both programs set up.
#include "common/desktop.h"

#include <QApplication>
#include <QColor>
#include <clocale>
#include <cstdlib>
#include <gtest/gtest.h>

int main(int argc, char **argv)
{
    if (!std::getenv("QT_QPA_PLATFORM")) setenv("QT_QPA_PLATFORM", "offscreen", 1);
    QApplication app(argc, argv);
    QApplication::setApplicationName("Marrowick");
    std::setlocale(LC_NUMERIC, "C");
    // The desktop the programs run on: mapped fonts, Qt's Korean texts, the
    // Korean number and date rule. A test must see what the user sees.
    fm::SetUpKoreanDesktop(QChar(u'T'), QColor(0x80, 0x80, 0x80));
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
