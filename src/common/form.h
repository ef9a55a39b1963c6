#pragma once
// The base of the programs' modal forms: centred on the screen when shown,
// and, for most of them, with the framework forms' key rule that Esc and Enter
// press no button (only a focused button reacts to Enter, through the
// button itself). Closing through the close box counts as Cancel.
#include <QDialog>

namespace fm {

class TModalForm : public QDialog {
public:
    enum class Keys {
        Default,                // Qt's own handling of Esc and Enter
        EscAndEnterPressNothing // neither key does anything at form level
    };
    explicit TModalForm(QWidget *parent = nullptr, Keys keys = Keys::EscAndEnterPressNothing)
        : QDialog(parent), keys_(keys)
    {
    }

protected:
    void keyPressEvent(QKeyEvent *event) override;
    void showEvent(QShowEvent *event) override;

private:
    Keys keys_;
};

} // namespace fm
