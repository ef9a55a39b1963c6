#include "common/widgets.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

namespace fm {

QLabel *MakeLabelPanel(QWidget *parent, const char *name, const char *caption)
{
    auto *l = new QLabel(U(caption), parent);
    l->setObjectName(name);
    l->setFrameStyle(QFrame::Panel | QFrame::Raised);
    l->setAlignment(Qt::AlignCenter);
    return l;
}

QLineEdit *MakeEdit(QWidget *parent, const char *name)
{
    auto *e = new QLineEdit(parent);
    e->setObjectName(name);
    return e;
}

QPushButton *MakeButton(QWidget *parent, const char *name, const char *caption, bool pressedByEnter)
{
    auto *b = new QPushButton(U(caption), parent);
    b->setObjectName(name);
    b->setAutoDefault(pressedByEnter);
    b->setDefault(false);
    return b;
}

} // namespace fm
