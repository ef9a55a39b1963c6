#include "session/C101B05.h"

#include "common/codec.h"
#include "common/errors.h"
#include "common/guard.h"
#include "session/TransferRules.h"
#include "shell/DMModule.h"

#include <QFrame>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QPushButton>
#include <QStyle>
#include <QVBoxLayout>

namespace fm {

TFrmC101B05::TFrmC101B05(const TLoadedFile &store, int fileRecCount, const std::string &listKind,
                         TBankList *banks, QWidget *parent)
    : QDialog(parent), store_(store), fileRecCount_(fileRecCount), listKind_(listKind),
      banks_(banks ? *banks : ownBanks_)
{
    setObjectName("FrmC101B05");
    setWindowTitle(QString::fromUtf8("세부자료보기"));
    setSizeGripEnabled(true);
    QFont f(QString::fromUtf8("굴림"));
    f.setPixelSize(12);
    setFont(f);

    auto *outer = new QVBoxLayout(this);
    outer->setContentsMargins(4, 4, 4, 4);
    SGrdDataLst = new TStringGrid(this);
    SGrdDataLst->setObjectName("SGrdDataLst");
    SGrdDataLst->SetFixedCols(1); // the row numbers
    outer->addWidget(SGrdDataLst, 1);
    auto *bottom = new QHBoxLayout;
    bottom->addStretch(1);
    BBClose = new QPushButton(QString::fromUtf8("닫기"), this);
    BBClose->setObjectName("BBClose");
    BBClose->setFixedSize(75, 25);
    BBClose->setAutoDefault(false);
    bottom->addWidget(BBClose);
    outer->addLayout(bottom);

    SGrdDataLst->OnDrawCell = [this](TGridCanvas &canvas, int col, int row, const TRect &rect) {
        SGrdDataLstDrawCell(canvas, col, row, rect);
    };
    Bind(BBClose, &QPushButton::clicked, this, [this] { BBCloseClick(); });

    FormCreate();

    // Wide enough for every column beside the vertical scroll bar.
    int columns = 0;
    for (int c = 0; c < SGrdDataLst->ColCount(); ++c) columns += SGrdDataLst->ColWidths(c) + 1; // and its grid line
    const int grid = columns + 2 * SGrdDataLst->frameWidth() +
                     SGrdDataLst->style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, SGrdDataLst) + 2;
    const QMargins m = outer->contentsMargins();
    resize(std::max(720, grid + m.left() + m.right()), 480);
}

void TFrmC101B05::FormCreate()
{
    Guarded([this] {
        DataListTitle();
        DataListShow();
    });
}

void TFrmC101B05::DataListTitle()
{
    TStringGrid &g = *SGrdDataLst;
    if (listKind_ == "R") {
        g.SetColCount(9);
        g.SetCell(7, 0, K("미처리금액"));
        g.SetCell(8, 0, K("불능사유"));
        g.SetColWidths(8, 150);
    } else {
        g.SetColCount(8);
        g.SetCell(7, 0, K("이체금액"));
    }
    static const char *const kTitles[] = {"", "학번", "학생명", "은행명", "항목명", "계좌번호", "이체일자"};
    for (int c = 0; c < 7; ++c) g.SetCell(c, 0, K(kTitles[c]));
    static const int kWidths[] = {20, 70, 70, 70, 120, 100, 70, 70};
    for (int c = 0; c < 8; ++c) g.SetColWidths(c, kWidths[c]);
    g.SetRowCount(2);
}

void TFrmC101B05::DataListShow()
{
    TStringGrid &g = *SGrdDataLst;
    const int count = fileRecCount_ > 0 ? std::min(fileRecCount_, int(store_.FileRecords.size())) : 0;
    g.SetRowCount(count + 1);
    // A file without records shows the title row alone.
    g.setRowHidden(0, count == 0);
    const bool received = listKind_ == "R";
    for (int r = 1; r <= count; ++r) {
        const TTransferRecord &rec = store_.Record(r);
        g.SetCell(0, r, std::to_string(r));
        g.SetCell(1, r, data::StudentNo(rec));
        g.SetCell(2, r, data::StudentName(rec));

        // The bank name: the list box's search for "00" + the two-digit
        // code; the entry found becomes the selected one.
        const int index = banks_.SelectString(0, "00" + data::BankCd(rec));
        if (index < 0) throw Error(Format("List index out of bounds (%d)", index));
        const std::string &item = banks_.Items()[size_t(index)];
        g.SetCell(3, r, item.size() > 5 ? item.substr(5, 20) : std::string());

        g.SetCell(4, r, data::ItemName(rec));
        g.SetCell(5, r, data::AccountNo(rec));
        g.SetCell(6, r, data::TransferDate(rec));
        g.SetCell(7, r, received ? DetailAmount(data::UnprocessedAmount(rec), 11)
                                 : DetailAmount(data::TransferAmount(rec), 8));
        // The row-number column grows with the row numbers and the columns
        // of the record's fields with their widest values, so that every
        // number shows whole; the failure reason stays in its width.
        g.GrowColsToFit(r, 0, 7);
        if (received) {
            const std::string bankKey = ReasonBankKey(data::BankCd(rec));
            const std::string resultCode = ReasonResultCode(data::ResultCd(rec));
            g.SetCell(8, r, GetImpossReason(bankKey, resultCode));
        }
    }
}

std::string TFrmC101B05::GetImpossReason(const std::string &bankKey, const std::string &resultCode)
{
    if (!DMLib) throw DatabaseError("The data module is not available");
    TQuery &q = DMLib->qryErrCd1;
    q.Close();
    q.SQL = {"select StdRsltContent from DSBBRslt.DB ",
             "where BankCd = :ErrBnkCd and  StdRsltCd = :ErrCd"};
    q.ParamByName("ErrBnkCd").AsString = bankKey;
    q.ParamByName("ErrCd").AsString = resultCode;
    q.Open();
    if (q.Eof()) return {};
    return q.FieldByName("StdRsltContent").AsString;
}

void TFrmC101B05::BBCloseClick() { accept(); }

void TFrmC101B05::SGrdDataLstDrawCell(TGridCanvas &, int, int, const TRect &) {}

void TFrmC101B05::keyPressEvent(QKeyEvent *event)
{
    if (event->key() == Qt::Key_Escape) {
        event->accept();
        return;
    }
    QDialog::keyPressEvent(event);
}

} // namespace fm
