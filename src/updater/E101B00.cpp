#include "updater/E101B00.h"

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
#include <QTabWidget>
#include <QVBoxLayout>

#include <algorithm>

namespace fm::upd {

namespace {

QFrame *backPanel(QWidget *page, const char *name)
{
    auto *p = new QFrame(page);
    p->setObjectName(name);
    p->setFrameStyle(QFrame::Panel | QFrame::Raised);
    p->setLineWidth(1);
    p->setContentsMargins(5, 5, 5, 5);
    return p;
}

QFrame *fieldBox(QWidget *parent, const char *name, const QRect &geometry)
{
    auto *p = new QFrame(parent);
    p->setObjectName(name);
    p->setFrameStyle(QFrame::Box | QFrame::Sunken);
    p->setGeometry(geometry);
    return p;
}

QLabel *labelPanel(QWidget *parent, const char *name, const char *caption, int top)
{
    QLabel *l = MakeLabelPanel(parent, name, caption);
    l->setGeometry(24, top, 120, 20);
    return l;
}

QLineEdit *edit(QWidget *parent, const char *name, int top)
{
    QLineEdit *e = MakeEdit(parent, name);
    e->setGeometry(145, top, 137, 20);
    return e;
}

QPushButton *button(QWidget *parent, const char *name, const char *caption, int left, int top)
{
    QPushButton *b = MakeButton(parent, name, caption, false);
    b->setGeometry(left, top, 75, 25);
    return b;
}

} // namespace

TFrmE101B00::TFrmE101B00(QWidget *parent) : TModalForm(parent)
{
    setObjectName("FrmE101B00");
    setWindowTitle(U("통신설정"));
    QFont f(U("굴림"));
    f.setPixelSize(12);
    setFont(f);
    setWindowFlags(windowFlags() & ~Qt::WindowContextHelpButtonHint);
    resize(343, 248);

    PageControl1 = new QTabWidget(this);
    PageControl1->setObjectName("PageControl1");

    // Page 1: the service host.
    TabSheet1 = new QWidget;
    TabSheet1->setObjectName("TabSheet1");
    PnlBack = backPanel(TabSheet1, "PnlBack");
    PnlPswd = fieldBox(PnlBack, "PnlPswd", QRect(12, 16, 304, 100));
    PnlCurrPswd = labelPanel(PnlPswd, "PnlCurrPswd", "주      소", 24);
    EdtAddress1 = edit(PnlPswd, "EdtAddress1", 24);
    PnlUpdtPswd = labelPanel(PnlPswd, "PnlUpdtPswd", "포트번호", 55);
    EdtPortNo1 = edit(PnlPswd, "EdtPortNo1", 55);
    BBtnConfi1 = button(PnlBack, "BBtnConfi1", "확인", 160, 126);
    BBtnCncl1 = button(PnlBack, "BBtnCncl1", "취소", 240, 126);

    // Page 2: the update server.
    TabSheet2 = new QWidget;
    TabSheet2->setObjectName("TabSheet2");
    Panel1 = backPanel(TabSheet2, "Panel1");
    Panel2 = fieldBox(Panel1, "Panel2", QRect(12, 16, 304, 132));
    Panel3 = labelPanel(Panel2, "Panel3", "주      소", 11);
    EdtAddress2 = edit(Panel2, "EdtAddress2", 11);
    Panel4 = labelPanel(Panel2, "Panel4", "포트번호", 42);
    EdtPortNo2 = edit(Panel2, "EdtPortNo2", 42);
    BBtnConfi2 = button(Panel1, "BBtnConfi2", "확인", 160, 158);
    BBtnCncl2 = button(Panel1, "BBtnCncl2", "취소", 240, 158);
    Panel5 = labelPanel(Panel2, "Panel5", "아 이 디", 71);
    edtid = edit(Panel2, "edtid", 71);
    Panel6 = labelPanel(Panel2, "Panel6", "비밀번호", 102);
    edtPassword = edit(Panel2, "edtPassword", 102);
    edtPassword->setEchoMode(QLineEdit::Password);
    edtPassword->setStyleSheet(QStringLiteral("lineedit-password-character: 42")); // "*"
    // The user types at most 8 characters; a longer stored password is
    // shown whole and can only be shortened.
    edtPassword->setMaxLength(kPasswordMaxLength);
    Bind(edtPassword, &QLineEdit::textEdited, this, [this](const QString &t) {
        edtPassword->setMaxLength(std::max(kPasswordMaxLength, int(t.size())));
    });

    PageControl1->addTab(TabSheet1, U("서비스"));
    PageControl1->addTab(TabSheet2, U("다운로드"));
    PageControl1->setCurrentIndex(0);

    // The page control fills the window, and each frame panel its page.
    auto fill = [](QWidget *outer, QWidget *inner) {
        auto *layout = new QVBoxLayout(outer);
        layout->setContentsMargins(0, 0, 0, 0);
        layout->addWidget(inner);
    };
    fill(this, PageControl1);
    fill(TabSheet1, PnlBack);
    fill(TabSheet2, Panel1);

    setTabOrder(EdtAddress1, EdtPortNo1);
    setTabOrder(EdtPortNo1, BBtnConfi1);
    setTabOrder(BBtnConfi1, BBtnCncl1);
    setTabOrder(EdtAddress2, EdtPortNo2);
    setTabOrder(EdtPortNo2, edtid);
    setTabOrder(edtid, edtPassword);
    setTabOrder(edtPassword, BBtnConfi2);
    setTabOrder(BBtnConfi2, BBtnCncl2);
    EdtAddress1->setFocus();

    Bind(BBtnConfi1, &QPushButton::clicked, this, [this] { BBtnConfi1Click(); });
    Bind(BBtnConfi2, &QPushButton::clicked, this, [this] { BBtnConfi2Click(); });
    Bind(BBtnCncl1, &QPushButton::clicked, this, [this] { BBtnCncl1Click(); });
    Bind(BBtnCncl2, &QPushButton::clicked, this, [this] { BBtnCncl2Click(); });

    Guarded([this] { FormCreate(); });
}

TFrmE101B00::~TFrmE101B00() = default;

void TFrmE101B00::FormCreate()
{
    TRegistry reg;
    TKeyCloser closer{reg};
    // Neither key is created here; one that does not open leaves its page
    // empty.
    if (reg.OpenKey(reg::CommunicationKey(), false)) {
        EdtPortNo1->setText(ToQ(reg.ReadString(reg::kPortNo)));
        EdtAddress1->setText(ToQ(reg.ReadString(reg::kAddress)));
    }
    reg.CloseKey();
    if (reg.OpenKey(reg::FtpKey(), false)) {
        EdtPortNo2->setText(ToQ(reg.ReadString(reg::kPortNo)));
        EdtAddress2->setText(ToQ(reg.ReadString(reg::kAddress)));
        edtid->setText(ToQ(reg.ReadString(reg::kLoginNm)));
        const QString password = ToQ(reg.ReadString(reg::kPasswd));
        edtPassword->setMaxLength(std::max(kPasswordMaxLength, int(password.size())));
        edtPassword->setText(password);
    }
}

void TFrmE101B00::writeSettings()
{
    {
        TRegistry reg;
        TKeyCloser closer{reg};
        reg.OpenKey(reg::CommunicationKey(), false); // a failure shows up in the writes
        reg.WriteString(reg::kAddress, FromQ(EdtAddress1->text()));
        reg.WriteString(reg::kPortNo, FromQ(EdtPortNo1->text()));
    }
    {
        TRegistry reg;
        TKeyCloser closer{reg};
        reg.OpenKey(reg::FtpKey(), false);
        reg.WriteString(reg::kAddress, FromQ(EdtAddress2->text()));
        reg.WriteString(reg::kPortNo, FromQ(EdtPortNo2->text()));
        reg.WriteString(reg::kLoginNm, FromQ(edtid->text()));
        reg.WriteString(reg::kPasswd, FromQ(edtPassword->text()));
    }
    accept();
}

void TFrmE101B00::BBtnConfi1Click() { writeSettings(); }
void TFrmE101B00::BBtnConfi2Click() { writeSettings(); }
void TFrmE101B00::BBtnCncl1Click() { reject(); }
void TFrmE101B00::BBtnCncl2Click() { reject(); }

} // namespace fm::upd
