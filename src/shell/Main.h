#pragma once
// The main window of Marrowick: an MDI frame whose children are the
// communication windows, with the menus and the tool bar from which every
// function is reached, a status bar with a clock, and the background picture
// img_main.bmp painted over the MDI client area. Closing it ends the program.
#include <QMainWindow>
#include <QMdiArea>
#include <QPixmap>
#include <QPointer>
#include <QString>
#include <functional>
#include <string>

class QAction;
class QLabel;
class QMenu;
class QMdiSubWindow;
class QStatusBar;
class QTimer;
class QToolBar;
class QToolButton;

namespace fm {

// An MDI child that may refuse to close. The main window asks every child
// before it closes; a child that refuses tells the user itself.
class TCloseQuery {
public:
    virtual ~TCloseQuery() = default;
    // True when the window may close now.
    virtual bool FormCloseQuery() = 0;
};

// The MDI client area: paints the main window's background picture when it
// has one, else the ordinary background.
class TMdiClient : public QMdiArea {
    Q_OBJECT
public:
    using Painter = std::function<bool(QPainter &)>;
    explicit TMdiClient(QWidget *parent = nullptr) : QMdiArea(parent) {}
    // The hook that paints the background; returns false to leave it plain.
    void SetBackgroundPainter(Painter p) { painter_ = std::move(p); }

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    Painter painter_;
};

class TFrmMain : public QMainWindow {
    Q_OBJECT
public:
    explicit TFrmMain(QWidget *parent = nullptr);
    ~TFrmMain() override;

    // Makes a new communication window (the program registers it at
    // start-up; the shell does not know the window's class).
    using CommWindowFactory = std::function<QWidget *(QWidget *parent)>;
    static void SetCommWindowFactory(CommWindowFactory factory);

    // Menu items.
    QMenu *MnuC100R00 = nullptr;
    QAction *MnuC101R00 = nullptr;
    QAction *N1 = nullptr;
    QAction *MnuExit = nullptr;
    QMenu *MnuO100B00 = nullptr;
    QAction *MnuO102B00 = nullptr;
    QMenu *MnuT100B00 = nullptr;
    QAction *MnuT102B00 = nullptr;
    QAction *MnuT103B00 = nullptr;
    // Status bar and clock.
    QStatusBar *PnlStatusBar = nullptr;
    QLabel *PnlTime = nullptr;
    // Tool bar.
    QToolBar *ToolBar1 = nullptr;
    QAction *ToolButton3 = nullptr;
    QToolButton *TbtnCom = nullptr;
    QAction *ToolButton4 = nullptr;
    QToolButton *TBtnClose = nullptr;
    QAction *ToolButton5 = nullptr;
    // The background picture; null when it could not be loaded.
    QPixmap imgBase;
    QTimer *Timer1 = nullptr;
    TMdiClient *MdiArea = nullptr;

    void FormCreate();
    void MnuC101R00Click();
    void MnuExitClick();
    void MnuO102B00Click();
    void MnuT102B00Click();
    void MnuT103B00Click();
    void DispTime();
    // Asks every MDI child to close; returns the first one that refused.
    QMdiSubWindow *CloseOtherChildren();
    // Paints the background picture stretched to the window's client size.
    bool ClientWndProc(QPainter &painter);

    // The exit question; true when the user answered Yes.
    bool FormClose();

protected:
    void closeEvent(QCloseEvent *event) override;
    void showEvent(QShowEvent *event) override;

private:
    void buildMenus();
    void buildToolBar();
    void buildStatusBar();
    QSize clientSize() const;

    bool centred_ = false;
    QPixmap scaled_; // imgBase stretched to the last client size
};

// The main window.
extern QPointer<TFrmMain> FrmMain;

} // namespace fm
