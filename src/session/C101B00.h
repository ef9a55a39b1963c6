#pragma once
// The communication window: an MDI child of the main window where Marrowick
// talks to the service host. It decides itself when it may close: while it
// is logged in (its "접속종료" button is shown) it refuses.
#include "shell/Main.h"

#include <QPointer>
#include <QWidget>
#include <cstddef>
#include <memory>

class QCloseEvent;
class QFrame;
class QLabel;
class QPushButton;

namespace fm {

class TFrmC101B00 : public QWidget, public TCloseQuery {
    Q_OBJECT
public:
    explicit TFrmC101B00(QWidget *parent = nullptr);
    ~TFrmC101B00() override;

    // Components, as laid out: the list area on the left, the status line
    // along the bottom, the buttons in a panel along the right edge.
    QFrame *PnlBack = nullptr;
    QFrame *PnlList = nullptr;
    QLabel *PnlStatus = nullptr;
    QFrame *PnlBtn = nullptr;
    QPushButton *BBtnDisConn = nullptr;
    QPushButton *BBtnConn = nullptr;
    QFrame *PnlExit = nullptr;
    QPushButton *BBtnExit = nullptr;

    // Size of the encryption library's context block of this window.
    static constexpr size_t kCryptCtxSize = 8193;

    void FormCreate();
    // True when the window may close; refuses (and says so) while logged in.
    bool FormCloseQuery() override;
    // The window is closing: releases what it owns and destroys itself.
    void FormClose();
    void BBtnExitClick();

    // Logged in means the "접속종료" button is shown.
    bool LoggedIn() const;

protected:
    void closeEvent(QCloseEvent *event) override;

private:
    // The encryption context: allocated at creation, freed when the window
    // closes.
    std::unique_ptr<unsigned char[]> FCryptCtx;
};

// The communication window created last; never names a freed window.
extern QPointer<TFrmC101B00> FrmC101B00;

// Creates a communication window into FrmC101B00 (the main window's "연결").
TFrmC101B00 *CreateFrmC101B00(QWidget *parent);

} // namespace fm
