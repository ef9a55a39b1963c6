#include "session/C101B00.h"

#include "common/guard.h"
#include "common/msgbox.h"

#include <QCloseEvent>
#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QMdiSubWindow>
#include <QPushButton>
#include <QVBoxLayout>

namespace fm {

QPointer<TFrmC101B00> FrmC101B00;

TFrmC101B00 *CreateFrmC101B00(QWidget *parent)
{
    auto *window = new TFrmC101B00(parent);
    FrmC101B00 = window;
    return window;
}

namespace {

QPushButton *button(QWidget *parent, const char *name, const char *caption)
{
    auto *b = new QPushButton(QString::fromUtf8(caption), parent);
    b->setObjectName(name);
    b->setFixedSize(75, 25);
    b->setAutoDefault(false);
    return b;
}

} // namespace

TFrmC101B00::TFrmC101B00(QWidget *parent) : QWidget(parent)
{
    setObjectName("FrmC101B00");
    setWindowTitle(QString::fromUtf8("통신"));
    QFont f(QString::fromUtf8("굴림"));
    f.setPixelSize(12);
    setFont(f);

    auto *outer = new QVBoxLayout(this);
    outer->setContentsMargins(0, 0, 0, 0);
    PnlBack = new QFrame(this);
    PnlBack->setObjectName("PnlBack");
    PnlBack->setFrameStyle(QFrame::Panel | QFrame::Raised);
    outer->addWidget(PnlBack);

    auto *back = new QVBoxLayout(PnlBack);
    back->setContentsMargins(5, 5, 5, 5);
    back->setSpacing(0);
    auto *upper = new QHBoxLayout;
    upper->setSpacing(0);
    back->addLayout(upper, 1);

    PnlList = new QFrame(PnlBack);
    PnlList->setObjectName("PnlList");
    PnlList->setFrameStyle(QFrame::Panel | QFrame::Raised);
    upper->addWidget(PnlList, 1);

    PnlBtn = new QFrame(PnlBack);
    PnlBtn->setObjectName("PnlBtn");
    PnlBtn->setFrameStyle(QFrame::Panel | QFrame::Raised);
    PnlBtn->setFixedWidth(91);
    upper->addWidget(PnlBtn);

    PnlStatus = new QLabel(PnlBack);
    PnlStatus->setObjectName("PnlStatus");
    PnlStatus->setFrameStyle(QFrame::Panel | QFrame::Raised);
    PnlStatus->setFixedHeight(30);
    PnlStatus->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    QFont bold(QString::fromUtf8("굴림체"));
    bold.setPixelSize(12);
    bold.setBold(true);
    PnlStatus->setFont(bold);
    back->addWidget(PnlStatus);

    // "접속" and "접속종료" share one place; the shown one is the state.
    auto *buttons = new QVBoxLayout(PnlBtn);
    buttons->setContentsMargins(7, 8, 7, 8);
    BBtnDisConn = button(PnlBtn, "BBtnDisConn", "접속종료");
    BBtnConn = button(PnlBtn, "BBtnConn", "접속");
    BBtnDisConn->hide();
    buttons->addWidget(BBtnDisConn);
    buttons->addWidget(BBtnConn);
    buttons->addStretch(1);

    PnlExit = new QFrame(PnlBtn);
    PnlExit->setObjectName("PnlExit");
    PnlExit->setFixedWidth(75);
    auto *exit = new QVBoxLayout(PnlExit);
    exit->setContentsMargins(0, 0, 0, 0);
    BBtnExit = button(PnlExit, "BBtnExit", "닫기");
    exit->addWidget(BBtnExit);
    buttons->addWidget(PnlExit);

    Bind(BBtnExit, &QPushButton::clicked, this, [this] { BBtnExitClick(); });

    Guarded([this] { FormCreate(); });
}

TFrmC101B00::~TFrmC101B00() = default;

void TFrmC101B00::FormCreate()
{
    FCryptCtx = std::make_unique<unsigned char[]>(kCryptCtxSize);
}

bool TFrmC101B00::LoggedIn() const { return !BBtnDisConn->isHidden(); }

bool TFrmC101B00::FormCloseQuery()
{
    if (!LoggedIn()) return true;
    MessageBox(QString::fromUtf8("접속종료를 먼저 하십시요!!!"), QString::fromUtf8("종료에러"),
               MsgIcon::Error);
    return false;
}

void TFrmC101B00::FormClose()
{
    FCryptCtx.reset();
    // Destroyed, not hidden: with the MDI frame around it when there is one.
    if (auto *sub = qobject_cast<QMdiSubWindow *>(parentWidget())) sub->deleteLater();
    deleteLater();
}

void TFrmC101B00::BBtnExitClick()
{
    // Closing the MDI frame asks this window (closeEvent) first.
    if (auto *sub = qobject_cast<QMdiSubWindow *>(parentWidget()))
        sub->close();
    else
        close();
}

void TFrmC101B00::closeEvent(QCloseEvent *event)
{
    event->ignore();
    Guarded([&] {
        if (!FormCloseQuery()) return;
        FormClose();
        event->accept();
    });
}

} // namespace fm
