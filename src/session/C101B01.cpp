#include "session/C101B01.h"

#include "common/guard.h"
#include "common/widgets.h"
#include "platform/StringGrid.h"

#include <QFrame>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <QValidator>
#include <QVBoxLayout>

namespace fm {

namespace {

// Turns letters into capitals as they are typed (or pasted).
class UpperCaseValidator : public QValidator {
public:
    using QValidator::QValidator;
    State validate(QString &input, int &) const override
    {
        for (QChar &c : input)
            if (c.isLower()) {
                const QChar up = c.toUpper();
                if (up != c) c = up;
            }
        return Acceptable;
    }
};

QLabel *labelPanel(QWidget *parent, const char *name, const char *caption)
{
    QLabel *l = MakeLabelPanel(parent, name, caption);
    l->setFixedSize(70, 22);
    return l;
}

} // namespace

TFrmC101B01::TFrmC101B01(QWidget *parent) : TModalForm(parent, Keys::Default)
{
    setObjectName("FrmC101B01");
    setWindowTitle(QString::fromUtf8("로그인"));
    QFont f(QString::fromUtf8("굴림"));
    f.setPixelSize(12);
    setFont(f);

    auto *outer = new QVBoxLayout(this);
    outer->setContentsMargins(0, 0, 0, 0);
    Panel1 = new QFrame(this);
    Panel1->setObjectName("Panel1");
    Panel1->setFrameStyle(QFrame::Panel | QFrame::Raised);
    outer->addWidget(Panel1);

    auto *inner = new QVBoxLayout(Panel1);
    inner->setContentsMargins(10, 10, 10, 10);
    Panel2 = new QFrame(Panel1);
    Panel2->setObjectName("Panel2");
    Panel2->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    inner->addWidget(Panel2);

    auto *rows = new QGridLayout(Panel2);
    rows->setContentsMargins(8, 8, 8, 8);
    PnlCompCd = labelPanel(Panel2, "PnlCompCd", "업체코드");
    EdtCompCd = new QLineEdit(Panel2);
    EdtCompCd->setObjectName("EdtCompCd");
    EdtCompCd->setMaxLength(4);
    EdtCompCd->setValidator(new UpperCaseValidator(EdtCompCd));
    PnlPswd = labelPanel(Panel2, "PnlPswd", "비밀번호");
    EdtPswd = new QLineEdit(Panel2);
    EdtPswd->setObjectName("EdtPswd");
    EdtPswd->setMaxLength(6);
    EdtPswd->setEchoMode(QLineEdit::Password);
    EdtPswd->setStyleSheet("lineedit-password-character: 42");
    rows->addWidget(PnlCompCd, 0, 0);
    rows->addWidget(EdtCompCd, 0, 1);
    rows->addWidget(PnlPswd, 1, 0);
    rows->addWidget(EdtPswd, 1, 1);

    auto *buttons = new QHBoxLayout;
    buttons->addStretch(1);
    BBtnConfi = new QPushButton(QString::fromUtf8("확인"), Panel1);
    BBtnConfi->setObjectName("BBtnConfi");
    BBtnCncl = new QPushButton(QString::fromUtf8("취소"), Panel1);
    BBtnCncl->setObjectName("BBtnCncl");
    for (QPushButton *b : {BBtnConfi, BBtnCncl}) {
        // Enter belongs to the edits, not to a default button.
        b->setAutoDefault(false);
        b->setDefault(false);
        b->setFixedSize(75, 25);
        buttons->addWidget(b);
    }
    inner->addLayout(buttons);

    setTabOrder(EdtCompCd, EdtPswd);
    setTabOrder(EdtPswd, BBtnConfi);
    setTabOrder(BBtnConfi, BBtnCncl);
    EdtCompCd->setFocus();

    EdtCompCd->installEventFilter(this);
    EdtPswd->installEventFilter(this);
    Bind(BBtnConfi, &QPushButton::clicked, this, [this] { BBtnConfiClick(); });
    Bind(BBtnCncl, &QPushButton::clicked, this, [this] { BBtnCnclClick(); });
}

void TFrmC101B01::EdtCompCdKeyDown(int key, unsigned)
{
    if (key == VK_RETURN) EdtPswd->setFocus();
}

void TFrmC101B01::EdtPswdKeyDown(int key, unsigned)
{
    if (key == VK_RETURN) BBtnConfiClick();
}

void TFrmC101B01::BBtnConfiClick() { done(QDialog::Accepted); }

void TFrmC101B01::BBtnCnclClick() { done(QDialog::Rejected); }

bool TFrmC101B01::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() == QEvent::KeyPress && (watched == EdtCompCd || watched == EdtPswd)) {
        auto *ke = static_cast<QKeyEvent *>(event);
        const int key = KeyCodeOf(ke->key());
        const TShiftState shift = ShiftStateOf(ke->modifiers());
        Guarded([&] {
            if (watched == EdtCompCd)
                EdtCompCdKeyDown(key, shift);
            else
                EdtPswdKeyDown(key, shift);
        });
        // Enter has been handled; the dialog must not take it again.
        return key == VK_RETURN;
    }
    return QDialog::eventFilter(watched, event);
}

void TFrmC101B01::keyPressEvent(QKeyEvent *event)
{
    // Esc presses the cancel button.
    if (event->key() == Qt::Key_Escape && event->modifiers() == Qt::NoModifier) {
        Guarded([&] { BBtnCnclClick(); });
        return;
    }
    TModalForm::keyPressEvent(event);
}

} // namespace fm
