#include "session/C101B02.h"

#include "common/datetime.h"
#include "common/guard.h"
#include "common/widgets.h"

#include <QButtonGroup>
#include <QDate>
#include <QDateEdit>
#include <QFrame>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QPalette>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QVBoxLayout>

#include <ctime>

namespace fm {

namespace {

const char *const kItemCaptions[TFrmC101B02::ItemCount] = {
    "이체자료 파일송신하기", "이체결과자료 파일수신받기", "송신이체자료 파일목록보기",
    "이체결과자료 파일목록보기", "공지사항 목록보기"};

QPushButton *button(QWidget *parent, const char *name, const char *caption, const QRect &geometry)
{
    QPushButton *b = MakeButton(parent, name, caption, true);
    b->setGeometry(geometry);
    return b;
}

QDateEdit *datePicker(QWidget *parent, const char *name, const QRect &geometry)
{
    auto *d = new QDateEdit(parent);
    d->setObjectName(name);
    d->setGeometry(geometry);
    d->setCalendarPopup(true);
    // The form of the lists, whatever the locale.
    d->setDisplayFormat("yyyy-MM-dd");
    return d;
}

QDate Today()
{
    const std::time_t now = Now();
    std::tm tm{};
    localtime_r(&now, &tm);
    return QDate(tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday);
}

void setPickerColor(QDateEdit *picker, const QColor &color)
{
    QPalette p = picker->palette();
    p.setColor(QPalette::Base, color);
    picker->setPalette(p);
}

std::string Ymd(const QDateEdit *picker) { return picker->date().toString("yyyyMMdd").toStdString(); }

} // namespace

TFrmC101B02::TFrmC101B02(QWidget *parent) : TModalForm(parent)
{
    setObjectName("FrmC101B02");
    setWindowTitle(QString::fromUtf8("작업선택"));
    setFont(QFont(QString::fromUtf8("굴림"), 9));
    setWindowFlags(windowFlags() & ~Qt::WindowContextHelpButtonHint);
    resize(353, 307);

    PnlBack = new QFrame(this);
    PnlBack->setObjectName("PnlBack");
    PnlBack->setFrameStyle(QFrame::Panel | QFrame::Raised);
    // The back panel fills the (resizable) window.
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(PnlBack);

    PnlSech = new QFrame(PnlBack);
    PnlSech->setObjectName("PnlSech");
    PnlSech->setFrameStyle(QFrame::Box | QFrame::Sunken);
    PnlSech->setGeometry(14, 12, 325, 236);

    RGrpSelect = new QGroupBox(PnlSech);
    RGrpSelect->setObjectName("RGrpSelect");
    RGrpSelect->setGeometry(12, 8, 301, 150);
    group_ = new QButtonGroup(this);
    group_->setExclusive(true);
    for (int i = 0; i < ItemCount; ++i) {
        auto *rb = new QRadioButton(QString::fromUtf8(kItemCaptions[i]), RGrpSelect);
        rb->setObjectName(QString("RGrpSelectItem%1").arg(i));
        rb->setGeometry(16, 14 + 26 * i, 270, 22);
        group_->addButton(rb, i);
        RGrpSelectItems[i] = rb;
    }

    PnlData = new QFrame(PnlSech);
    PnlData->setObjectName("PnlData");
    PnlData->setFrameStyle(QFrame::Box | QFrame::Sunken);
    PnlData->setGeometry(12, 170, 301, 52);

    PnlSechDt = new QLabel(QString::fromUtf8("조회일자"), PnlData);
    PnlSechDt->setObjectName("PnlSechDt");
    PnlSechDt->setFrameStyle(QFrame::Panel | QFrame::Raised);
    PnlSechDt->setAlignment(Qt::AlignCenter);
    PnlSechDt->setGeometry(8, 15, 70, 22);
    DTPkerSDt = datePicker(PnlData, "DTPkerSDt", QRect(84, 15, 95, 22));
    Label1 = new QLabel(QString::fromUtf8("~"), PnlData);
    Label1->setObjectName("Label1");
    Label1->setAlignment(Qt::AlignCenter);
    Label1->setGeometry(180, 15, 15, 22);
    DTPkerEDt = datePicker(PnlData, "DTPkerEDt", QRect(196, 15, 95, 22));

    BBtnConfi = button(PnlBack, "BBtnConfi", "확인", QRect(96, 264, 75, 25));
    BBtnCncl = button(PnlBack, "BBtnCncl", "취소", QRect(182, 264, 75, 25));

    Bind(group_, &QButtonGroup::idToggled, this, [this](int, bool checked) {
        if (checked) RGrpSelectClick();
    });
    Bind(BBtnConfi, &QPushButton::clicked, this, [this] { BBtnConfiClick(); });
    Bind(BBtnCncl, &QPushButton::clicked, this, [this] { BBtnCnclClick(); });

    Guarded([this] { FormCreate(); });
}

TFrmC101B02::~TFrmC101B02() = default;

void TFrmC101B02::FormCreate()
{
    const QDate today = Today();
    DTPkerSDt->setDate(today);
    DTPkerEDt->setDate(today);
}

void TFrmC101B02::RGrpSelectClick()
{
    const int i = ItemIndex();
    const bool dates = i == wsResultList || i == wsNoticeList;
    PnlData->setEnabled(dates);
    const QColor color = palette().color(QPalette::Active, dates ? QPalette::Base : QPalette::Button);
    setPickerColor(DTPkerSDt, color);
    setPickerColor(DTPkerEDt, color);
}

void TFrmC101B02::BBtnConfiClick() { accept(); }

void TFrmC101B02::BBtnCnclClick() { reject(); }

int TFrmC101B02::ItemIndex() const { return group_->checkedId(); }

void TFrmC101B02::SetItemIndex(int index)
{
    if (index < 0 || index >= ItemCount) {
        // No item chosen: the exclusive group lets go of its button first.
        if (QAbstractButton *b = group_->checkedButton()) {
            group_->setExclusive(false);
            b->setChecked(false);
            group_->setExclusive(true);
        }
        return;
    }
    RGrpSelectItems[index]->setChecked(true);
}

std::string TFrmC101B02::FromDate() const { return Ymd(DTPkerSDt); }

std::string TFrmC101B02::ToDate() const { return Ymd(DTPkerEDt); }

} // namespace fm
