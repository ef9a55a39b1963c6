#pragma once
// Every message box of the system goes through this one service, so that
// tests can answer the boxes and read what was shown.
#include <QString>
#include <functional>
#include <vector>

class QWidget;

namespace fm {

enum class MsgIcon { None, Information, Warning, Error, Question };
enum class MsgButtons { Ok, OkCancel, YesNo, YesNoCancel };

// Modal results, with the framework's numbering.
enum MsgResult { mrNone = 0, mrOk = 1, mrCancel = 2, mrYes = 6, mrNo = 7 };

struct ShownBox {
    QString text;
    QString caption;
    MsgIcon icon;
    MsgButtons buttons;
};

// Shows a modal box (a nested event loop: timers and sockets go on being
// handled while it is open) and returns the button pressed.
int MessageBox(const QString &text, const QString &caption, MsgIcon icon,
               MsgButtons buttons = MsgButtons::Ok);

// The plain message: OK button, no icon, the application's title as caption.
void ShowMessage(const QString &text);

// The application's title: the caption of plain messages and error boxes.
QString ApplicationTitle();

// Replaces the real boxes. The handler is called instead of showing a box and
// returns the answer. Pass nullptr to restore the real boxes.
using MsgBoxHandler = std::function<int(const ShownBox &)>;
void SetMessageBoxHandler(MsgBoxHandler handler);

} // namespace fm
