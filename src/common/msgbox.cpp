#include "common/msgbox.h"

#include <QApplication>
#include <QFileInfo>
#include <QMessageBox>

namespace fm {
namespace {
MsgBoxHandler g_handler;

QMessageBox::Icon toQt(MsgIcon icon)
{
    switch (icon) {
    case MsgIcon::Information: return QMessageBox::Information;
    case MsgIcon::Warning: return QMessageBox::Warning;
    case MsgIcon::Error: return QMessageBox::Critical;
    case MsgIcon::Question: return QMessageBox::Question;
    case MsgIcon::None: break;
    }
    return QMessageBox::NoIcon;
}
} // namespace

void SetMessageBoxHandler(MsgBoxHandler handler) { g_handler = std::move(handler); }

QString ApplicationTitle()
{
    QString name = QCoreApplication::applicationName();
    if (name.isEmpty()) name = QFileInfo(QCoreApplication::applicationFilePath()).baseName();
    return name;
}

int MessageBox(const QString &text, const QString &caption, MsgIcon icon, MsgButtons buttons)
{
    if (g_handler) return g_handler(ShownBox{text, caption, icon, buttons});

    QMessageBox box(toQt(icon), caption, text, QMessageBox::NoButton, QApplication::activeWindow());
    switch (buttons) {
    case MsgButtons::Ok: box.setStandardButtons(QMessageBox::Ok); break;
    case MsgButtons::OkCancel: box.setStandardButtons(QMessageBox::Ok | QMessageBox::Cancel); break;
    case MsgButtons::YesNo: box.setStandardButtons(QMessageBox::Yes | QMessageBox::No); break;
    case MsgButtons::YesNoCancel:
        box.setStandardButtons(QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel);
        break;
    }
    switch (box.exec()) {
    case QMessageBox::Ok: return mrOk;
    case QMessageBox::Yes: return mrYes;
    case QMessageBox::No: return mrNo;
    case QMessageBox::Cancel: return mrCancel;
    default: return buttons == MsgButtons::YesNo ? mrNo : mrCancel;
    }
}

void ShowMessage(const QString &text) { MessageBox(text, ApplicationTitle(), MsgIcon::None); }

} // namespace fm
