#pragma once
// The password-change dialog of the communication window: the current
// password, the new one and the new one again. The dialog validates
// nothing; its caller compares and sends after an OK.
#include "platform/StringGrid.h" // key codes and shift state

#include "common/form.h"

class QFrame;
class QLabel;
class QLineEdit;
class QPushButton;

namespace fm {

class TFrmC101B03 : public TModalForm {
    Q_OBJECT
public:
    explicit TFrmC101B03(QWidget *parent = nullptr);
    ~TFrmC101B03() override;

    // Longest password the edits take.
    static constexpr int MaxPasswordLength = 6;

    QFrame *PnlBack = nullptr;
    QFrame *PnlPswd = nullptr;
    QLabel *PnlCurrPswd = nullptr;
    QLineEdit *EdtCurrPswd = nullptr;
    QLabel *PnlUpdtPswd = nullptr;
    QLineEdit *EdtUpdtPswd = nullptr;
    QLabel *PnlConfiPswd = nullptr;
    QLineEdit *EdtConfiPswd = nullptr;
    QPushButton *BBtnConfi = nullptr;
    QPushButton *BBtnCncl = nullptr;

    // Enter moves the focus: current -> new -> confirmation -> BBtnConfi.
    void EdtCurrPswdKeyDown(int key, TShiftState shift);
    void EdtUpdtPswdKeyDown(int key, TShiftState shift);
    void EdtConfiPswdKeyDown(int key, TShiftState shift);
    void BBtnConfiClick();
    void BBtnCnclClick();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
    // Esc closes nothing; Enter presses only a focused button.
};

} // namespace fm
