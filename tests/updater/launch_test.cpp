// The end without launch (before and after a refused connection, during a
// download), and the buttons for the manual-download page and the settings.
#include "updater_env.h"

#include "common/modal.h"
#include "updater/E101B00.h"

#include <QCoreApplication>
#include <QTcpServer>

using namespace updtest;
using fm::reg::CommunicationKey;

namespace {

int ClosedPort()
{
    QTcpServer s;
    s.listen(QHostAddress::LocalHost);
    return s.serverPort();
}

bool LaunchedWithin(const std::string &marker, int ms)
{
    return fmtest::WaitFor([&] { return fs::exists(marker); }, ms);
}

} // namespace

TEST_F(UpdaterTest, CloseEndsWithoutLaunchBeforeOrAfterAFailedConnection)
{
    put("Marrowick.exe", LauncherScript(), true);
    registry(1);
    create().setAttribute(Qt::WA_DeleteOnClose, true); // as the program has it
    form_->BitBtn2->click();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(form_.isNull()) << "closing frees the window";

    // A refused connection: the box for its kind, then the socket layer's
    // own error; "연결" stays disabled.
    WriteValue(CommunicationKey(), fm::reg::kPortNo, std::to_string(ClosedPort()));
    create();
    connectAndWait([&] { return boxes_.count() >= 2; });
    EXPECT_EQ(boxTexts(), (V{"접속오류", "Asynchronous socket error 10061"}));
    EXPECT_EQ(boxes_.shown()[0].caption, QStringLiteral("Error"));
    EXPECT_FALSE(form_->BitBtn1->isEnabled());
    form_->BitBtn2->click();
    EXPECT_FALSE(form_->Launched());
    EXPECT_FALSE(LaunchedWithin(file("launched.txt"), 300));
}

TEST_F(UpdaterTest, ClosingDuringTheDownloadFreesTheWindowAfterwardsWithoutLaunch)
{
    FtpServer ftp({"--bytes", "--rate", "60000"});
    const std::string client = LauncherScript(120000);
    ftp.put("Marrowick.exe", client);
    registry(ftp.port());
    putProbe("Omvertis.dll", "1.0.0.8");
    AnswerWith(host_, "V00027DIFFDLL:1.0.0.8 EXE:1.0.0.9");
    auto &f = create();
    f.setAttribute(Qt::WA_DeleteOnClose, true);
    QObject::connect(f.GaugeBar, &QProgressBar::valueChanged, &f, [&f](int v) {
        if (v > 0 && f.isVisible()) f.BitBtn2->click();
    });
    f.BitBtn1->click();
    EXPECT_TRUE(fmtest::WaitFor([&] { return form_.isNull(); }, 20000));
    EXPECT_EQ(boxes_.count(), 0u) << boxes_.texts();
    EXPECT_EQ(ReadAll(file("Marrowick.exe")), client); // the download was finished
    EXPECT_FALSE(LaunchedWithin(file("launched.txt"), 300));
}

TEST_F(UpdaterTest, ManualDownloadPageAndSettingsDialog)
{
    QUrl opened;
    fm::upd::TFrmVersion::SetPageOpener([&](const QUrl &u) { opened = u; });
    fmtest::ScriptedModals modals;
    bool wasSettings = false;
    modals.then([&](QDialog &d) {
        wasSettings = dynamic_cast<fm::upd::TFrmE101B00 *>(&d) != nullptr;
        return int(fm::mrCancel);
    });
    create().Button1->click();
    EXPECT_EQ(opened.path(), "/customer/v_faq_list.jsp");
    EXPECT_EQ(opened.query(), "faq_code=6");
    EXPECT_TRUE(opened.host().endsWith(".example")) << opened.toString().toStdString();
    form_->BitBtn3->click();
    EXPECT_EQ(modals.shownCount(), 1);
    EXPECT_TRUE(wasSettings);
}
