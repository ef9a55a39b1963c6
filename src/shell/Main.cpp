#include "shell/Main.h"

#include "common/desktop.h"
#include "common/errors.h"
#include "common/guard.h"
#include "common/modal.h"
#include "common/msgbox.h"
#include "platform/paths.h"
#include "shell/Backup.h"
#include "shell/DMModule.h"
#include "shell/O102B00.h"
#include "common/datetime.h"

#include <QCloseEvent>
#include <QDateTime>
#include <QFileInfo>
#include <QImageReader>
#include <QLabel>
#include <QMdiSubWindow>
#include <QMenuBar>
#include <QPainter>
#include <QScreen>
#include <QStatusBar>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>
#include <memory>

namespace fm {

QPointer<TFrmMain> FrmMain;

namespace {

TFrmMain::CommWindowFactory &commFactory()
{
    static TFrmMain::CommWindowFactory f;
    return f;
}

// The working folder; the data module sets it before any window exists.
std::string appDir() { return DMLib ? DMLib->AppDir : CurrentFolder(); }

const char *const kCaption = "Aldercourt-Norvane Fennimarch(Ver1.0.0.8)";
// MDI children with this caption are left open by "연결".
const char *const kKeepOpenCaption = "송수신화일현황";

} // namespace

void TMdiClient::paintEvent(QPaintEvent *event)
{
    if (painter_) {
        bool painted = false;
        {
            QPainter p(viewport());
            Guarded([&] { painted = painter_(p); });
        }
        if (painted) return;
    }
    QMdiArea::paintEvent(event);
}

TFrmMain::TFrmMain(QWidget *parent) : QMainWindow(parent)
{
    setObjectName("FrmMain");
    setWindowTitle(QString::fromUtf8(kCaption));
    setFont(QFont("MS Sans Serif", 8));
    resize(870, 550);

    MdiArea = new TMdiClient(this);
    MdiArea->setObjectName("MdiArea");
    setCentralWidget(MdiArea);

    buildMenus();
    buildToolBar();
    buildStatusBar();

    Timer1 = new QTimer(this);
    Timer1->setObjectName("Timer1");
    Timer1->setInterval(1000);
    Bind(Timer1, &QTimer::timeout, this, [this] { DispTime(); });
    Timer1->start();

    FormCreate();
}

TFrmMain::~TFrmMain() = default;

void TFrmMain::SetCommWindowFactory(CommWindowFactory factory) { commFactory() = std::move(factory); }

void TFrmMain::buildMenus()
{
    QMenuBar *MnuMain = menuBar();
    MnuMain->setObjectName("MnuMain");

    MnuC100R00 = MnuMain->addMenu(QString::fromUtf8("통신[&C]"));
    MnuC100R00->setObjectName("MnuC100R00");
    MnuC101R00 = MnuC100R00->addAction(QString::fromUtf8("연결"));
    MnuC101R00->setObjectName("MnuC101R00");
    N1 = MnuC100R00->addSeparator();
    N1->setObjectName("N1");
    MnuExit = MnuC100R00->addAction(QString::fromUtf8("종료"));
    MnuExit->setObjectName("MnuExit");
    MnuExit->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_X));

    MnuO100B00 = MnuMain->addMenu(QString::fromUtf8("설정[&O]"));
    MnuO100B00->setObjectName("MnuO100B00");
    MnuO102B00 = MnuO100B00->addAction(QString::fromUtf8("통신설정"));
    MnuO102B00->setObjectName("MnuO102B00");

    MnuT100B00 = MnuMain->addMenu(QString::fromUtf8("도구(&T)"));
    MnuT100B00->setObjectName("MnuT100B00");
    MnuT102B00 = MnuT100B00->addAction(QString::fromUtf8("자료백업"));
    MnuT102B00->setObjectName("MnuT102B00");
    MnuT103B00 = MnuT100B00->addAction(QString::fromUtf8("자료복구"));
    MnuT103B00->setObjectName("MnuT103B00");

    Bind(MnuC101R00, &QAction::triggered, this, [this] { MnuC101R00Click(); });
    Bind(MnuExit, &QAction::triggered, this, [this] { MnuExitClick(); });
    Bind(MnuO102B00, &QAction::triggered, this, [this] { MnuO102B00Click(); });
    Bind(MnuT102B00, &QAction::triggered, this, [this] { MnuT102B00Click(); });
    Bind(MnuT103B00, &QAction::triggered, this, [this] { MnuT103B00Click(); });
}

void TFrmMain::buildToolBar()
{
    // Flat, captions only, fixed at the top; each button runs its menu item.
    ToolBar1 = new QToolBar(this);
    ToolBar1->setObjectName("ToolBar1");
    ToolBar1->setMovable(false);
    ToolBar1->setFloatable(false);
    ToolBar1->setToolButtonStyle(Qt::ToolButtonTextOnly);
    ToolBar1->setContextMenuPolicy(Qt::PreventContextMenu);
    addToolBar(Qt::TopToolBarArea, ToolBar1);

    auto button = [this](QAction *item, const char *name) {
        ToolBar1->addAction(item);
        auto *b = qobject_cast<QToolButton *>(ToolBar1->widgetForAction(item));
        b->setObjectName(name);
        b->setMinimumSize(31, 21);
        b->setAutoRaise(true);
        return b;
    };
    ToolButton3 = ToolBar1->addSeparator();
    ToolButton3->setObjectName("ToolButton3");
    TbtnCom = button(MnuC101R00, "TbtnCom");
    ToolButton4 = ToolBar1->addSeparator();
    ToolButton4->setObjectName("ToolButton4");
    TBtnClose = button(MnuExit, "TBtnClose");
    ToolButton5 = ToolBar1->addSeparator();
    ToolButton5->setObjectName("ToolButton5");
}

void TFrmMain::buildStatusBar()
{
    PnlStatusBar = new QStatusBar(this);
    PnlStatusBar->setObjectName("PnlStatusBar");
    PnlStatusBar->setSizeGripEnabled(false);
    PnlStatusBar->setFixedHeight(22);
    setStatusBar(PnlStatusBar);

    // The clock: 77 pixels at the right end, empty until the first tick.
    PnlTime = new QLabel(PnlStatusBar);
    PnlTime->setObjectName("PnlTime");
    PnlTime->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    PnlTime->setAlignment(Qt::AlignCenter);
    PnlTime->setFixedWidth(77);
    PnlStatusBar->addPermanentWidget(PnlTime);
}

void TFrmMain::FormCreate()
{
    // The zip library is linked into the program; there is no engine to load.
    Guarded([&] {
        const std::string path = NativePath(appDir() + "\\img_main.bmp");
        const QString file = QString::fromStdString(path);
        if (!QFileInfo(file).isFile())
            throw InOutError(Format("Cannot open file \"%s\". No such file or directory", path));
        QPixmap picture;
        if (!picture.load(file, "BMP")) throw InOutError(Format("Bitmap image is not valid: %s", path));
        imgBase = picture;
        MdiArea->SetBackgroundPainter([this](QPainter &p) { return ClientWndProc(p); });
        MdiArea->viewport()->update();
    });
}

QSize TFrmMain::clientSize() const
{
    // The client area takes in the tool bar and the status bar but not the
    // menu bar.
    const int menu = menuBar() && menuBar()->isVisible() ? menuBar()->height() : 0;
    return QSize(width(), std::max(0, height() - menu));
}

bool TFrmMain::ClientWndProc(QPainter &painter)
{
    if (imgBase.isNull()) return false;
    const QSize size = clientSize();
    if (size.isEmpty()) return false;
    if (scaled_.size() != size)
        scaled_ = imgBase.scaled(size, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    // Drawn from the MDI area's top left; what lies beyond its bottom (the
    // height of the tool bar and the status bar) is not seen.
    painter.drawPixmap(0, 0, scaled_);
    return true;
}

void TFrmMain::DispTime()
{
    // The Korean long time form under every locale: it fits the panel.
    PnlTime->setText(ClockText(QDateTime::fromSecsSinceEpoch(qint64(Now())).time()));
}

QMdiSubWindow *TFrmMain::CloseOtherChildren()
{
    // The list is taken once; a child that agrees is freed only after this
    // command, so every entry stays valid through the loop.
    const QList<QMdiSubWindow *> list = MdiArea->subWindowList();
    QList<QPointer<QMdiSubWindow>> children(list.begin(), list.end());
    QMdiSubWindow *refused = nullptr;
    for (const QPointer<QMdiSubWindow> &child : children) {
        if (!child || child->windowTitle() == QString::fromUtf8(kKeepOpenCaption)) continue;
        if (!child->close() && child && !refused) refused = child;
    }
    return refused;
}

void TFrmMain::MnuC101R00Click()
{
    Guarded([&] {
        QMdiSubWindow *refused = CloseOtherChildren();
        if (refused) {
            // A communication window that is still logged in stays the only
            // one: it comes to the front instead of a second window.
            MdiArea->setActiveSubWindow(refused);
            refused->showMaximized();
            return;
        }
        if (!commFactory()) return;
        QWidget *window = commFactory()(MdiArea);
        if (!window) return;
        QMdiSubWindow *sub = MdiArea->addSubWindow(window);
        sub->setAttribute(Qt::WA_DeleteOnClose);
        sub->showMaximized();
    });
}

void TFrmMain::MnuExitClick()
{
    Guarded([&] { close(); });
}

void TFrmMain::MnuO102B00Click()
{
    Guarded([&] {
        std::unique_ptr<TFrmO102B00> dialog(new TFrmO102B00(this));
        FrmO102B00 = dialog.get();
        ShowModal(*dialog);
    });
}

void TFrmMain::MnuT102B00Click()
{
    Guarded([&] { DataBackup(appDir()); });
}

void TFrmMain::MnuT103B00Click()
{
    Guarded([&] { DataRestore(appDir()); });
}

bool TFrmMain::FormClose()
{
    return MessageBox(QString::fromUtf8("Fennimarch을 종료하시겠습니까?"),
                      QString::fromUtf8("Aldercourt Fennimarch"), MsgIcon::Question,
                      MsgButtons::YesNo) == mrYes;
}

void TFrmMain::closeEvent(QCloseEvent *event)
{
    event->ignore();
    Guarded([&] {
        // Every child is asked first, in order; the first that refuses has
        // told the user why, and the program stays open without a question.
        const QList<QMdiSubWindow *> list = MdiArea->subWindowList();
        QList<QPointer<QMdiSubWindow>> children(list.begin(), list.end());
        for (const QPointer<QMdiSubWindow> &child : children) {
            if (!child) continue;
            if (auto *query = dynamic_cast<TCloseQuery *>(child->widget()))
                if (!query->FormCloseQuery()) return;
        }
        if (FormClose()) event->accept();
    });
}

void TFrmMain::showEvent(QShowEvent *event)
{
    QMainWindow::showEvent(event);
    if (centred_) return;
    centred_ = true;
    if (QScreen *s = screen()) {
        QRect frame = frameGeometry();
        frame.moveCenter(s->availableGeometry().center());
        move(frame.topLeft());
    }
}

} // namespace fm
