// Marrowick's start-up: the application object, then the data module (the
// working folder, its sub-folders, the result-code database), then the main
// window; the message loop runs until the main window has closed. The
// program reads no command line and no configuration file.
#include "common/desktop.h"
#include "common/guard.h"
#include "session/C101B00.h"
#include "shell/DMModule.h"
#include "shell/Main.h"

#include <QApplication>

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    QApplication::setApplicationName("Marrowick");
    // Korean fonts, texts, numbers and dates whatever the machine's locale.
    fm::SetUpKoreanDesktop(QChar(u'M'), QColor(0x1f, 0x5f, 0xa8));

    fm::Guarded([] { fm::DMLib = new fm::TDMLib; });

    // "연결" makes communication windows through this factory.
    fm::TFrmMain::SetCommWindowFactory(
        [](QWidget *parent) -> QWidget * { return fm::CreateFrmC101B00(parent); });

    fm::FrmMain = new fm::TFrmMain;
    fm::FrmMain->show();
    const int rc = QApplication::exec();

    delete fm::FrmMain.data();
    delete fm::DMLib;
    fm::DMLib = nullptr;
    return rc;
}
