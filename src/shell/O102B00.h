#pragma once
// The communication-settings dialog: edits the address and port of the
// service host under the registry key Communication, and writes the key's
// defaults when the key does not exist yet.
#include "common/form.h"
#include <QPointer>

class QFrame;
class QLabel;
class QLineEdit;
class QPushButton;

namespace fm {

class TFrmO102B00 : public TModalForm {
    Q_OBJECT
public:
    explicit TFrmO102B00(QWidget *parent = nullptr);
    ~TFrmO102B00() override;

    QFrame *PnlBack = nullptr;
    QFrame *PnlPswd = nullptr;
    QLabel *PnlCurrPswd = nullptr;
    QLineEdit *EdtAddress = nullptr;
    QLabel *PnlUpdtPswd = nullptr;
    QLineEdit *EdtPortNo = nullptr;
    QPushButton *BBtnConfi = nullptr;
    QPushButton *BBtnCncl = nullptr;

    void FormCreate();
    void BBtnConfiClick();
    void BBtnCnclClick();

protected:
    // Neither Enter nor Esc presses a button or closes the dialog.
};

// The address written when the key is missing: this machine, so that a
// fresh installation reaches nothing outside it until it is configured.
inline constexpr const char *kDefaultHostAddress = "127.0.0.1";
inline constexpr const char *kDefaultHostPort = "39995";

// The dialog while it is shown.
extern QPointer<TFrmO102B00> FrmO102B00;

} // namespace fm
