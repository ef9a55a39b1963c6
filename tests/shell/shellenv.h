#pragma once
// A working folder, a private registry hive, scripted message boxes and the
// data module for the window tests of the shell.
#include "common/datetime.h"
#include "platform/paths.h"
#include "session/C101B00.h"
#include "shell/DMModule.h"
#include "shell/Main.h"
#include "support/testutil.h"

#include <QApplication>
#include <QPushButton>
#include <gtest/gtest.h>
#include <unistd.h>

class ShellEnv : public ::testing::Test {
protected:
    fmtest::TempDir dir;
    fmtest::ScopedHive hive;
    fmtest::ScriptedBoxes boxes;

    void SetUp() override
    {
        // A closed main window must not end the test program's event loop.
        QApplication::setQuitOnLastWindowClosed(false);
        savedDMLib_ = fm::DMLib;
        const std::string cwd = fm::CurrentFolder();
        ASSERT_EQ(::chdir(dir.path().c_str()), 0);
        fm::DMLib = new fm::TDMLib;
        ASSERT_EQ(::chdir(cwd.c_str()), 0);
        boxes.clear();
        fm::TFrmMain::SetCommWindowFactory(
            [](QWidget *parent) -> QWidget * { return fm::CreateFrmC101B00(parent); });
    }

    void TearDown() override
    {
        fm::TFrmMain::SetCommWindowFactory(nullptr);
        fm::SetClockForTesting(nullptr);
        delete fm::DMLib;
        fm::DMLib = savedDMLib_;
    }

    // Marks a communication window as logged in or offline, as the log-in
    // answer and the end of a connection set its buttons.
    static void setLoggedIn(fm::TFrmC101B00 *w, bool on)
    {
        w->BBtnConn->setVisible(!on);
        w->BBtnDisConn->setVisible(on);
    }

private:
    fm::TDMLib *savedDMLib_ = nullptr;
};
