#include "session/C101B03.h"

#include "common/guard.h"
#include "common/widgets.h"

#include <QEvent>
#include <QFrame>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>

namespace fm {

namespace {

QLabel *labelPanel(QWidget *parent, const char *name, const char *caption, const QRect &geometry)
{
    QLabel *l = MakeLabelPanel(parent, name, caption);
    l->setGeometry(geometry);
    return l;
}

QLineEdit *passwordEdit(QWidget *parent, const char *name, const QRect &geometry)
{
    QLineEdit *e = MakeEdit(parent, name);
    e->setGeometry(geometry);
    e->setMaxLength(TFrmC101B03::MaxPasswordLength);
    e->setEchoMode(QLineEdit::Password);
    // Every character is shown as "*".
    e->setStyleSheet("QLineEdit { lineedit-password-character: 42; }");
    return e;
}

QPushButton *button(QWidget *parent, const char *name, const char *caption, const QRect &geometry)
{
    QPushButton *b = MakeButton(parent, name, caption, true);
    b->setGeometry(geometry);
    return b;
}

} // namespace

TFrmC101B03::TFrmC101B03(QWidget *parent) : TModalForm(parent)
{
    setObjectName("FrmC101B03");
    setWindowTitle(QString::fromUtf8("암호변경"));
    setFont(QFont(QString::fromUtf8("굴림"), 9));
    setWindowFlags(windowFlags() & ~Qt::WindowContextHelpButtonHint);
    setFixedSize(329, 202);

    PnlBack = new QFrame(this);
    PnlBack->setObjectName("PnlBack");
    PnlBack->setFrameStyle(QFrame::Panel | QFrame::Raised);
    PnlBack->setGeometry(0, 0, 329, 202);

    PnlPswd = new QFrame(PnlBack);
    PnlPswd->setObjectName("PnlPswd");
    PnlPswd->setFrameStyle(QFrame::Box | QFrame::Sunken);
    PnlPswd->setGeometry(17, 17, 295, 120);

    PnlCurrPswd = labelPanel(PnlPswd, "PnlCurrPswd", "현재비밀번호", QRect(14, 16, 120, 20));
    EdtCurrPswd = passwordEdit(PnlPswd, "EdtCurrPswd", QRect(142, 16, 137, 20));
    PnlUpdtPswd = labelPanel(PnlPswd, "PnlUpdtPswd", "변경비밀번호", QRect(14, 50, 120, 20));
    EdtUpdtPswd = passwordEdit(PnlPswd, "EdtUpdtPswd", QRect(142, 50, 137, 20));
    PnlConfiPswd = labelPanel(PnlPswd, "PnlConfiPswd", "확인비밀번호", QRect(14, 84, 120, 20));
    EdtConfiPswd = passwordEdit(PnlPswd, "EdtConfiPswd", QRect(142, 84, 137, 20));

    BBtnConfi = button(PnlBack, "BBtnConfi", "확인", QRect(85, 156, 75, 25));
    BBtnCncl = button(PnlBack, "BBtnCncl", "취소", QRect(169, 156, 75, 25));

    setTabOrder(EdtCurrPswd, EdtUpdtPswd);
    setTabOrder(EdtUpdtPswd, EdtConfiPswd);
    setTabOrder(EdtConfiPswd, BBtnConfi);
    setTabOrder(BBtnConfi, BBtnCncl);
    EdtCurrPswd->setFocus();

    for (QLineEdit *e : {EdtCurrPswd, EdtUpdtPswd, EdtConfiPswd}) e->installEventFilter(this);
    Bind(BBtnConfi, &QPushButton::clicked, this, [this] { BBtnConfiClick(); });
    Bind(BBtnCncl, &QPushButton::clicked, this, [this] { BBtnCnclClick(); });
}

TFrmC101B03::~TFrmC101B03() = default;

void TFrmC101B03::EdtCurrPswdKeyDown(int key, TShiftState)
{
    if (key == VK_RETURN) EdtUpdtPswd->setFocus();
}

void TFrmC101B03::EdtUpdtPswdKeyDown(int key, TShiftState)
{
    if (key == VK_RETURN) EdtConfiPswd->setFocus();
}

void TFrmC101B03::EdtConfiPswdKeyDown(int key, TShiftState)
{
    if (key == VK_RETURN) BBtnConfi->setFocus();
}

void TFrmC101B03::BBtnConfiClick() { accept(); }

void TFrmC101B03::BBtnCnclClick() { reject(); }

bool TFrmC101B03::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() == QEvent::KeyPress) {
        auto *ke = static_cast<QKeyEvent *>(event);
        const int key = KeyCodeOf(ke->key());
        const TShiftState shift = ShiftStateOf(ke->modifiers());
        Guarded([&] {
            if (watched == EdtCurrPswd) EdtCurrPswdKeyDown(key, shift);
            else if (watched == EdtUpdtPswd) EdtUpdtPswdKeyDown(key, shift);
            else if (watched == EdtConfiPswd) EdtConfiPswdKeyDown(key, shift);
        });
        // Enter has done its work in the edits; it presses no button there.
        if (key == VK_RETURN) return true;
    }
    return QDialog::eventFilter(watched, event);
}

} // namespace fm
