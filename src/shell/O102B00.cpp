#include "shell/O102B00.h"

#include "common/codec.h"
#include "common/guard.h"
#include "common/regnames.h"
#include "common/widgets.h"
#include "platform/registry.h"

#include <QFrame>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>

namespace fm {

QPointer<TFrmO102B00> FrmO102B00;

namespace {

QLabel *labelPanel(QWidget *parent, const char *name, const char *caption, const QRect &geometry)
{
    QLabel *l = MakeLabelPanel(parent, name, caption);
    l->setGeometry(geometry);
    return l;
}

QLineEdit *edit(QWidget *parent, const char *name, const QRect &geometry)
{
    QLineEdit *e = MakeEdit(parent, name);
    e->setGeometry(geometry);
    return e;
}

QPushButton *button(QWidget *parent, const char *name, const char *caption, const QRect &geometry)
{
    QPushButton *b = MakeButton(parent, name, caption, false);
    b->setGeometry(geometry);
    return b;
}

} // namespace

TFrmO102B00::TFrmO102B00(QWidget *parent) : TModalForm(parent)
{
    setObjectName("FrmO102B00");
    setWindowTitle(QString::fromUtf8("통신환경설정"));
    setFont(QFont(QString::fromUtf8("굴림"), 9));
    setFixedSize(329, 168);
    setWindowFlags(windowFlags() & ~Qt::WindowContextHelpButtonHint);

    PnlBack = new QFrame(this);
    PnlBack->setObjectName("PnlBack");
    PnlBack->setFrameStyle(QFrame::Panel | QFrame::Raised);
    PnlBack->setGeometry(0, 0, 329, 168);

    PnlPswd = new QFrame(PnlBack);
    PnlPswd->setObjectName("PnlPswd");
    PnlPswd->setFrameStyle(QFrame::Box | QFrame::Sunken);
    PnlPswd->setGeometry(17, 17, 295, 86);

    // "주      소": six blanks between the two syllables.
    PnlCurrPswd = labelPanel(PnlPswd, "PnlCurrPswd", "주      소", QRect(14, 16, 120, 20));
    EdtAddress = edit(PnlPswd, "EdtAddress", QRect(142, 16, 137, 20));
    PnlUpdtPswd = labelPanel(PnlPswd, "PnlUpdtPswd", "포트번호", QRect(14, 50, 120, 20));
    EdtPortNo = edit(PnlPswd, "EdtPortNo", QRect(142, 50, 137, 20));

    BBtnConfi = button(PnlBack, "BBtnConfi", "확인", QRect(85, 122, 75, 25));
    BBtnCncl = button(PnlBack, "BBtnCncl", "취소", QRect(169, 122, 75, 25));

    setTabOrder(EdtAddress, EdtPortNo);
    setTabOrder(EdtPortNo, BBtnConfi);
    setTabOrder(BBtnConfi, BBtnCncl);
    EdtAddress->setFocus();

    Bind(BBtnConfi, &QPushButton::clicked, this, [this] { BBtnConfiClick(); });
    Bind(BBtnCncl, &QPushButton::clicked, this, [this] { BBtnCnclClick(); });

    Guarded([this] { FormCreate(); });
}

TFrmO102B00::~TFrmO102B00() = default;

void TFrmO102B00::FormCreate()
{
    TRegistry reg;
    TKeyCloser closer{reg};
    if (reg.OpenKey(reg::CommunicationKey(), false)) {
        EdtAddress->setText(ToQ(reg.ReadString(reg::kAddress)));
        EdtPortNo->setText(ToQ(reg.ReadString(reg::kPortNo)));
    } else {
        // First opening: the key gets its defaults; the edits stay empty.
        reg.OpenKey(reg::CommunicationKey(), true);
        reg.WriteString(reg::kAddress, kDefaultHostAddress);
        reg.WriteString(reg::kPortNo, kDefaultHostPort);
    }
}

void TFrmO102B00::BBtnConfiClick()
{
    {
        TRegistry reg;
        TKeyCloser closer{reg};
        reg.OpenKey(reg::CommunicationKey(), false); // a failure shows up in the writes
        // Written exactly as typed: no trimming, no check.
        reg.WriteString(reg::kAddress, FromQ(EdtAddress->text()));
        reg.WriteString(reg::kPortNo, FromQ(EdtPortNo->text()));
    }
    accept();
}

void TFrmO102B00::BBtnCnclClick() { reject(); }

} // namespace fm
