#pragma once
// The log-in dialog: asks for the company code and the password. Created
// anew for every log-in, shown through ShowModal; OK (1) or Cancel (2).
#include "common/form.h"

class QFrame;
class QLabel;
class QLineEdit;
class QPushButton;

namespace fm {

class TFrmC101B01 : public TModalForm {
public:
    explicit TFrmC101B01(QWidget *parent = nullptr);

    QFrame *Panel1 = nullptr;
    QFrame *Panel2 = nullptr;
    QLabel *PnlCompCd = nullptr;
    QLineEdit *EdtCompCd = nullptr; // at most 4 characters, letters in capitals
    QLabel *PnlPswd = nullptr;
    QLineEdit *EdtPswd = nullptr;   // at most 6 characters, shown as "*"
    QPushButton *BBtnConfi = nullptr;
    QPushButton *BBtnCncl = nullptr;

    // Enter in the company code moves to the password; Enter in the password
    // ends the dialog with OK. Other keys are left to the edit.
    void EdtCompCdKeyDown(int key, unsigned shift);
    void EdtPswdKeyDown(int key, unsigned shift);
    void BBtnConfiClick();
    void BBtnCnclClick();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
};

} // namespace fm
