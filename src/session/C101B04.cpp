#include "session/C101B04.h"

#include "common/codec.h"
#include "common/errors.h"
#include "common/guard.h"
#include "session/TransferRules.h"

#include <QFrame>
#include <QHBoxLayout>
#include <QPushButton>
#include <QTextEdit>
#include <QVBoxLayout>

#include <fstream>
#include <iterator>

namespace fm {

TFrmC101B04::TFrmC101B04(QWidget *parent) : QDialog(parent)
{
    setObjectName("FrmC101B04");
    setWindowTitle(QString::fromUtf8("공지사항"));
    resize(628, 482);
    QFont f(QString::fromUtf8("굴림"));
    f.setPixelSize(12);
    setFont(f);

    auto *outer = new QVBoxLayout(this);
    outer->setContentsMargins(0, 0, 0, 0);
    outer->setSpacing(0);

    REdtMemo = new QTextEdit(this);
    REdtMemo->setObjectName("REdtMemo");
    REdtMemo->setAcceptRichText(false);
    // Read-only: typing does not change the notice, and a click past the
    // blanks that fill its last block does not put an editing cursor there
    // (which scrolled the text out of view).
    REdtMemo->setReadOnly(true);
    REdtMemo->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    REdtMemo->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    REdtMemo->setLineWrapMode(QTextEdit::NoWrap);
    QFont memoFont(QString::fromUtf8("굴림"));
    memoFont.setPointSize(9);
    REdtMemo->setFont(memoFont);
    outer->addWidget(REdtMemo, 1);

    Panel1 = new QFrame(this);
    Panel1->setObjectName("Panel1");
    Panel1->setFrameStyle(QFrame::Panel | QFrame::Raised);
    Panel1->setFixedHeight(39);
    auto *bottom = new QHBoxLayout(Panel1);
    bottom->setContentsMargins(0, 7, 12, 7);
    bottom->addStretch(1);
    BBtnConfi = new QPushButton(QString::fromUtf8("닫기"), Panel1);
    BBtnConfi->setObjectName("BBtnConfi");
    BBtnConfi->setFixedSize(75, 25);
    BBtnConfi->setAutoDefault(false);
    bottom->addWidget(BBtnConfi);
    outer->addWidget(Panel1);

    Bind(BBtnConfi, &QPushButton::clicked, this, [this] { BBtnConfiClick(); });
}

void TFrmC101B04::LoadFromFile(const std::string &nativePath)
{
    std::ifstream in(nativePath, std::ios::binary);
    if (!in) throw InOutError(Format("Cannot open file \"%s\"", nativePath));
    std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (in.bad()) throw InOutError(Format("Read error in \"%s\"", nativePath));
    ShowNoticeText(bytes);
}

void TFrmC101B04::ShowNoticeText(const std::string &cp949)
{
    REdtMemo->setPlainText(ToQ(IsRichText(cp949) ? RtfToPlain(cp949) : cp949));
}

void TFrmC101B04::BBtnConfiClick() { close(); }

} // namespace fm
