// Quenbrook's start-up: the application object, then the version window as
// the main form; the message loop runs until it has closed. The program
// reads no command line and no configuration file.
#include "updater/UpdaterMain.h"

#include "common/desktop.h"

#include <QApplication>
#include <QPointer>

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    QApplication::setApplicationName("Quenbrook");
    // Korean fonts, texts, numbers and dates whatever the machine's locale.
    fm::SetUpKoreanDesktop(QChar(u'Q'), QColor(0x2e, 0x8b, 0x57));

    QPointer<fm::upd::TFrmVersion> form = new fm::upd::TFrmVersion;
    form->show();
    const int rc = QApplication::exec();
    delete form.data(); // closing frees it; still there when the loop ended otherwise
    return rc;
}
