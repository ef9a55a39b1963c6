#include "common/form.h"

#include <QKeyEvent>
#include <QScreen>

namespace fm {

void TModalForm::keyPressEvent(QKeyEvent *event)
{
    if (keys_ == Keys::EscAndEnterPressNothing) {
        switch (event->key()) {
        case Qt::Key_Escape:
        case Qt::Key_Enter:
        case Qt::Key_Return:
            event->accept();
            return;
        default:
            break;
        }
    }
    QDialog::keyPressEvent(event);
}

void TModalForm::showEvent(QShowEvent *event)
{
    QDialog::showEvent(event);
    if (QScreen *s = screen()) {
        QRect frame = frameGeometry();
        frame.moveCenter(s->availableGeometry().center());
        move(frame.topLeft());
    }
}

} // namespace fm
