#pragma once
// The updater's settings dialog: on two pages, the service host's address
// and port (registry key Communication) and the update server's address,
// port, user and password (registry key Ftp). "확인" on either page writes
// all six values as they stand; "취소" writes nothing.
#include "common/form.h"

class QFrame;
class QLabel;
class QLineEdit;
class QPushButton;
class QTabWidget;
class QWidget;

namespace fm::upd {

class TFrmE101B00 : public TModalForm {
public:
    explicit TFrmE101B00(QWidget *parent = nullptr);
    ~TFrmE101B00() override;

    QTabWidget *PageControl1 = nullptr;
    QWidget *TabSheet1 = nullptr;
    QWidget *TabSheet2 = nullptr;
    QFrame *PnlBack = nullptr;
    QFrame *PnlPswd = nullptr;
    QLabel *PnlCurrPswd = nullptr;
    QLineEdit *EdtAddress1 = nullptr;
    QLabel *PnlUpdtPswd = nullptr;
    QLineEdit *EdtPortNo1 = nullptr;
    QPushButton *BBtnConfi1 = nullptr;
    QPushButton *BBtnCncl1 = nullptr;
    QFrame *Panel1 = nullptr;
    QFrame *Panel2 = nullptr;
    QLabel *Panel3 = nullptr;
    QLineEdit *EdtAddress2 = nullptr;
    QLabel *Panel4 = nullptr;
    QLineEdit *EdtPortNo2 = nullptr;
    QPushButton *BBtnConfi2 = nullptr;
    QPushButton *BBtnCncl2 = nullptr;
    QLabel *Panel5 = nullptr;
    QLineEdit *edtid = nullptr;
    QLabel *Panel6 = nullptr;
    QLineEdit *edtPassword = nullptr;

    void FormCreate();
    void BBtnConfi1Click();
    void BBtnConfi2Click();
    void BBtnCncl1Click();
    void BBtnCncl2Click();

    // Characters the user can type into edtPassword; a longer stored
    // password is still shown and written back whole.
    static constexpr int kPasswordMaxLength = 8;

protected:
    // Neither Enter nor Esc presses a button or closes the dialog.

private:
    void writeSettings();
};

} // namespace fm::upd
