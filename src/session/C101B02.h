#pragma once
// The work-selection dialog of the communication window: one of five kinds
// of work and, for the two host queries, a range of dates. The dialog only
// collects the choice; its caller acts on it after an OK.
#include "common/form.h"

#include <string>

class QButtonGroup;
class QDateEdit;
class QFrame;
class QGroupBox;
class QLabel;
class QPushButton;
class QRadioButton;

namespace fm {

class TFrmC101B02 : public TModalForm {
    Q_OBJECT
public:
    explicit TFrmC101B02(QWidget *parent = nullptr);
    ~TFrmC101B02() override;

    // The five kinds of work, as indexes of RGrpSelect.
    enum : int {
        wsSendFiles = 0,   // "이체자료 파일송신하기"
        wsResultList = 1,  // "이체결과자료 파일수신받기"
        wsSentFiles = 2,   // "송신이체자료 파일목록보기"
        wsRecvFiles = 3,   // "이체결과자료 파일목록보기"
        wsNoticeList = 4,  // "공지사항 목록보기"
    };
    static constexpr int ItemCount = 5;

    QFrame *PnlBack = nullptr;
    QFrame *PnlSech = nullptr;
    QGroupBox *RGrpSelect = nullptr;
    QRadioButton *RGrpSelectItems[ItemCount] = {};
    QFrame *PnlData = nullptr;
    QLabel *PnlSechDt = nullptr;
    QDateEdit *DTPkerSDt = nullptr;
    QLabel *Label1 = nullptr;
    QDateEdit *DTPkerEDt = nullptr;
    QPushButton *BBtnConfi = nullptr;
    QPushButton *BBtnCncl = nullptr;

    void FormCreate();
    void RGrpSelectClick();
    void BBtnConfiClick();
    void BBtnCnclClick();

    // The chosen item, -1 when none.
    int ItemIndex() const;
    void SetItemIndex(int index);
    // The dates of the two pickers as "yyyymmdd".
    std::string FromDate() const;
    std::string ToDate() const;

protected:
    // Enter and Esc close nothing; a focused button is still pressed by Enter.

private:
    QButtonGroup *group_ = nullptr;
};

} // namespace fm
